#pragma once
// A mail item's attachments and body as Outlook keeps them: Attachments.Add
// copies the file's bytes at once (the caller may delete its file right
// after), SaveAsFile writes them back, Delete drops the attachment (or fails);
// BodyFormat and HTMLBody are plain values. Also the item's Recipients.

#include "FakeObject.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace QzlFake {

class CFakeAttachments {
public:
    // Gives the item its Attachments, BodyFormat, HTMLBody and Recipients.
    explicit CFakeAttachments(CFakeObject& item, const std::vector<std::wstring>& recipients = {});

    // An attachment as the user added it.
    CFakeRef Add(const std::wstring& fileName, const std::string& bytes);
    // The attachments in order: file name and content.
    std::vector<std::pair<std::wstring, std::string>> List() const;

    // File names whose Delete fails, as Outlook's may (the item changed
    // elsewhere, the store out of reach).
    std::set<std::wstring> undeletable;

private:
    std::vector<CFakeRef> m_list;
    std::vector<CFakeRef> m_recipients;
    std::map<CFakeObject*, std::string> m_bytes;
    CFakeRef m_collection;
    CFakeRef m_recipientCollection;
};

} // namespace QzlFake

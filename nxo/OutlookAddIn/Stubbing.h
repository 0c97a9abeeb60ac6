#pragma once
// Large files sent as links: the small link attachment ("<name>.qenz") that
// records a file's path while the mail is a draft, and the stubbing on send
// that uploads each linked file to the appliance and puts the appliance's
// description of the stored files in front of the body instead.
//
// A link file is data from the mail, not from the user: a forwarded or
// crafted one may name any path. Before any file is read or uploaded every
// link's seal and the path it names are checked (CheckLinkSeal,
// CheckLinkedPath), and any failure stops the send with nothing uploaded and
// the draft as it was: the draft changes only once every upload is done, and
// a change that fails takes back those made before it (WriteStub).

#include "ComProgressDlg.h"
#include "DispatchObject.h"
#include "KvdRequest.h"
#include "LinkFile.h"
#include "SmartPointer.h"
#include "StringW.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CNxoApiClient;

namespace Quenzal::Stubbing {

// Linked paths, compared without regard to case.
struct PathLess {
    bool operator()(const std::wstring& left, const std::wstring& right) const
    {
        return _wcsicmp(left.c_str(), right.c_str()) < 0;
    }
};
using NarrowAddressSet = std::set<std::string>;

// A link attachment examined on send, with what it takes to add it again.
struct StoredLink {
    StoredAttachment Record;
    OutlookAddIn::CDispatchObject Attachment;
    StringW LinkName;
    std::string LinkXml;
    StringW Path;
};

// One send's stubbing.
struct StubContext {
    StubContext(HWND owner, const OutlookAddIn::CDispatchObject& item, CNxoApiClient& client, uint64_t maxSize);

    HWND OwnerWindow;
    OutlookAddIn::CDispatchObject Item;
    OutlookAddIn::CDispatchObject Attachments;
    std::string Sender;
    NarrowAddressSet Recipients;
    CNxoApiClient& Client;
    StringW StubId;
    CComProgressDlg Progress;
    uint64_t Done = 0;
    bool AttachHtmlCopy = true;
    std::set<StringW, PathLess> StoredPaths; // checked, to be uploaded
    uint64_t MaxSize; // the largest file the appliance takes
    std::vector<StoredLink> Duplicates; // deleted with the stored links
    // True once Outlook has disconnected the add-in, which it may do while an
    // upload's wait pumps messages: from then on neither the appliance nor
    // the draft is touched.
    std::function<bool()> Disconnected;
};

// A link attachment's file as saved from the mail, and what it names (the
// path empty when it names none).
struct LinkedAttachment {
    std::string Xml;
    LinkContent Link;
};

// The link file's XML, the largest link file read back, and its extension.
std::string FormatLinkXml(const std::wstring& path, const std::wstring& seal);
constexpr uint64_t MaxLinkFileSize = 4096;
constexpr wchar_t LinkFileExtension[] = L"qenz";

// The linked file's name with the link extension; a name too long to take it
// is shortened, keeping the linked file's extension.
StringW GetLinkFileName(const std::wstring& path);
void AttachLinkFile(const OutlookAddIn::CDispatchObject& item, const std::wstring& path);
bool IsLinkFile(const std::wstring& fileName);
bool HasLinkedAttachments(const OutlookAddIn::CDispatchObject& item);
// The path (and seal) the link attachment names, with the bytes it was read
// from; raises for a link file too large to be one.
LinkedAttachment GetPathFromLinkedAttachment(const OutlookAddIn::CDispatchObject& attachment);
// The attachment saved to a temporary file, open for reading, gone when closed.
Os::CHandle WriteAttachmentToTemp(const OutlookAddIn::CDispatchObject& attachment);
// The attachment added.
OutlookAddIn::CDispatchObject AddAttachmentFromData(const OutlookAddIn::CDispatchObject& item,
                                                    const std::wstring& fileName, const std::string& data);
// A folder of this process's own under the temporary folder, removed at unload.
StringW GetTempFolder();
// Raises a user message unless the link is sealed by this user: a link
// that came in a mail is never honoured, and the send that carries it is
// refused rather than have the user's recipients receive a path of theirs.
void CheckLinkSeal(const LinkContent& link);
// The linked file's size, once the path is a plain local drive path to an
// existing file of a permitted kind no larger than maxSize; raises a user
// message otherwise.
uint64_t CheckLinkedPath(const std::wstring& path, uint64_t maxSize);

void StubLinks(HWND owner, const OutlookAddIn::CDispatchObject& item, CNxoApiClient& client, uint64_t maxSize,
               std::function<bool()> disconnected = {});
void StubMessage(StubContext& context);
std::vector<StoredLink> StoreAttachments(StubContext& context);
// False for a second link to a path already met (kept as a duplicate).
bool CheckLinkedAttachment(StubContext& context, StoredLink& link);
void StoreAttachment(StubContext& context, StoredLink& link);
StringW GetStubPreamble(StubContext& context, const std::vector<StoredLink>& stored);
void WriteStub(StubContext& context, const StringW& preamble, const std::vector<StoredLink>& stored);
KvdRequestInfo MakePreambleRequest(const StubContext& context);
std::string GetMessageSender(const OutlookAddIn::CDispatchObject& item);
NarrowAddressSet GetMessageRecipients(const OutlookAddIn::CDispatchObject& item);
void StepProgress(StubContext& context);
// Raises once the add-in is disconnected.
void CheckConnected(const StubContext& context);

} // namespace Quenzal::Stubbing

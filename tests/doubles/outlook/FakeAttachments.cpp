#include "FakeAttachments.h"

#include "FakeOutlook.h"

#include "File.h"

#include <algorithm>

namespace QzlFake {

CFakeAttachments::CFakeAttachments(CFakeObject& item, const std::vector<std::wstring>& recipients)
{
    m_collection = MakeCollection(m_list);
    m_collection->Method(L"Add", [this](const Values& arguments) -> _variant_t {
        if (arguments.empty() || arguments[0].vt != VT_BSTR)
            throw DISP_E_TYPEMISMATCH;
        std::wstring path = arguments[0].bstrVal;
        std::string bytes;
        try {
            bytes = Quenzal::Os::ReadFileContents(path);
        } catch (...) {
            throw E_INVALIDARG;
        }
        return static_cast<IDispatch*>(Add(path.substr(path.find_last_of(L"\\/") + 1), bytes).Get());
    });
    for (const std::wstring& address : recipients) {
        CFakeRef recipient = CFakeObject::Create();
        recipient->Property(L"Address", address.c_str()).Property(L"EntryID", L"");
        m_recipients.push_back(recipient);
    }
    m_recipientCollection = MakeCollection(m_recipients);
    item.Property(L"Attachments", static_cast<IDispatch*>(m_collection.Get()))
        .Property(L"Recipients", static_cast<IDispatch*>(m_recipientCollection.Get()))
        .Property(L"BodyFormat", 1L)
        .Property(L"HTMLBody", L"<p>body</p>");
}

CFakeRef CFakeAttachments::Add(const std::wstring& fileName, const std::string& bytes)
{
    CFakeRef attachment = CFakeObject::Create();
    CFakeObject* raw = attachment.Get();
    attachment->Property(L"FileName", fileName.c_str()).Property(L"DisplayName", fileName.c_str());
    attachment->Method(L"SaveAsFile", [this, raw](const Values& arguments) {
        if (arguments.size() != 1 || arguments[0].vt != VT_BSTR)
            throw DISP_E_TYPEMISMATCH;
        try {
            Quenzal::Os::WriteFileContents(arguments[0].bstrVal, m_bytes[raw].data(), m_bytes[raw].size());
        } catch (...) {
            throw E_FAIL;
        }
        return _variant_t();
    });
    attachment->Method(L"Delete", [this, raw](const Values&) {
        if (undeletable.count(raw->Value(L"FileName").bstrVal) != 0)
            throw E_FAIL;
        auto it = std::find_if(m_list.begin(), m_list.end(), [raw](const CFakeRef& entry) { return entry.Get() == raw; });
        if (it == m_list.end())
            throw E_INVALIDARG;
        m_bytes.erase(raw);
        m_list.erase(it);
        return _variant_t();
    });
    m_bytes[raw] = bytes;
    m_list.push_back(attachment);
    return attachment;
}

std::vector<std::pair<std::wstring, std::string>> CFakeAttachments::List() const
{
    std::vector<std::pair<std::wstring, std::string>> result;
    for (const CFakeRef& attachment : m_list)
        result.emplace_back(attachment->Value(L"FileName").bstrVal, m_bytes.at(attachment.Get()));
    return result;
}

} // namespace QzlFake

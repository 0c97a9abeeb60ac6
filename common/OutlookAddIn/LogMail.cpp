#include "LogMail.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Guid.h"
#include "Logging.h"
#include "Os.h"
#include "OutlookIds.h"
#include "TextFileUtil.h"
#include "Util.h"

#include <memory>

namespace Quenzal::OutlookAddIn {

namespace {

constexpr const wchar_t* Function = L"Quenzal::OutlookAddIn::AttachLogTailToNewMessage";

// The folder of a tail copy, deleted with the copy in it when the holder goes.
class CTemporaryFolder {
public:
    explicit CTemporaryFolder(StringW path) : m_path(std::move(path)) {}
    ~CTemporaryFolder() { Delete(); }
    CTemporaryFolder(const CTemporaryFolder&) = delete;
    CTemporaryFolder& operator=(const CTemporaryFolder&) = delete;

    const StringW& GetPath() const { return m_path; }
    void Delete()
    {
        if (!m_path.empty())
            Os::TryDeleteDirectory(std::exchange(m_path, StringW()));
    }

private:
    StringW m_path;
};

struct Attachment {
    StringW path;
    std::unique_ptr<CTemporaryFolder> copyFolder; // only for a tail copy
};

uint64_t GetFileSizeFromAttributes(const StringW& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = Os::GetFileAttributesEx(path);
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The log itself, or the copy of its last mebibyte when it is larger; the
// whole log when that copy cannot be made.
Attachment PrepareAttachment(const StringW& path)
{
    uint64_t size = GetFileSizeFromAttributes(path);
    if (size <= kTextFileTailSize)
        return {path, nullptr};
    auto folder = std::make_unique<CTemporaryFolder>(
        Os::CombinePath(Os::GetTemporaryDirectory(), StringW::FromAnsi(CreateGuidHexString(), CP_ACP)));
    Os::CreateDirectory(folder->GetPath());
    StringW copy = Os::CombinePath(folder->GetPath(), Os::GetFileNameFromPath(path));
    try {
        CopyTextFileTail(path, copy);
    } catch (const CException& e) {
        Logging::LogFormat(
            Logging::Error,
            L"Unable to copy last 1 MB of log to a temporary file; attempting to attach whole log (%s): %s",
            FormatByteSize(size).c_str(), e.GetDescription().c_str());
        return {path, nullptr};
    }
    Logging::Log(Logging::Debug, (L"1 MB of log tailed to temporary file: " + copy).c_str());
    return {copy, std::move(folder)};
}

} // namespace

void AttachLogTailToNewMessage(const std::vector<StringW>& logPaths, const CDispatchObject& application)
{
    std::vector<Attachment> attachments;
    for (const StringW& path : logPaths)
        attachments.push_back(PrepareAttachment(path));

    CDispatchObject item = CDispatchObject::Query(
        CDispatchObject::FromVariant(application.Call(L"CreateItem", {_variant_t(olMailItem)})).GetInterface(),
        IID_OutlookMailItem);
    if (!item)
        QZL_THROW(Function, CComError(E_NOINTERFACE, L"_MailItem"));
    try {
        item.Put(L"Subject", _variant_t(LogMessageSubject));
        CDispatchObject itemAttachments = item.GetDispatch(L"Attachments");
        for (Attachment& attachment : attachments) {
            itemAttachments.Call(L"Add", {_variant_t(attachment.path.c_str())});
            if (attachment.copyFolder)
                attachment.copyFolder->Delete();
        }
        item.Call(L"Display");
    } catch (...) {
        try {
            item.Call(L"Close", {_variant_t(olDiscard)});
        }
        QZL_CATCH_REPORT(Function)
        throw;
    }
}

} // namespace Quenzal::OutlookAddIn

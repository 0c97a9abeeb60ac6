// Link files: written when the user attaches a large file, read back and
// checked when the mail is sent.
#include "Stubbing.h"

#include "ErrorReport.h"
#include "File.h"
#include "FileSystem.h"
#include "Guid.h"
#include "LinkSeal.h"
#include "Localization.h"
#include "Logging.h"
#include "OutlookAddInUtil.h"
#include "Path.h"
#include "Util.h"
#include "XmlGenerator.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr int LidFileNoLongerExists = 323;
constexpr int LidUnsafeFileType = 286;
constexpr int LidFileTooLarge = 375;
constexpr int LidLinkRefused = 178;
constexpr long olByValue = 1;
// The most characters one name in a path may hold.
constexpr size_t MaxFileNameLength = 255;

// The folder goes with the module, with whatever the add-in left in it.
struct CTempFolder {
    StringW path;
    CTempFolder()
    {
        path = Os::CombinePath(Os::GetTemporaryDirectory(), StringW::FromAnsi(CreateGuidHexString(), CP_ACP));
        if (!::CreateDirectoryW(path.c_str(), nullptr))
            QZL_THROW(QZL_FUNCTION, CWinError(path.c_str()));
    }
    ~CTempFolder() { Os::TryDeleteDirectory(path); }
};

// The user reads the refusal; the log gets the path too.
[[noreturn]] void RefuseLink(const std::wstring& path, const StringW& text,
                             const wchar_t* check = L"Quenzal::Stubbing::CheckLinkedPath")
{
    Logging::Log(Logging::Error, (L"Linked file refused: " + path + L": " + text).c_str());
    CException refusal(text);
    refusal.SetUserMessage(true);
    QZL_THROW(check, refusal);
}

} // namespace

namespace Quenzal::Stubbing {

std::string FormatLinkXml(const std::wstring& path, const std::wstring& seal)
{
    Net::CXmlGenerator document;
    document.StartElement(L"AttachedLink");
    document.AddUntrimmedElement(L"Path", path);
    // Readers that know no seal pass over it.
    document.AddElement(L"Seal", Value(seal));
    return document.CloseAndFormat();
}

StringW GetLinkFileName(const std::wstring& path)
{
    const StringW name = Os::GetFileNameFromPath(path);
    const StringW link = Os::AppendFileExtension(name, LinkFileExtension);
    if (link.size() <= MaxFileNameLength)
        return link;
    // The link keeps the linked file's type in view, unless that alone
    // would fill the name.
    StringW tail = StringW(L".") + LinkFileExtension;
    const StringW extension = Os::GetFileExtension(name);
    if (!extension.empty() && extension.size() < MaxFileNameLength / 2)
        tail = L"." + extension + tail;
    StringW stem = Os::RemoveFileExtension(name).substr(0, MaxFileNameLength - tail.size());
    if (!stem.empty() && IS_HIGH_SURROGATE(stem.back()))
        stem.pop_back();
    return stem + tail;
}

void AttachLinkFile(const CDispatchObject& item, const std::wstring& path)
{
    AddAttachmentFromData(item, GetLinkFileName(path), FormatLinkXml(path, SealLinkPath(path)));
}

bool IsLinkFile(const std::wstring& fileName)
{
    size_t dot = fileName.rfind(L'.');
    return dot != std::wstring::npos && fileName.compare(dot + 1, std::wstring::npos, LinkFileExtension) == 0;
}

bool HasLinkedAttachments(const CDispatchObject& item)
{
    CDispatchObject attachments = item.GetDispatch(L"Attachments");
    const long count = attachments.GetLong(L"Count");
    for (long i = 1; i <= count; ++i)
        if (IsLinkFile(TryGetAttachmentFilename(attachments.GetDispatch(L"Item", {i}))))
            return true;
    return false;
}

Os::CHandle WriteAttachmentToTemp(const CDispatchObject& attachment)
{
    StringW path = Os::CreateTemporaryFilePath(GetTempFolder());
    try {
        attachment.Call(L"SaveAsFile", {_bstr_t(path.c_str())});
    } catch (...) {
        Os::TryDeleteFile(path);
        throw;
    }
    Os::CHandle file = Os::OpenFileHandle(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE);
    if (!file) {
        CWinError error(path.c_str());
        Os::TryDeleteFile(path);
        QZL_THROW(QZL_FUNCTION, error);
    }
    Logging::Log(Logging::Debug, (L"Attachment written to: " + path).c_str());
    return file;
}

LinkedAttachment GetPathFromLinkedAttachment(const CDispatchObject& attachment)
{
    Os::CHandle file = WriteAttachmentToTemp(attachment);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size))
        QZL_THROW(QZL_FUNCTION, CWinError(L"GetFileSizeEx"));
    if (static_cast<uint64_t>(size.QuadPart) > MaxLinkFileSize)
        QZL_THROW(QZL_FUNCTION, CException(L"Size of link file is unexpectedly large"));
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() && (!::ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) ||
                          read != text.size()))
        QZL_THROW(QZL_FUNCTION, CWinError(L"ReadFile"));
    try {
        return {text, ReadLink(text)};
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        Logging::Log(Logging::Error, L"Unable to parse path from link XML");
        return {text, {}};
    }
}

StringW GetTempFolder()
{
    static CTempFolder folder;
    return folder.path;
}

CDispatchObject AddAttachmentFromData(const CDispatchObject& item, const std::wstring& fileName,
                                      const std::string& data)
{
    StringW path = Os::CombinePath(GetTempFolder(), fileName);
    Os::WriteFileContents(path, data.data(), data.size());
    CDispatchObject attachment;
    try {
        attachment = CDispatchObject::FromVariant(
            item.GetDispatch(L"Attachments")
                .Call(L"Add", {_bstr_t(Os::GetLongPath(path).c_str()), olByValue}));
    } catch (...) {
        Os::TryDeleteFile(path);
        throw;
    }
    Os::TryDeleteFile(path);
    return attachment;
}

void CheckLinkSeal(const LinkContent& link)
{
    if (IsLinkSealValid(link.Path, link.Seal))
        return;
    Logging::Log(Logging::Warning, L"Link was not made by Attach Large File for this user");
    RefuseLink(link.Path, GetLocalizedMessage(LidLinkRefused) + L": " + link.Path, QZL_FUNCTION);
}

uint64_t CheckLinkedPath(const std::wstring& path, uint64_t maxSize)
{
    if (!IsLocalDrivePath(path))
        RefuseLink(path, GetLocalizedMessage(LidLinkRefused) + L": " + path);
    const StringW extension = Os::GetFileExtension(Os::GetFileNameFromPath(path));
    if (Os::IsBlockedFileExtension(extension))
        RefuseLink(path, FormatLocalizedMessage(LidUnsafeFileType, L"." + extension));
    const DWORD attributes = Os::GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        RefuseLink(path, GetLocalizedMessage(LidFileNoLongerExists) + L": " + path);
    const uint64_t size = Os::GetFileSizeByPath(path);
    if (size > maxSize)
        RefuseLink(path, FormatLocalizedMessage(LidFileTooLarge, FormatByteSize(size), FormatByteSize(maxSize)));
    return size;
}

} // namespace Quenzal::Stubbing

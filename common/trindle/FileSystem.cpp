#include "FileSystem.h"

#include "ErrorReport.h"
#include "FatalExit.h"
#include "Logging.h"
#include "Path.h"
#include "SmartPointer.h"

#include <direct.h>
#include <shellapi.h>
#include <shlobj.h>

namespace Quenzal::Os {

namespace {

constexpr size_t FixedPathBuffer = MAX_PATH + 1;

bool IsDirectory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Puts the thread's last error back while an exception leaves the caller.
class CLastErrorRestorer {
public:
    explicit CLastErrorRestorer(DWORD code) : m_code(code) {}
    ~CLastErrorRestorer() { ::SetLastError(m_code); }
    CLastErrorRestorer(const CLastErrorRestorer&) = delete;
    CLastErrorRestorer& operator=(const CLastErrorRestorer&) = delete;

private:
    DWORD m_code;
};

// The absolute form, without separators at its end (but for a drive's root):
// what the shell is handed names the tree alone, whatever the current folder.
StringW GetFullPath(const std::wstring& path)
{
    std::wstring full;
    if (!TryGetFullPathName(path, full))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), path.c_str()));
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return StringW(full);
}

// The shell works in buffers of MAX_PATH characters and, handed a tree with a
// longer path inside, has deleted other folders' files instead; and a link
// inside the tree (junction or symbolic link) would lead it outside.
bool NeedsDeletionByHand(const std::wstring& folder)
{
    if (!FitsPlainForm(folder.size()))
        return true;
    WIN32_FIND_DATAW found = {};
    CFindHandle find = FindFirstEntry(folder + L"\\*", found);
    for (bool more = find.IsValid(); more; more = ::FindNextFileW(find.Get(), &found)) {
        const std::wstring name(found.cFileName);
        if (name == L"." || name == L"..")
            continue;
        const std::wstring entry = folder + L"\\" + name;
        if (!FitsPlainForm(entry.size()) || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            (IsDirectory(found.dwFileAttributes) && NeedsDeletionByHand(entry)))
            return true;
    }
    return false;
}

// Deletes what the folder holds and then the folder; a link is removed
// itself, never what it leads to.
void DeleteTreeByHand(const std::wstring& folder, DWORD attributes)
{
    WIN32_FIND_DATAW found = {};
    CFindHandle find;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        find = FindFirstEntry(folder + L"\\*", found);
    for (bool more = find.IsValid(); more; more = ::FindNextFileW(find.Get(), &found)) {
        const std::wstring name(found.cFileName);
        if (name == L"." || name == L"..")
            continue;
        const std::wstring entry = folder + L"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
            ::SetFileAttributesW(GetLongPath(entry).c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (IsDirectory(found.dwFileAttributes))
            DeleteTreeByHand(entry, found.dwFileAttributes);
        else if (!::DeleteFileW(GetLongPath(entry).c_str()))
            QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), entry.c_str()));
    }
    find.Close();
    if (!::RemoveDirectoryW(GetLongPath(folder).c_str()))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), folder.c_str()));
}

StringW ReadTemporaryDirectory()
{
    wchar_t buffer[FixedPathBuffer] = {};
    if (::GetTempPathW(FixedPathBuffer, buffer) == 0)
        QZL_FATAL_EXIT(::GetLastError(), L"Quenzal::Os::GetTemporaryDirectory");
    return WithTrailingBackslash(StringW(buffer).TrimRight());
}

} // namespace

StringW GetCurrentDirectory()
{
    wchar_t buffer[FixedPathBuffer] = {};
    if (::GetCurrentDirectoryW(FixedPathBuffer, buffer) == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), L""));
    // A longer folder only reports the size it needs and leaves the buffer empty.
    return StringW(buffer);
}

void CreateDirectory(const std::wstring& path)
{
    if (!::CreateDirectoryW(GetLongPath(path, PathRoom::ShortName).c_str(), nullptr)) {
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            QZL_THROW(QZL_FUNCTION, CWinError(error, path.c_str()));
    }
}

void CreateDirectoryByPath(const std::wstring& path)
{
    if (IsDirectory(GetFileAttributes(path)))
        return;

    // The root is a drive's or a server's, after any long-path prefix.
    const size_t prefix = GetLongPathPrefixLength(path);
    StringW root;
    if (path.size() >= prefix + 3 && path[prefix + 1] == L':' && path[prefix + 2] == L'\\') {
        root = path.substr(0, prefix + 3);
    } else if (path.compare(0, 2, L"\\\\") == 0) {
        const size_t name = prefix == 0 ? 2 : prefix;
        size_t server = path.size() <= name ? std::wstring::npos : path.find(L'\\', name);
        root = server == std::wstring::npos ? path : path.substr(0, server + 1);
    } else if (!path.empty() && path[0] == L'\\') {
        StringW base = StringW::Format(L"%c:\\", static_cast<wchar_t>(L'A' + _getdrive() - 1));
        Logging::LogFormat(Logging::Warning,
                           L"CreateDirectoryByPath called on relative path (%s); using current drive as base: %s",
                           path.c_str(), base.c_str());
        CreateDirectoryByPath(base + path.substr(1));
        return;
    } else {
        StringW current = GetCurrentDirectory();
        Logging::LogFormat(Logging::Warning,
                           L"CreateDirectoryByPath called on relative path (%s); using current directory as base: %s",
                           path.c_str(), current.c_str());
        CreateDirectoryByPath(CombinePath(current, path));
        return;
    }

    size_t position = root.size();
    StringW built = root;
    bool first = true;
    while (true) {
        size_t end = position < path.size() ? path.find(L'\\', position) : std::wstring::npos;
        std::wstring component = position < path.size() ? path.substr(position, end - position) : std::wstring();
        if (component.empty()) {
            if (first)
                Logging::Log(Logging::Warning, (L"CreateDirectoryByPath called on fs root: " + StringW(path)).c_str());
            break;
        }
        first = false;
        built.append(component);
        built.push_back(L'\\');
        CreateDirectory(built);
        if (end == std::wstring::npos)
            break;
        position = end + 1;
    }

    if (!IsDirectory(GetFileAttributes(built)))
        QZL_THROW(QZL_FUNCTION,
                  CException(L"CreateDirectoryByPath succeeded, but directory is absent: " + built));
}

CHandle OpenFileHandle(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                       SECURITY_ATTRIBUTES* security)
{
    const StringW systemForm = GetLongPath(path);
    return CHandle(::CreateFileW(systemForm.c_str(), access, share, security, disposition, flags, nullptr));
}

CFindHandle FindFirstEntry(const std::wstring& pattern, WIN32_FIND_DATAW& found)
{
    return CFindHandle(::FindFirstFileExW(GetLongPath(pattern).c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, 0));
}

StringW ExpandShortNames(const std::wstring& path)
{
    const StringW source = GetLongPath(path);
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetLongPathNameW(source.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return StringW();
        const bool fits = length < buffer.size();
        buffer.resize(length);
        if (fits)
            return GetPlainForm(buffer, path);
    }
}

DWORD GetFileAttributes(const std::wstring& path)
{
    return ::GetFileAttributesW(GetLongPath(path).c_str());
}

WIN32_FILE_ATTRIBUTE_DATA GetFileAttributesEx(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(GetLongPath(path).c_str(), GetFileExInfoStandard, &data))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), path.c_str()));
    return data;
}

uint64_t GetFileSize(HANDLE file)
{
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), L""));
    return static_cast<uint64_t>(size.QuadPart);
}

uint64_t GetFileSizeByPath(const std::wstring& path)
{
    DWORD attributes = GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || IsDirectory(attributes))
        return 0;
    try {
        WIN32_FILE_ATTRIBUTE_DATA data = GetFileAttributesEx(path);
        return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) + data.nFileSizeLow;
    } catch (...) {
        return 0;
    }
}

void CopyFile(const std::wstring& source, const std::wstring& destination)
{
    if (!::CopyFileW(GetLongPath(source).c_str(),
                     GetLongPath(destination).c_str(), FALSE))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), destination.c_str()));
}

void MoveFile(const std::wstring& source, const std::wstring& destination)
{
    if (!::MoveFileExW(GetLongPath(source).c_str(),
                       GetLongPath(destination).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), destination.c_str()));
}

void DeleteFile(const std::wstring& path)
{
    if (!::DeleteFileW(GetLongPath(path).c_str())) {
        DWORD error = ::GetLastError();
        CLastErrorRestorer restorer(error);
        QZL_THROW(QZL_FUNCTION, CWinError(error, path.c_str()));
    }
}

bool TryDeleteFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || IsDirectory(attributes))
        return false;
    try {
        DeleteFile(path);
        return true;
    } catch (...) {
        return false;
    }
}

void DeleteDirectory(const std::wstring& path)
{
    // The shell reads wildcards in its source list and, for an empty one,
    // works on the current folder: only one named tree is handed over. The
    // '?' of a long-path prefix is no wildcard.
    const size_t prefix = GetLongPathPrefixLength(path);
    if (path.size() == prefix || path.find_first_of(L"*?", prefix) != std::wstring::npos)
        QZL_THROW(QZL_FUNCTION, CException(L"Not a folder that may be deleted: " + path));
    const StringW tree = GetFullPath(path);
    const DWORD attributes = GetFileAttributes(tree);
    // The shell takes no long-path form.
    if (IsDirectory(attributes) && ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                                    GetLongPathPrefixLength(tree) != 0 || NeedsDeletionByHand(tree))) {
        DeleteTreeByHand(tree, attributes);
        return;
    }
    std::wstring source(tree);
    source.append(2, L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = source.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    int result = ::SHFileOperationW(&operation);
    if (result != 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"Failure during system call (%s): 0x%X", L"SHFileOperationW( FO_DELETE)",
                                             static_cast<unsigned>(result))));
    if (GetFileAttributes(tree) != INVALID_FILE_ATTRIBUTES)
        QZL_THROW(QZL_FUNCTION, CException(L"SHFileOperationW succeeded, but the folder is still there: " + tree));
}

bool TryDeleteDirectory(const std::wstring& path)
{
    if (!IsDirectory(GetFileAttributes(path)))
        return false;
    try {
        DeleteDirectory(path);
        return true;
    } catch (...) {
        return false;
    }
}

void DeleteEmptyDirectory(const std::wstring& path)
{
    if (!::RemoveDirectoryW(GetLongPath(path).c_str())) {
        DWORD error = ::GetLastError();
        if (error != ERROR_DIR_NOT_EMPTY)
            QZL_THROW(QZL_FUNCTION, CWinError(error, path.c_str()));
    }
}

bool TryDeleteEmptyDirectory(const std::wstring& path)
{
    if (!IsDirectory(GetFileAttributes(path)))
        return false;
    try {
        DeleteEmptyDirectory(path);
        return true;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        return false;
    }
}

StringW MakeUniqueFilePath(const std::wstring& path)
{
    // Only a path where nothing exists is free: a folder of that name would
    // make the caller's file creation fail.
    if (GetFileAttributes(path) == INVALID_FILE_ATTRIBUTES)
        return StringW(path);
    StringW stem = RemoveFileExtension(path);
    StringW tail(path.substr(stem.size()));
    for (int n = 1;; ++n) {
        StringW candidate = StringW::Format(L"%s (%d)%s", stem.c_str(), n, tail.c_str());
        if (GetFileAttributes(candidate) == INVALID_FILE_ATTRIBUTES)
            return candidate;
    }
}

StringW GetTemporaryDirectory()
{
    static const StringW directory = ReadTemporaryDirectory();
    return directory;
}

StringW CreateTemporaryFilePath(const std::wstring& directory)
{
    StringW folder = directory.empty() ? GetTemporaryDirectory() : StringW(directory);
    wchar_t buffer[FixedPathBuffer] = {};
    if (::GetTempFileNameW(folder.c_str(), L"QZL", 0, buffer) == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), directory.c_str()));
    return StringW(buffer);
}

StringW GetApplicationDataDirectory()
{
    wchar_t buffer[FixedPathBuffer] = {};
    HRESULT hr = ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                    buffer);
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, hr);
    if (buffer[0] == L'\0')
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to determine local application data directory"));
    return WithTrailingBackslash(StringW(buffer));
}

StringW GetApplicationDataSubdirectory(const std::wstring& relativePath)
{
    return WithTrailingBackslash(CombinePath(GetApplicationDataDirectory(), relativePath));
}

} // namespace Quenzal::Os

#include "Os.h"

#include "ErrorReport.h"
#include "FatalExit.h"
#include "Logging.h"

#include <commdlg.h>
#include <direct.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <iterator>

namespace Quenzal::Os {

namespace {

constexpr wchar_t DirectorySeparators[] = L"\\/";
constexpr wchar_t ExtensionSeparators[] = L"\\/.";
constexpr wchar_t LongPathPrefix[] = L"\\\\?\\";
constexpr size_t LongPathPrefixLength = 4;
constexpr size_t FixedPathBuffer = MAX_PATH + 1;

// Sorted by UTF-16 code units, so that a binary search finds an entry.
constexpr const wchar_t* BlockedExtensions[] = {
    L"ade",     L"adp",     L"app",    L"asp",      L"bas",    L"bat",    L"cer",    L"chm",    L"cmd",
    L"cnt",     L"com",     L"cpl",    L"crt",      L"csh",    L"der",    L"exe",    L"fxp",    L"gadget",
    L"hlp",     L"hpj",     L"hta",    L"inf",      L"ins",    L"isp",    L"its",    L"js",     L"jse",
    L"ksh",     L"lnk",     L"mad",    L"maf",      L"mag",    L"mam",    L"maq",    L"mar",    L"mas",
    L"mat",     L"mau",     L"mav",    L"maw",      L"mda",    L"mdb",    L"mde",    L"mdt",    L"mdw",
    L"mdz",     L"msc",     L"msh",    L"msh1",     L"msh1xml", L"msh2",  L"msh2xml", L"mshxml", L"msi",
    L"msp",     L"mst",     L"ops",    L"osd",      L"pcd",    L"pif",    L"plg",    L"prf",    L"prg",
    L"ps1",     L"ps1xml",  L"ps2",    L"ps2xml",   L"psc1",   L"psc2",   L"pst",    L"reg",    L"scf",
    L"scr",     L"sct",     L"shb",    L"shs",      L"tmp",    L"url",    L"vb",     L"vbe",    L"vbs",
    L"vpb",     L"vsmacros", L"vsw",   L"ws",       L"wsc",    L"wsf",    L"wsh",    L"xnk",
};
static_assert(std::size(BlockedExtensions) == 89);

bool EndsWith(const std::wstring& text, wchar_t ch)
{
    return !text.empty() && text.back() == ch;
}

StringW WithTrailingBackslash(StringW text)
{
    if (!EndsWith(text, L'\\'))
        text.push_back(L'\\');
    return text;
}

bool IsDirectory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Position of the dot that starts the extension, or npos.
size_t ExtensionDot(const std::wstring& path)
{
    size_t p = path.find_last_of(ExtensionSeparators);
    return p != std::wstring::npos && path[p] == L'.' ? p : std::wstring::npos;
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

StringW ReadTemporaryDirectory()
{
    wchar_t buffer[FixedPathBuffer] = {};
    if (::GetTempPathW(FixedPathBuffer, buffer) == 0)
        QZL_FATAL_EXIT(::GetLastError(), L"Quenzal::Os::GetTemporaryDirectory");
    return WithTrailingBackslash(StringW(buffer).TrimRight());
}

} // namespace

StringW GetDirectoryFromPath(const std::wstring& path)
{
    // A bare file name has no folder part: answering with the name itself
    // would make callers create a folder where the file belongs.
    size_t p = path.find_last_of(DirectorySeparators);
    return p == std::wstring::npos ? StringW() : StringW(path.substr(0, p + 1));
}

StringW GetFileNameFromPath(const std::wstring& path)
{
    if (path.empty())
        return StringW();
    size_t p = path.find_last_of(DirectorySeparators);
    if (p == path.size() - 1)
        p = path.find_last_of(DirectorySeparators, p - 1); // p - 1 wraps to npos at 0: whole text
    if (p == std::wstring::npos)
        return StringW(path);
    StringW name(path.substr(p + 1));
    while (!name.empty() && (name.back() == L'\\' || name.back() == L'/'))
        name.pop_back();
    return name;
}

StringW GetFileExtension(const std::wstring& path)
{
    size_t dot = ExtensionDot(path);
    return dot == std::wstring::npos ? StringW() : StringW(path.substr(dot + 1));
}

StringW RemoveFileExtension(const std::wstring& path)
{
    size_t dot = ExtensionDot(path);
    return StringW(dot == std::wstring::npos ? path : path.substr(0, dot));
}

StringW AppendFileExtension(const std::wstring& name, const std::wstring& extension)
{
    StringW result(name);
    if (!EndsWith(result, L'.'))
        result.push_back(L'.');
    result.append(!extension.empty() && extension[0] == L'.' ? extension.substr(1) : extension);
    return result;
}

StringW CombinePath(const std::wstring& directory, const std::wstring& relativePath)
{
    StringW result = WithTrailingBackslash(StringW(directory));
    result.append(!relativePath.empty() && relativePath[0] == L'\\' ? relativePath.substr(1) : relativePath);
    return result;
}

StringW GetLongPath(const std::wstring& path, size_t limit)
{
    if (path.size() <= limit)
        return StringW(path);
    // The system takes a prefixed path literally: slashes are no separators there.
    StringW normal(path);
    std::replace(normal.begin(), normal.end(), L'/', L'\\');
    if (normal.compare(0, LongPathPrefixLength, LongPathPrefix) == 0 || normal.compare(0, 4, L"\\\\.\\") == 0)
        return normal;
    if (normal.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + StringW(normal.substr(2));
    return LongPathPrefix + normal;
}

bool IsInvalidFileNameChar(wchar_t ch)
{
    switch (ch) {
    case L'"':
    case L'*':
    case L'/':
    case L':':
    case L'<':
    case L'>':
    case L'?':
    case L'\\':
    case L'|':
        return true;
    default:
        return ch < 32;
    }
}

StringW SanitizeFileName(const std::wstring& text)
{
    constexpr size_t MaxExamined = 260;
    StringW result;
    size_t examined = std::min(text.size(), MaxExamined);
    for (size_t i = 0; i < examined; ++i) {
        if (!IsInvalidFileNameChar(text[i]))
            result.push_back(text[i]);
    }
    if (text.size() < MaxExamined)
        return result;
    // A cut name keeps its extension. The extension comes from text that was
    // never examined, so it is cleaned the same way, and it must fit.
    StringW extension;
    for (wchar_t ch : GetLastToken(text, L'.', true)) {
        if (!IsInvalidFileNameChar(ch))
            extension.push_back(ch);
    }
    if (!extension.empty() && extension.size() <= result.size())
        result.replace(result.size() - extension.size(), extension.size(), extension);
    return result;
}

bool IsBlockedFileExtension(const std::wstring& extension)
{
    if (extension.empty())
        return false;
    std::wstring lower(extension);
    for (wchar_t& ch : lower)
        ch = static_cast<wchar_t>(towlower(ch));
    auto it = std::lower_bound(std::begin(BlockedExtensions), std::end(BlockedExtensions), lower,
                               [](const wchar_t* entry, const std::wstring& key) { return key.compare(entry) > 0; });
    return it != std::end(BlockedExtensions) && lower == *it;
}

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
    if (!::CreateDirectoryW(GetLongPath(path, LongPathLimitDirectory).c_str(), nullptr)) {
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            QZL_THROW(QZL_FUNCTION, CWinError(error, path.c_str()));
    }
}

void CreateDirectoryByPath(const std::wstring& path)
{
    if (IsDirectory(GetFileAttributes(path)))
        return;

    StringW root;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        root = path.substr(0, 3);
    } else if (path.compare(0, 2, L"\\\\") == 0) {
        size_t server = path.size() < 3 ? std::wstring::npos : path.find(L'\\', 2);
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
    StringW built = GetLongPath(root, LongPathLimitFile);
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

DWORD GetFileAttributes(const std::wstring& path)
{
    return ::GetFileAttributesW(GetLongPath(path, LongPathLimitFile).c_str());
}

WIN32_FILE_ATTRIBUTE_DATA GetFileAttributesEx(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(GetLongPath(path, LongPathLimitFile).c_str(), GetFileExInfoStandard, &data))
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
    if (!::CopyFileW(GetLongPath(source, LongPathLimitFile).c_str(),
                     GetLongPath(destination, LongPathLimitFile).c_str(), FALSE))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), destination.c_str()));
}

void MoveFile(const std::wstring& source, const std::wstring& destination)
{
    if (!::MoveFileExW(GetLongPath(source, LongPathLimitFile).c_str(),
                       GetLongPath(destination, LongPathLimitFile).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), destination.c_str()));
}

void DeleteFile(const std::wstring& path)
{
    if (!::DeleteFileW(GetLongPath(path, LongPathLimitFile).c_str())) {
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
    std::wstring source(path);
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
    if (!::RemoveDirectoryW(GetLongPath(path, LongPathLimitFile).c_str())) {
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

bool GetOpenFileNames(const std::wstring& initialDirectory, const std::wstring& filter, const std::wstring& title,
                      std::vector<StringW>& paths, HWND owner)
{
    constexpr DWORD FileBufferLength = 100000;
    std::wstring filters = filter.empty() ? std::wstring(L"All Files (*.*)|*.*") : filter;
    filters.append(L"||");
    std::replace(filters.begin(), filters.end(), L'|', L'\0');
    std::vector<wchar_t> files(FileBufferLength, L'\0');

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = files.data();
    dialog.nMaxFile = FileBufferLength;
    dialog.lpstrInitialDir = initialDirectory.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_DONTADDTORECENT;
    if (!::GetOpenFileNameW(&dialog))
        return false;

    // The folder, then each chosen name, NUL-separated; a lone first string is
    // the full path of the one chosen file.
    const wchar_t* folder = files.data();
    const wchar_t* name = folder + wcslen(folder) + 1;
    if (*name == L'\0') {
        paths.emplace_back(folder);
        return true;
    }
    for (; *name != L'\0'; name += wcslen(name) + 1)
        paths.push_back(StringW(folder) + L"\\" + name);
    return true;
}

BOOL ShellExecute(const std::wstring& file, const std::wstring& parameters)
{
    Logging::LogFormat(Logging::Debug, L"Invoking via shell: \"%s\" \"%s\"", file.c_str(), parameters.c_str());
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE;
    info.lpVerb = L"Open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    BOOL result = ::ShellExecuteExW(&info);
    if (!result)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), file.c_str()));
    return result;
}

namespace {

// How a wait ended, once the failures have ended the process.
enum class WaitOutcome { Signaled, Abandoned, TimedOut };

// Sorts a wait's result; a failed wait and an unknown result end the process,
// reported for the caller's function and line.
WaitOutcome ClassifyWait(DWORD result, const char* file, const wchar_t* function, int line)
{
    if (result == WAIT_ABANDONED_0) {
        Logging::Log(Logging::Warning,
                     L"Wait call returned WAIT_ABANDONED; previous owner of waitable object abandoned it");
        return WaitOutcome::Abandoned;
    }
    if (result == WAIT_TIMEOUT)
        return WaitOutcome::TimedOut;
    if (result == WAIT_FAILED) {
        DWORD error = ::GetLastError();
        FatalExit(error == 0 ? 0xFFFFFFFF : error, file, function, line);
    }
    if (result < MaximumWaitObjects)
        return WaitOutcome::Signaled;
    FatalExit(result, file, function, line);
}

[[noreturn]] void TooManyObjects(size_t count, const char* file, const wchar_t* function, int line)
{
    Logging::LogFormat(Logging::Error, L"Waitable object count (%Iu) exceeds limit (%d)", count,
                       static_cast<int>(MaximumWaitObjects));
    FatalExit(ERROR_INVALID_PARAMETER, file, function, line);
}

} // namespace

CHandle CreateManualResetEvent()
{
    CHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        DWORD error = ::GetLastError();
        event.Close();
        QZL_FATAL_EXIT(error, QZL_FUNCTION);
    }
    return event;
}

bool WaitForObject(HANDLE object, const DateTimeSpan& timeout)
{
    DWORD milliseconds = timeout.ToWaitTimeout();
    DWORD result = ::WaitForSingleObject(object, milliseconds);
    return ClassifyWait(result, __FILE__, L"Quenzal::Os::WaitForObject", __LINE__) != WaitOutcome::TimedOut;
}

bool IsObjectSignaled(HANDLE object)
{
    DWORD result = ::WaitForSingleObject(object, 0);
    return ClassifyWait(result, __FILE__, L"Quenzal::Os::IsObjectSignaled", __LINE__) != WaitOutcome::TimedOut;
}

DWORD WaitForAnyObject(const HANDLE* objects, size_t count, const DateTimeSpan& timeout)
{
    if (count > MaximumWaitObjects)
        TooManyObjects(count, __FILE__, L"Quenzal::Os::WaitForAnyObject", __LINE__);
    DWORD milliseconds = timeout.ToWaitTimeout();
    DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(count), objects, FALSE, milliseconds);
    ClassifyWait(result, __FILE__, L"Quenzal::Os::WaitForAnyObject", __LINE__);
    return result;
}

bool WaitForAllObjects(const HANDLE* objects, size_t count, const DateTimeSpan& timeout)
{
    if (count == 0)
        return true;
    if (count > MaximumWaitObjects) {
        if (!timeout.IsZero())
            TooManyObjects(count, __FILE__, L"Quenzal::Os::WaitForAllObjects", __LINE__);
        // Without a time-out the chunks can be waited for one after the other.
        for (size_t first = 0; first < count; first += MaximumWaitObjects) {
            if (!WaitForAllObjects(objects + first, std::min(MaximumWaitObjects, count - first), timeout))
                return false;
        }
        return true;
    }
    DWORD milliseconds = timeout.ToWaitTimeout();
    DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(count), objects, TRUE, milliseconds);
    return ClassifyWait(result, __FILE__, L"Quenzal::Os::WaitForAllObjects", __LINE__) != WaitOutcome::TimedOut;
}

} // namespace Quenzal::Os

#include "TextFileUtil.h"

#include "ErrorReport.h"
#include "File.h"
#include "Guid.h"
#include "Os.h"
#include "SmartPointer.h"

#include <vector>

namespace Quenzal {

namespace {

constexpr DWORD kCopyBlockSize = 4096;

uint64_t GetFileSizeFromAttributes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = Os::GetFileAttributesEx(path);
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Notepad of the system folder, by its full path: a bare name would be
// searched for in the host's and the current folder first.
StringW GetSystemNotepadPath()
{
    wchar_t folder[MAX_PATH + 1] = {};
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        QZL_THROW(L"Quenzal::OpenTextFile", CWinError(::GetLastError(), L"GetSystemDirectory"));
    return Os::CombinePath(StringW(folder, length), L"Notepad.exe");
}

} // namespace

void TrimTextFile(const std::wstring& path)
{
    DWORD attributes = Os::GetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;
    if (GetFileSizeFromAttributes(path) <= kTextFileTailSize)
        return;
    StringW temporaryPath =
        Os::CombinePath(Os::GetTemporaryDirectory(), StringW(CreateGuidHexString()) + L".tmp");
    try {
        CopyTextFileTail(path, temporaryPath);
        // Replaces the old content in one step, so a failure leaves it whole.
        Os::MoveFile(temporaryPath, path);
    } catch (...) {
        Os::TryDeleteFile(temporaryPath);
        throw;
    }
}

bool TryTrimTextFile(const std::wstring& path)
{
    try {
        TrimTextFile(path);
    } catch (...) {
        return false;
    }
    return true;
}

void CopyTextFileTail(const std::wstring& source, const std::wstring& destination)
{
    if (GetFileSizeFromAttributes(source) <= kTextFileTailSize) {
        Os::CopyFile(source, destination);
        return;
    }
    Os::CHandle input = Os::OpenFileHandle(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL);
    if (!input)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), source.c_str()));
    LARGE_INTEGER offset = {};
    offset.QuadPart = -static_cast<LONGLONG>(kTextFileTailSize);
    if (!::SetFilePointerEx(input.Get(), offset, nullptr, FILE_END))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), L""));
    // A file's writes fail when they stop short, as every file write does.
    Os::CFile output(destination, Os::CFile::OpenWrite);

    std::vector<char> block(kCopyBlockSize);
    bool lineFeedSeen = false;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(input.Get(), block.data(), kCopyBlockSize, &read, nullptr))
            QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), L""));
        if (read == 0)
            return;
        const char* start = block.data();
        DWORD count = read;
        if (!lineFeedSeen) {
            // The partial line before the first line feed is dropped.
            const char* lineFeed = static_cast<const char*>(memchr(start, '\n', read));
            if (lineFeed == nullptr)
                continue;
            lineFeedSeen = true;
            start = lineFeed + 1;
            count = static_cast<DWORD>(block.data() + read - start);
        }
        output.Write(start, count, false);
    }
}

Os::CreateProcess MakeTextEditorLauncher(const std::wstring& path)
{
    Os::CreateProcess launcher(GetSystemNotepadPath(), QuoteCommandLineArgument(path));
    launcher.InheritHandles = false;
    launcher.ShowState = SW_SHOWDEFAULT;
    launcher.SendOutputToLog = false;
    launcher.UserToken = nullptr;
    return launcher;
}

void OpenTextFile(const std::wstring& path)
{
    // The editor is not waited for; its process handle is closed at once.
    MakeTextEditorLauncher(path).Execute();
}

StringW QuoteCommandLineArgument(const std::wstring& text)
{
    return L"\"" + StringW(text) + L"\"";
}

} // namespace Quenzal

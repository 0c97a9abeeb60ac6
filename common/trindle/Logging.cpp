#include "Logging.h"

#include "ErrorReport.h"
#include "LogFile.h"
#include "Os.h"
#include "SmartPointer.h"
#include "TextFileUtil.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string_view>

namespace Quenzal::Logging {

CLogFile::CLogFile()
{
    m_handle.store(::GetStdHandle(STD_OUTPUT_HANDLE));
}

CLogFile::~CLogFile()
{
    HANDLE handle = m_handle.exchange(nullptr);
    if (!m_path.empty() && handle != nullptr && handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(handle);
}

CLogFile& CLogFile::Instance()
{
    static CLogFile instance;
    return instance;
}

void CLogFile::Write(const std::string& line)
{
    Os::CCriticalSectionLock lock(m_lock);
    if (::IsDebuggerPresent()) {
        StringW wide;
        try {
            wide.SetAnsi(line.c_str(), StringW::npos, CP_UTF8);
        } catch (...) {
            wide.clear();
        }
        ::OutputDebugStringW(wide.c_str());
    }
    HANDLE handle = m_handle.load();
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(handle, line.c_str(), static_cast<DWORD>(strlen(line.c_str())), &written, nullptr);
        m_size += written;
        if (!m_path.empty() && m_size > kLogFileBound)
            KeepWithinBound(handle);
    }
}

namespace {

// The last count bytes of the file (all of it when it is shorter).
bool ReadFileEnd(HANDLE file, uint64_t size, uint64_t count, std::string& end)
{
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(size - std::min(size, count));
    end.assign(static_cast<size_t>(size - static_cast<uint64_t>(start.QuadPart)), '\0');
    DWORD read = 0;
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
        !::ReadFile(file, end.data(), static_cast<DWORD>(end.size()), &read, nullptr))
        return false;
    end.resize(read);
    return true;
}

} // namespace

void CLogFile::KeepWithinBound(HANDLE handle)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size))
        return;
    m_size = static_cast<uint64_t>(size.QuadPart);
    if (m_size <= kLogFileBound)
        return;
    // Our handle only writes, and a child process may hold it too: the tail
    // is read through a handle of its own and written over the file's start.
    Os::CHandle reader =
        Os::OpenFileHandle(m_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    const uint64_t fileSize = m_size;
    std::string tail;
    // A file that cannot be cut now is tried again once as much more is written.
    m_size = 0;
    if (!reader || !ReadFileEnd(reader.Get(), fileSize, kTextFileTailSize, tail))
        return;
    // The tail keeps whole records only, from the first that starts in it.
    size_t cut = tail.find('\n');
    if (cut == std::string::npos || cut + 1 >= tail.size()) {
        // The newest record is longer than the tail: it is kept whole (or as
        // much of it as the bound holds) rather than leave the file empty.
        if (!ReadFileEnd(reader.Get(), fileSize, kLogFileBound, tail))
            return;
        cut = tail.size() < 2 ? std::string::npos : tail.rfind('\n', tail.size() - 2);
    }
    // A record cut at the file's new start begins with its next character.
    cut = cut == std::string::npos ? CountLeadingContinuationBytes(tail) : cut + 1;
    const DWORD keep = static_cast<DWORD>(tail.size() - cut);
    DWORD written = 0;
    if (::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) &&
        ::WriteFile(handle, tail.data() + cut, keep, &written, nullptr) && written == keep &&
        ::SetEndOfFile(handle)) {
        m_size = written;
        return;
    }
    // Later records go after everything, whatever the cut left behind.
    ::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END);
}

void CLogFile::Replace(HANDLE handle, const StringW& path)
{
    Os::CCriticalSectionLock lock(m_lock);
    HANDLE old = m_handle.exchange(handle);
    if (!m_path.empty() && old != nullptr && old != INVALID_HANDLE_VALUE && old != handle)
        ::CloseHandle(old);
    m_path = path;
    LARGE_INTEGER size{};
    m_size = !path.empty() && ::GetFileSizeEx(handle, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

StringW CLogFile::GetPath()
{
    Os::CCriticalSectionLock lock(m_lock);
    return m_path;
}

namespace {

std::atomic<bool>& TraceSwitch()
{
    static std::atomic<bool> enabled{false};
    return enabled;
}

const char* Tag(Severity severity)
{
    switch (severity) {
    case Error:
        return "ERROR: ";
    case Warning:
        return "WARNING: ";
    case Exception:
        return "EXCEPTION: ";
    case Trace:
        return "TRACE: ";
    default:
        return "";
    }
}

bool Filtered(Severity severity)
{
    return severity == Trace && !TraceSwitch().load(std::memory_order_relaxed);
}

// Cut at a character's start, so that the record stays UTF-8.
void AppendBounded(std::string& line, std::string_view text)
{
    const size_t kept = GetUtf8CutPosition(text, kLogRecordBound);
    line.append(text.substr(0, kept));
    if (kept < text.size())
        line.append(" [" + std::to_string(text.size() - kept) + " more bytes not logged]");
}

// No record starts with this mark: records start with their date.
constexpr std::string_view kRawLineMark = "> ";

std::string FormatRawBlock(std::string_view text)
{
    std::string bounded;
    AppendBounded(bounded, text);
    std::string block;
    for (size_t start = 0; start < bounded.size();) {
        const size_t lineFeed = bounded.find('\n', start);
        const size_t end = lineFeed == std::string::npos ? bounded.size() : lineFeed;
        std::string_view line(bounded.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        block.append(kRawLineMark);
        const size_t from = block.size();
        block.append(line);
        ShowControlCharacters(block, from);
        block.append("\r\n");
    }
    return block;
}

} // namespace

std::string FormatLogPrefix(Severity severity)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char buffer[64];
    int n = sprintf_s(buffer, sizeof(buffer), "%.2d/%.2d/%.2d %.2d:%.2d:%.2d ", now.wMonth, now.wDay,
                      now.wYear % 1000, now.wHour, now.wMinute, now.wSecond);
    std::string prefix(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    if (CLogFile::Instance().ThreadIds().load()) {
        n = sprintf_s(buffer, sizeof(buffer), "(%lx) ", ::GetCurrentThreadId());
        prefix.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }
    prefix.append(Tag(severity));
    return prefix;
}

std::string FormatLogLineA(Severity severity, const char* text)
{
    std::string line = FormatLogPrefix(severity);
    const size_t start = line.size();
    AppendBounded(line, text != nullptr ? text : "");
    // Texts from mails and servers end up here: a CR or LF among them must
    // not start a record of its own.
    ShowControlCharacters(line, start);
    line.append("\r\n");
    return line;
}

std::string FormatLogLine(Severity severity, const wchar_t* text)
{
    std::string utf8;
    try {
        StringW(text).GetAnsi(utf8, CP_UTF8);
    } catch (...) {
        // A line that cannot be converted (a lone surrogate) is still worth having.
        utf8 = ConvertToAscii(text != nullptr ? text : L"");
    }
    return FormatLogLineA(severity, utf8.c_str());
}

void WriteToLog(Severity, const std::string& line)
{
    CLogFile::Instance().Write(line);
}

void Log(Severity severity, const wchar_t* text)
{
    if (text == nullptr || text[0] == L'\0' || Filtered(severity))
        return;
    WriteToLog(severity, FormatLogLine(severity, text));
}

void LogA(Severity severity, const char* utf8)
{
    if (utf8 == nullptr || utf8[0] == '\0' || Filtered(severity))
        return;
    WriteToLog(severity, FormatLogLineA(severity, utf8));
}

void LogFormat(Severity severity, const wchar_t* format, ...)
{
    if (format == nullptr || format[0] == L'\0' || Filtered(severity))
        return;
    va_list args;
    va_start(args, format);
    StringW text = StringW::FormatV(format, args);
    va_end(args);
    if (!text.empty())
        WriteToLog(severity, FormatLogLine(severity, text.c_str()));
}

void LogFormatA(Severity severity, const char* format, ...)
{
    if (format == nullptr || format[0] == '\0' || Filtered(severity))
        return;
    va_list args;
    va_start(args, format);
    StringA text;
    text.FormatV(format, args);
    va_end(args);
    if (!text.empty())
        WriteToLog(severity, FormatLogLineA(severity, text.c_str()));
}

void LogRawA(Severity severity, const char* text)
{
    if (text == nullptr || text[0] == '\0' || Filtered(severity))
        return;
    WriteToLog(severity, FormatRawBlock(text));
}

bool EnableTraceLogging(bool enable)
{
    bool previous = TraceSwitch().exchange(enable);
    if (previous != enable)
        Log(Debug, enable ? L"Trace logging enabled" : L"Trace logging disabled");
    return previous;
}

bool IsTraceEnabled()
{
    return TraceSwitch().load(std::memory_order_relaxed);
}

bool EnableThreadIds(bool enable)
{
    return CLogFile::Instance().ThreadIds().exchange(enable);
}

HANDLE GetLogHandle()
{
    return CLogFile::Instance().GetHandle();
}

void SetLogPath(const std::wstring& path)
{
    StringW directory = Os::GetDirectoryFromPath(path);
    if (!directory.empty())
        Os::CreateDirectoryByPath(directory);

    // Inheritable, so that a child process can write its output to the log.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    Os::CHandle file = Os::OpenFileHandle(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, &inherit);
    if (!file)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), path.c_str()));
    LONG high = 0;
    ::SetLastError(NO_ERROR);
    if (::SetFilePointer(file.Get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), path.c_str()));

    CLogFile::Instance().Replace(file.Detach(), StringW(path));
}

} // namespace Quenzal::Logging

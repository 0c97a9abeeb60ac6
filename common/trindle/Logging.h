#pragma once
// The process-wide text log: UTF-8 lines with a timestamp, an optional thread
// id and a severity tag, written to the log file and to an attached debugger.

#include <windows.h>

#include <cstddef>
#include <string>

namespace Quenzal::Logging {

// The most text one record (or one raw block) carries: a mail, a file or a
// server can hand us any amount, and one of them must not push the records
// before it out of the log. The rest is replaced by a note of its length.
inline constexpr size_t kLogRecordBound = 8 * 1024;

enum Severity : unsigned int {
    Error = 0,
    Warning = 1,
    Exception = 2,
    Debug = 3,
    Trace = 4,
    Custom = 5,
};

void Log(Severity severity, const wchar_t* text);
void LogA(Severity severity, const char* utf8);
void LogFormat(Severity severity, const wchar_t* format, ...);
void LogFormatA(Severity severity, const char* format, ...);
// Writes a block of text from outside (a header block, a document) keeping its
// lines, each behind "> " so that no line of it reads as a record.
void LogRawA(Severity severity, const char* text);

bool EnableTraceLogging(bool enable);
bool IsTraceEnabled();
bool EnableThreadIds(bool enable);

std::string FormatLogPrefix(Severity severity);
std::string FormatLogLine(Severity severity, const wchar_t* text);
std::string FormatLogLineA(Severity severity, const char* text);
void WriteToLog(Severity severity, const std::string& line);

// The handle lines are written to (the standard output until a log file is set).
HANDLE GetLogHandle();
// Makes the file the log from the next line on: creates its folder, opens it
// for appending with a handle that child processes inherit, and closes the
// previous log file. On failure the log keeps its previous target.
void SetLogPath(const std::wstring& path);

} // namespace Quenzal::Logging

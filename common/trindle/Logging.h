#pragma once
// The process-wide text log: UTF-8 lines with a timestamp, an optional thread
// id and a severity tag, written to the log file and to an attached debugger.

#include <windows.h>

#include <string>

namespace Quenzal::Logging {

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

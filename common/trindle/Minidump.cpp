#include "Minidump.h"

#include "ErrorReport.h"
#include "Guid.h"
#include "Logging.h"
#include "Modules.h"
#include "Os.h"
#include "StructuredExceptionGuard.h"
#include "VersionInfo.h"

#include <dbghelp.h>

namespace Quenzal::Os {

StringW GetMinidumpFileName()
{
    StringW name = GetModuleBaseName();
    try {
        StringW commit = SanitizeFileName(GetModuleVersionInfo().CommitHash.Trimmed());
        if (!commit.empty())
            name += L"." + commit;
    } catch (...) {
        // A module without version information gets a name without it.
    }
    name += L"." + StringW(CreateGuidHexString()) + L".mdmp";
    return name;
}

void CreateMinidump(EXCEPTION_POINTERS* pointers, const std::wstring& path)
{
    CModule dbghelp = LoadSystemModule(L"DBGHELP.DLL");
    using WriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                            PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
    auto writeDump = reinterpret_cast<WriteDumpFunction>(
        reinterpret_cast<void*>(::GetProcAddress(dbghelp.Get(), "MiniDumpWriteDump")));
    if (writeDump == nullptr)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to locate procedure 'MiniDumpWriteDump' in 'DBGHELP.DLL'"));
    CHandle file = OpenFileHandle(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (!file)
        QZL_THROW(QZL_FUNCTION, CWinError());
    MINIDUMP_EXCEPTION_INFORMATION exception = {};
    exception.ThreadId = ::GetCurrentThreadId();
    exception.ExceptionPointers = pointers;
    exception.ClientPointers = FALSE;
    if (!writeDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.Get(), MiniDumpNormal, &exception, nullptr,
                   nullptr))
        QZL_THROW(QZL_FUNCTION, CWinError());
}

void WriteCrashDump(EXCEPTION_POINTERS* pointers)
{
    DWORD code = pointers->ExceptionRecord->ExceptionCode;
    Logging::LogFormat(Logging::Error, L"Exception occurred in thread 0x%x (%s)", ::GetCurrentThreadId(),
                       GetErrorCodeName(code).c_str());
    try {
        StringW path = MakeUniqueFilePath(CombinePath(GetTemporaryDirectory(), GetMinidumpFileName()));
        CreateMinidump(pointers, path);
        Logging::Log(Logging::Debug, (L"Minidump saved to disk at: " + path).c_str());
    } catch (...) {
        Logging::Log(Logging::Error, L"Unable to save minidump");
    }
}

} // namespace Quenzal::Os

namespace {

void FilterBody(EXCEPTION_POINTERS* pointers)
{
    try {
        Quenzal::Logging::Log(Quenzal::Logging::Error, L"QzlUnhandledExceptionFilter reached");
        Quenzal::Os::WriteCrashDump(pointers);
        Quenzal::Logging::Log(Quenzal::Logging::Error, L"Terminating process");
    } catch (...) {
        // Nothing may keep the process from ending below.
    }
    ::TerminateProcess(::GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
}

// A fault inside the filter itself ends the process at once.
LONG EndProcessAtOnce(EXCEPTION_POINTERS*, void*)
{
    ::TerminateProcess(::GetCurrentProcess(), 0xC0000005);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

LONG QzlUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers)
{
    Quenzal::Os::RunGuarded([pointers] { FilterBody(pointers); }, EndProcessAtOnce);
    return EXCEPTION_CONTINUE_SEARCH;
}

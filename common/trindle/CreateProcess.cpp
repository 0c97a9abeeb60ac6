#include "CreateProcess.h"

#include "ErrorReport.h"
#include "FileSystem.h"
#include "Logging.h"
#include "ProcessPrivilege.h"

#include <vector>

namespace Quenzal::Os {

namespace {

// A bare program name is looked up in the system folder first: the system's
// search would otherwise try the host's folder and the current folder, where
// anybody may have put a program of that name.
StringW ResolveProgram(const StringW& command)
{
    if (command.empty() || command.find_first_of(L"\\/:\"") != StringW::npos)
        return command;
    wchar_t folder[MAX_PATH + 1] = {};
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return command;
    StringW candidate(folder, length);
    if (candidate.back() != L'\\')
        candidate.push_back(L'\\');
    candidate.append(command);
    DWORD attributes = Os::GetFileAttributes(candidate);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return command;
    return candidate;
}

} // namespace

StringW CreateProcess::FormatCommandLine() const
{
    // Quoted, so that a path with blanks cannot be read as a shorter program
    // followed by arguments.
    StringW program = ResolveProgram(Command);
    StringW line;
    if (!program.empty() && program.front() == L'"')
        line = program;
    else
        line = L"\"" + program + L"\"";
    if (!Arguments.empty()) {
        if (Arguments.front() != L' ')
            line.push_back(L' ');
        line.append(Arguments);
    }
    return line;
}

CHandle CreateProcess::Execute() const
{
    StringW commandLine = FormatCommandLine();
    Logging::Log(Logging::Debug, (L"Invoking: " + commandLine).c_str());

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (ShowState != SW_SHOWDEFAULT) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = ShowState;
    }
    BOOL inherit = InheritHandles ? TRUE : FALSE;
    if (SendOutputToLog) {
        inherit = TRUE;
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = Logging::GetLogHandle();
        startup.hStdError = startup.hStdOutput;
        startup.hStdInput = nullptr;
    }
    // The system may write into the command line it is given.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    const wchar_t* directory = WorkingDirectory.empty() ? nullptr : WorkingDirectory.c_str();
    PROCESS_INFORMATION process = {};
    BOOL started;
    if (UserToken != nullptr && UserToken != INVALID_HANDLE_VALUE) {
        AcquireProcessPrivilege(L"SeIncreaseQuotaPrivilege");
        AcquireProcessPrivilege(L"SeAssignPrimaryTokenPrivilege");
        AcquireProcessPrivilege(L"SeTcbPrivilege");
        started = ::CreateProcessAsUserW(UserToken, nullptr, writable.data(), nullptr, nullptr, inherit, 0, nullptr,
                                         directory, &startup, &process);
    } else {
        started = ::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, inherit, 0, nullptr, directory,
                                   &startup, &process);
    }
    if (!started)
        QZL_THROW(QZL_FUNCTION, CWinError(commandLine.c_str()));
    CHandle thread(process.hThread);
    return CHandle(process.hProcess);
}

} // namespace Quenzal::Os

#pragma once
// Starting another program, optionally under another user's token and with
// its output going into our log.

#include "SmartPointer.h"
#include "StringW.h"

// The system header maps this name to CreateProcessW; the launcher below
// needs it as its own name.
#undef CreateProcess

namespace Quenzal::Os {

// Describes one program start. Fill the fields, then call Execute; the
// launcher never waits for the program.
class CreateProcess {
public:
    CreateProcess() = default;
    CreateProcess(const StringW& command, const StringW& arguments) : Command(command), Arguments(arguments) {}

    // The program; a bare name of a program in the system folder is started
    // from there, never from the current or the host's folder.
    StringW Command;
    StringW Arguments;
    bool InheritHandles = false;
    // Empty for the caller's own.
    StringW WorkingDirectory;
    // SW_SHOWDEFAULT leaves the choice to the system.
    WORD ShowState = SW_SHOWDEFAULT;
    // Standard output and standard error of the program go to the log file.
    bool SendOutputToLog = false;
    // Not owned; null or INVALID_HANDLE_VALUE runs the program as the current user.
    HANDLE UserToken = nullptr;

    // The quoted program followed by the arguments.
    StringW FormatCommandLine() const;
    // Starts the program and returns its process handle.
    CHandle Execute() const;
};

} // namespace Quenzal::Os

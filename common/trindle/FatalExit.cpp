#include "FatalExit.h"

#include "ErrorReport.h"
#include "Logging.h"

namespace Quenzal {

void FatalExit(DWORD code, const char* file, const wchar_t* function, int line)
{
    StringW reason = code == 0xFFFFFFFF ? StringW(L"Unknown reason") : GetErrorText(code);
    Logging::Log(Logging::Error, FormatReportLine(L"Exiting process", file, function, line, reason).c_str());
    OnDie(code);
    ::ExitProcess(code);
}

void OnDie(DWORD)
{
    // No part of the program registers a last action.
}

} // namespace Quenzal

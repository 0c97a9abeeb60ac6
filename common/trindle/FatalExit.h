#pragma once
// The one way out for conditions that leave nothing to recover.

#include "FunctionName.h"

#include <windows.h>

namespace Quenzal {

// Logs "Exiting process" with the reason, calls OnDie and ends the process
// with code as its exit code. 0xFFFFFFFF means the reason is unknown.
[[noreturn]] void FatalExit(DWORD code, const char* file, const wchar_t* function, int line);
void OnDie(DWORD exitCode);

} // namespace Quenzal

#define QZL_FATAL_EXIT(code, function) ::Quenzal::FatalExit((code), __FILE__, function, __LINE__)

#pragma once
// Names threads so that a debugger (and the system's thread list) shows what
// they are doing.

#include <windows.h>

namespace Quenzal::Os {

// Best effort: never fails and never disturbs a process without a debugger.
void SetThreadName(DWORD threadId, const char* name);

} // namespace Quenzal::Os

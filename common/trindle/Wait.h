#pragma once
// Events and the waits that every part of the program uses.

#include "DateTimeSpan.h"
#include "SmartPointer.h"

#include <windows.h>

namespace Quenzal::Os {

// Events and waits. A zero time-out waits without limit; an abandoned object
// counts as signalled (with a warning); a wait that fails ends the process.
constexpr size_t MaximumWaitObjects = MAXIMUM_WAIT_OBJECTS;

// A new manual-reset event, not signalled.
CHandle CreateManualResetEvent();
// False on time-out.
bool WaitForObject(HANDLE object, const DateTimeSpan& timeout);
// The index of a signalled object, WAIT_TIMEOUT or WAIT_ABANDONED_0.
DWORD WaitForAnyObject(const HANDLE* objects, size_t count, const DateTimeSpan& timeout);
// False on time-out. More than 64 objects only without a time-out.
bool WaitForAllObjects(const HANDLE* objects, size_t count, const DateTimeSpan& timeout);
bool IsObjectSignaled(HANDLE object);

} // namespace Quenzal::Os

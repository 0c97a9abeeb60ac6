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

// The moment, by the system's tick count, by which a piece of work must be
// done however many waits it takes: each wait on the way is cut to what is
// left. A deadline that is not set never passes.
class CDeadline {
public:
    CDeadline() = default;
    // The end of the span from now; a zero span sets none.
    static CDeadline After(const DateTimeSpan& span);

    // Cuts the time-out of a wait (zero: without limit) to what is left;
    // false, for no wait at all, once the deadline has passed.
    bool LimitWait(DateTimeSpan& timeout) const;
    bool HasPassed() const;
    // The one of the two that passes first; one not set gives way to the other.
    CDeadline EarlierOf(const CDeadline& other) const;

private:
    ULONGLONG m_tick = 0;
};

} // namespace Quenzal::Os

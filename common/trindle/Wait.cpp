#include "Wait.h"

#include "ErrorReport.h"
#include "FatalExit.h"
#include "Logging.h"

#include <algorithm>

namespace Quenzal::Os {

namespace {

// How a wait ended, once the failures have ended the process.
enum class WaitOutcome { Signaled, Abandoned, TimedOut };

// Sorts a wait's result; a failed wait and an unknown result end the process,
// reported for the caller's function and line.
WaitOutcome ClassifyWait(DWORD result, const char* file, const wchar_t* function, int line)
{
    if (result == WAIT_ABANDONED_0) {
        Logging::Log(Logging::Warning,
                     L"Wait call returned WAIT_ABANDONED; previous owner of waitable object abandoned it");
        return WaitOutcome::Abandoned;
    }
    if (result == WAIT_TIMEOUT)
        return WaitOutcome::TimedOut;
    if (result == WAIT_FAILED) {
        DWORD error = ::GetLastError();
        FatalExit(error == 0 ? 0xFFFFFFFF : error, file, function, line);
    }
    if (result < MaximumWaitObjects)
        return WaitOutcome::Signaled;
    FatalExit(result, file, function, line);
}

[[noreturn]] void TooManyObjects(size_t count, const char* file, const wchar_t* function, int line)
{
    Logging::LogFormat(Logging::Error, L"Waitable object count (%Iu) exceeds limit (%d)", count,
                       static_cast<int>(MaximumWaitObjects));
    FatalExit(ERROR_INVALID_PARAMETER, file, function, line);
}

} // namespace

CHandle CreateManualResetEvent()
{
    CHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        DWORD error = ::GetLastError();
        event.Close();
        QZL_FATAL_EXIT(error, QZL_FUNCTION);
    }
    return event;
}

bool WaitForObject(HANDLE object, const DateTimeSpan& timeout)
{
    DWORD milliseconds = timeout.ToWaitTimeout();
    DWORD result = ::WaitForSingleObject(object, milliseconds);
    return ClassifyWait(result, __FILE__, QZL_FUNCTION, __LINE__) != WaitOutcome::TimedOut;
}

bool IsObjectSignaled(HANDLE object)
{
    DWORD result = ::WaitForSingleObject(object, 0);
    return ClassifyWait(result, __FILE__, QZL_FUNCTION, __LINE__) != WaitOutcome::TimedOut;
}

DWORD WaitForAnyObject(const HANDLE* objects, size_t count, const DateTimeSpan& timeout)
{
    if (count > MaximumWaitObjects)
        TooManyObjects(count, __FILE__, QZL_FUNCTION, __LINE__);
    DWORD milliseconds = timeout.ToWaitTimeout();
    DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(count), objects, FALSE, milliseconds);
    ClassifyWait(result, __FILE__, QZL_FUNCTION, __LINE__);
    return result;
}

bool WaitForAllObjects(const HANDLE* objects, size_t count, const DateTimeSpan& timeout)
{
    if (count == 0)
        return true;
    if (count > MaximumWaitObjects) {
        if (!timeout.IsZero())
            TooManyObjects(count, __FILE__, QZL_FUNCTION, __LINE__);
        // Without a time-out the chunks can be waited for one after the other.
        for (size_t first = 0; first < count; first += MaximumWaitObjects) {
            if (!WaitForAllObjects(objects + first, std::min(MaximumWaitObjects, count - first), timeout))
                return false;
        }
        return true;
    }
    DWORD milliseconds = timeout.ToWaitTimeout();
    DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(count), objects, TRUE, milliseconds);
    return ClassifyWait(result, __FILE__, QZL_FUNCTION, __LINE__) != WaitOutcome::TimedOut;
}

CDeadline CDeadline::After(const DateTimeSpan& span)
{
    CDeadline deadline;
    if (!span.IsZero())
        deadline.m_tick = ::GetTickCount64() + span.ToWaitTimeout();
    return deadline;
}

bool CDeadline::LimitWait(DateTimeSpan& timeout) const
{
    if (m_tick == 0)
        return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= m_tick)
        return false;
    // At most what ToWaitTimeout gives, so it fits a wait's milliseconds.
    const ULONGLONG left = m_tick - now;
    if (timeout.IsZero() || left < timeout.ToWaitTimeout())
        timeout = DateTimeSpan(0, 0, 0, 0, static_cast<int>(left));
    return true;
}

bool CDeadline::HasPassed() const
{
    return m_tick != 0 && ::GetTickCount64() >= m_tick;
}

CDeadline CDeadline::EarlierOf(const CDeadline& other) const
{
    return m_tick == 0 || (other.m_tick != 0 && other.m_tick < m_tick) ? other : *this;
}

} // namespace Quenzal::Os

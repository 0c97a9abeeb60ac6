#include "OutlookAddInTimer.h"

#include "CriticalSection.h"
#include "CaughtException.h"

#include <cmath>
#include <map>
#include <typeinfo>

namespace Quenzal::OutlookAddIn {
namespace {

constexpr double MillisecondsPerDay = 24.0 * 60 * 60 * 1000;

// The running timers of the process, by the id the system gave them.
struct TimerTable {
    Os::CCriticalSection lock;
    std::map<UINT_PTR, COutlookAddInTimer*> timers;
};

TimerTable& Timers()
{
    static TimerTable table;
    return table;
}

// Finds and removes in one step, so a timer fires at most once per start.
COutlookAddInTimer* FindTimer(UINT_PTR id)
{
    TimerTable& table = Timers();
    Os::CCriticalSectionLock lock(table.lock);
    auto it = table.timers.find(id);
    if (it == table.timers.end())
        return nullptr;
    COutlookAddInTimer* timer = it->second;
    table.timers.erase(it);
    return timer;
}

// A wait of less than an hour reads as the span; a longer one as the moment
// it ends.
StringW DescribeWait(const DateTimeSpan& span, const DateTime& now)
{
    double halfSecond = 0.5 / (24 * 60 * 60);
    double rounded = span.GetSpan() + (span.GetSpan() >= 0 ? halfSecond : -halfSecond);
    if (TruncateToInt64(rounded * 24) == 0)
        return span.ToString();
    return (now + span).ToString(true);
}

} // namespace

UINT SpanToTimerMilliseconds(const DateTimeSpan& span)
{
    double milliseconds = std::round(span.GetSpan() * MillisecondsPerDay);
    if (!(milliseconds > 0))
        return 0;
    return milliseconds >= USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM : static_cast<UINT>(milliseconds);
}

COutlookAddInTimer::COutlookAddInTimer(const StringW& name, std::function<void()> action)
    : m_name(name), m_action(std::make_shared<const std::function<void()>>(std::move(action)))
{
}

COutlookAddInTimer::~COutlookAddInTimer()
{
    Stop();
}

void COutlookAddInTimer::Start(const DateTimeSpan& span)
{
    Stop();
    TimerTable& table = Timers();
    Os::CCriticalSectionLock lock(table.lock);
    DateTime now = DateTime::Now();
    UINT_PTR id = ::SetTimer(nullptr, 0, SpanToTimerMilliseconds(span), &TimerProc);
    if (id == 0)
        QZL_THROW(L"Quenzal::OutlookAddIn::COutlookAddInTimer::Start", CWinError());
    Logging::LogFormat(m_severity, L"Started timer '%s' for %s", m_name.c_str(), DescribeWait(span, now).c_str());
    m_startMoment = now;
    m_timerId = id;
    m_runningLock.emplace();
    table.timers[id] = this;
}

void COutlookAddInTimer::Stop()
{
    if (m_timerId == 0)
        return;
    TimerTable& table = Timers();
    Os::CCriticalSectionLock lock(table.lock);
    ::KillTimer(nullptr, m_timerId);
    table.timers.erase(m_timerId);
    m_timerId = 0;
    m_runningLock.reset();
}

StringW COutlookAddInTimer::GetName() const
{
    return m_name;
}

bool COutlookAddInTimer::IsRunning() const
{
    return m_timerId != 0;
}

void COutlookAddInTimer::OnTimerEvent()
{
    Logging::LogFormat(m_severity, L"Timer '%s' fired after %s", m_name.c_str(),
                       (DateTime::Now() - m_startMoment).ToString().c_str());
    m_timerId = 0;
    m_runningLock.reset();
    m_startMoment.Clear();
    // The action may restart, stop or even destroy this timer: nothing below
    // touches the object, and the action is held by this call.
    std::shared_ptr<const std::function<void()>> action = m_action;
    try {
        (*action)();
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::OutlookAddIn::COutlookAddInTimer::OnTimerEvent", e);
    } catch (const std::exception& e) {
        Logging::LogFormatA(Logging::Error, "Caught unexpected exception in COutlookAddInTimer::OnTimerEvent (%s): %s",
                            TypeName(typeid(e)).c_str(), e.what());
    } catch (...) {
        Logging::LogA(Logging::Error, "Caught unexpected exception in COutlookAddInTimer::OnTimerEvent (Unknown source)");
    }
}

void CALLBACK COutlookAddInTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    // A window-less timer repeats until it is killed; killing it first makes it one-shot.
    ::KillTimer(nullptr, id);
    COutlookAddInTimer* timer = FindTimer(id);
    if (timer == nullptr) {
        // Stopped or destroyed while its message was already queued.
        Logging::Log(Logging::Warning, L"Add-in timer callback called for non-existent timer ID");
        return;
    }
    timer->OnTimerEvent();
}

} // namespace Quenzal::OutlookAddIn

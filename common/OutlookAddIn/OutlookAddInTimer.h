#pragma once
// A named one-shot timer that runs its action on the thread that started it,
// while that thread pumps messages, without a window of its own: the add-in
// uses it to run work a moment after an Outlook event has returned.
//
// Built on window-less thread timers: one process-wide table from timer id to
// timer lets the single timer procedure find the object a WM_TIMER is for.

#include "DateTime.h"
#include "Logging.h"
#include "ModuleLock.h"
#include "StringW.h"

#include <functional>
#include <memory>
#include <optional>

namespace Quenzal::OutlookAddIn {

// The span in whole milliseconds for SetTimer, rounded to the nearest one
// (3 seconds must arm 3000, not 2999) and kept within what SetTimer takes.
UINT SpanToTimerMilliseconds(const DateTimeSpan& span);

class COutlookAddInTimer {
public:
    COutlookAddInTimer(const StringW& name, std::function<void()> action);
    // Stops the timer.
    virtual ~COutlookAddInTimer();
    COutlookAddInTimer(const COutlookAddInTimer&) = delete;
    COutlookAddInTimer& operator=(const COutlookAddInTimer&) = delete;

    // Starts the timer, or restarts a running one: only one firing follows.
    // Raises CWinError when the system gives no timer.
    virtual void Start(const DateTimeSpan& span);
    // Nothing happens when the timer is not running.
    virtual void Stop();
    virtual StringW GetName() const;
    // False again from the moment the timer fires, so its action may start it anew.
    virtual bool IsRunning() const;
    // Runs the action; nothing it raises leaves this call.
    virtual void OnTimerEvent();

private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);

    StringW m_name;
    // Shared with a run of the action, so that an action that destroys its
    // own timer does not destroy itself while it runs.
    std::shared_ptr<const std::function<void()>> m_action;
    Logging::Severity m_severity = Logging::Debug;
    UINT_PTR m_timerId = 0;
    // The timer procedure is the module's code: held while the timer runs.
    std::optional<Os::CModuleLock> m_runningLock;
    DateTime m_startMoment;
};

} // namespace Quenzal::OutlookAddIn

#include "OutlookAddInTimer.h"

#include "AddInTestSupport.h"
#include "ErrorReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

using namespace Quenzal;
using Quenzal::OutlookAddIn::COutlookAddInTimer;
using Quenzal::OutlookAddIn::SpanToTimerMilliseconds;

namespace {

const DateTimeSpan TenMilliseconds(0, 0, 0, 0, 10);

// Dispatches this thread's messages for the time given.
void PumpFor(DWORD milliseconds)
{
    DWORD start = ::GetTickCount();
    QzlTest::PumpUntil([&] { return ::GetTickCount() - start >= milliseconds; });
}

} // namespace

TEST(OutlookAddInTimer, SpansBecomeRoundedMilliseconds)
{
    EXPECT_EQ(SpanToTimerMilliseconds(DateTimeSpan(0, 0, 0, 3, 0)), 3000u);
    EXPECT_EQ(SpanToTimerMilliseconds(DateTimeSpan(0, 0, 15, 0, 0)), 900000u);
    EXPECT_EQ(SpanToTimerMilliseconds(-TenMilliseconds), 0u);
    EXPECT_EQ(SpanToTimerMilliseconds(DateTimeSpan(100, 0, 0, 0, 0)), static_cast<UINT>(USER_TIMER_MAXIMUM));
    int wrong = 0;
    for (int milliseconds = 1; milliseconds <= 200000; ++milliseconds)
        wrong += SpanToTimerMilliseconds(DateTimeSpan(0, 0, 0, 0, milliseconds)) != static_cast<UINT>(milliseconds);
    EXPECT_EQ(wrong, 0);
}

// Started on a thread of its own, the timer fires once, there, while that
// thread pumps; it is idle while its action runs.
TEST(OutlookAddInTimer, FiresOnceOnTheThreadThatStartedIt)
{
    QzlTest::CLogCapture log;
    DWORD startedOn = 0, firedOn = 0;
    int firings = 0;
    bool runningInAction = true;
    std::thread worker([&] {
        COutlookAddInTimer timer(L"Probe", [&] {
            ++firings;
            firedOn = ::GetCurrentThreadId();
            runningInAction = timer.IsRunning();
        });
        startedOn = ::GetCurrentThreadId();
        timer.Start(TenMilliseconds);
        EXPECT_TRUE(timer.IsRunning());
        EXPECT_EQ(timer.GetName(), L"Probe");
        EXPECT_TRUE(QzlTest::PumpUntil([&] { return firings == 1; }));
        PumpFor(100);
    });
    worker.join();
    EXPECT_EQ(firings, 1);
    EXPECT_EQ(firedOn, startedOn);
    EXPECT_FALSE(runningInAction);
    EXPECT_TRUE(log.Contains("Started timer 'Probe' for 10ms"));
    EXPECT_TRUE(log.Contains("Timer 'Probe' fired after "));
}

TEST(OutlookAddInTimer, RestartStopAndReArm)
{
    int firings = 0;
    COutlookAddInTimer timer(L"Restarted", [&] { ++firings; });
    timer.Stop();
    timer.Start(DateTimeSpan(0, 0, 0, 0, 50));
    timer.Start(TenMilliseconds);
    ASSERT_TRUE(QzlTest::PumpUntil([&] { return firings == 1; }));
    PumpFor(150);
    EXPECT_EQ(firings, 1);

    timer.Start(TenMilliseconds);
    timer.Stop();
    EXPECT_FALSE(timer.IsRunning());
    auto destroyed = std::make_unique<COutlookAddInTimer>(L"Destroyed", [&] { ++firings; });
    destroyed->Start(TenMilliseconds);
    destroyed.reset();
    PumpFor(100);
    EXPECT_EQ(firings, 1);

    // An action may start its own timer again.
    int rearmed = 0;
    std::unique_ptr<COutlookAddInTimer> twice;
    twice = std::make_unique<COutlookAddInTimer>(L"Twice", [&] {
        if (++rearmed == 1)
            twice->Start(TenMilliseconds);
    });
    twice->Start(TenMilliseconds);
    ASSERT_TRUE(QzlTest::PumpUntil([&] { return rearmed == 2; }));
    EXPECT_FALSE(twice->IsRunning());
}

TEST(OutlookAddInTimer, AStaleTimerMessageRunsNothing)
{
    int firings = 0;
    COutlookAddInTimer timer(L"Stale", [&] { ++firings; });
    timer.Start(TenMilliseconds);
    MSG message{};
    // Only the timer's message is taken from the queue, so nothing dispatches it meanwhile.
    bool queued = false;
    for (int i = 0; i < 5000 && !queued; ++i) {
        queued = ::PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE);
        ::Sleep(queued ? 0 : 1);
    }
    ASSERT_TRUE(queued);
    timer.Stop();
    QzlTest::CLogCapture log;
    ::DispatchMessageW(&message);
    EXPECT_EQ(firings, 0);
    EXPECT_TRUE(log.Contains("Add-in timer callback called for non-existent timer ID"));
}

TEST(OutlookAddInTimer, WhatAnActionRaisesStaysInTheTimer)
{
    QzlTest::CLogCapture log;
    std::vector<std::unique_ptr<COutlookAddInTimer>> timers;
    timers.push_back(std::make_unique<COutlookAddInTimer>(L"Standard", [] { throw std::runtime_error("boom"); }));
    timers.push_back(std::make_unique<COutlookAddInTimer>(L"Own", [] { throw CException(L"own failure"); }));
    timers.push_back(std::make_unique<COutlookAddInTimer>(L"Unknown", [] { throw 7; }));
    timers.push_back(std::make_unique<COutlookAddInTimer>(L"Empty", std::function<void()>()));
    for (auto& timer : timers)
        timer->Start(TenMilliseconds);
    ASSERT_TRUE(QzlTest::PumpUntil([&] {
        return std::none_of(timers.begin(), timers.end(), [](auto& timer) { return timer->IsRunning(); });
    }));
    std::string text = log.Text();
    EXPECT_EQ(QzlTest::CountOf(text, "Timer '"), 4u);
    EXPECT_TRUE(log.Contains("Caught unexpected exception in COutlookAddInTimer::OnTimerEvent (std::runtime_error): boom"));
    EXPECT_TRUE(log.Contains("Caught exception at OutlookAddInTimer.cpp, "
                             "Quenzal::OutlookAddIn::COutlookAddInTimer::OnTimerEvent, line "));
    EXPECT_TRUE(log.Contains("own failure"));
    EXPECT_TRUE(log.Contains("Caught unexpected exception in COutlookAddInTimer::OnTimerEvent (Unknown source)"));
    EXPECT_TRUE(log.Contains("Caught unexpected exception in COutlookAddInTimer::OnTimerEvent (std::bad_function_call)"));
}

// A wait of an hour or more is logged as the moment it ends.
TEST(OutlookAddInTimer, ALongWaitIsLoggedAsItsEnd)
{
    QzlTest::CLogCapture log;
    COutlookAddInTimer timer(L"Later", [] {});
    DateTimeSpan twoHours(0, 2, 0, 0, 0);
    StringW before = (DateTime::Now() + twoHours).ToString(true);
    timer.Start(twoHours);
    StringW after = (DateTime::Now() + twoHours).ToString(true);
    timer.Stop();
    EXPECT_TRUE(log.Contains("Started timer 'Later' for " + before.ToUtf8()) ||
                log.Contains("Started timer 'Later' for " + after.ToUtf8()));
}

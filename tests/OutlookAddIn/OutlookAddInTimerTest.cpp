#include "OutlookAddInTimer.h"

#include "AddInTestSupport.h"

#include <memory>
#include <stdexcept>
#include <thread>

using namespace Quenzal;
using Quenzal::OutlookAddIn::COutlookAddInTimer;

namespace {

const DateTimeSpan TenMilliseconds(0, 0, 0, 0, 10);

// Dispatches this thread's messages for a while.
void PumpFor(DWORD milliseconds)
{
    DWORD start = ::GetTickCount();
    QzlTest::PumpUntil([&] { return ::GetTickCount() - start >= milliseconds; });
}

} // namespace

TEST(OutlookAddInTimer, SpansBecomeRoundedMilliseconds)
{
    int wrong = 0;
    for (int milliseconds = 1; milliseconds <= 200000; ++milliseconds)
        wrong += OutlookAddIn::SpanToTimerMilliseconds(DateTimeSpan(0, 0, 0, 0, milliseconds)) != UINT(milliseconds);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(OutlookAddIn::SpanToTimerMilliseconds(-TenMilliseconds), 0u);
}

// Once per start, on the thread that started it (idle while its action
// runs, so the action can re-arm it); a restart replaces the running timer,
// and a stopped or destroyed timer never fires.
TEST(OutlookAddInTimer, FiresOnceOnTheStartingThread)
{
    QzlTest::CLogCapture log;
    std::vector<DWORD> firedOn;
    DWORD startedOn = 0;
    std::thread([&] {
        startedOn = ::GetCurrentThreadId();
        std::unique_ptr<COutlookAddInTimer> timer;
        timer = std::make_unique<COutlookAddInTimer>(L"Probe", [&] {
            firedOn.push_back(timer->IsRunning() ? 0 : ::GetCurrentThreadId());
            if (firedOn.size() == 1)
                timer->Start(TenMilliseconds);
        });
        timer->Start(DateTimeSpan(0, 0, 0, 0, 50));
        timer->Start(TenMilliseconds);
        COutlookAddInTimer stopped(L"Stopped", [&] { firedOn.push_back(1); });
        auto destroyed = std::make_unique<COutlookAddInTimer>(L"Destroyed", [&] { firedOn.push_back(2); });
        stopped.Start(TenMilliseconds);
        destroyed->Start(TenMilliseconds);
        stopped.Stop();
        destroyed.reset();
        QzlTest::PumpUntil([&] { return firedOn.size() >= 2; });
        PumpFor(300);
    }).join();
    EXPECT_EQ(firedOn, (std::vector<DWORD>{startedOn, startedOn}));
    EXPECT_TRUE(log.Contains("Started timer 'Probe' for 10ms"));
    EXPECT_EQ(QzlTest::CountOf(log.Text(), "Timer 'Probe' fired after "), 2u);
}

// An action that destroys its own timer keeps what it holds until it returns.
TEST(OutlookAddInTimer, ActionMayDestroyItsOwnTimer)
{
    static std::vector<std::string> events;
    static std::unique_ptr<COutlookAddInTimer> timer;
    struct State {
        ~State() { events.push_back("state destroyed"); }
    };
    timer = std::make_unique<COutlookAddInTimer>(L"Self", [state = std::make_shared<State>()] {
        timer.reset();
        events.push_back("action ended");
    });
    timer->Start(TenMilliseconds);
    ASSERT_TRUE(QzlTest::PumpUntil([] { return !timer; }));
    EXPECT_EQ(events, (std::vector<std::string>{"action ended", "state destroyed"}));
}

TEST(OutlookAddInTimer, StaleMessagesAndFailingActions)
{
    COutlookAddInTimer stale(L"Stale", [] { throw std::runtime_error("stale timer ran"); });
    stale.Start(TenMilliseconds);
    // Only the timer's message is taken, so nothing dispatches it meanwhile.
    MSG message{};
    for (int i = 0; i < 5000 && !::PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE); ++i)
        ::Sleep(1);
    stale.Stop();
    QzlTest::CLogCapture log;
    ::DispatchMessageW(&message);
    EXPECT_TRUE(log.Contains("Add-in timer callback called for non-existent timer ID"));

    COutlookAddInTimer timers[] = {{L"Standard", [] { throw std::runtime_error("boom"); }},
                                   {L"Own", [] { throw CException(L"own failure"); }},
                                   {L"Unknown", [] { throw 7; }},
                                   {L"Empty", nullptr}};
    for (COutlookAddInTimer& timer : timers)
        timer.Start(TenMilliseconds);
    ASSERT_TRUE(QzlTest::PumpUntil([&] {
        return std::none_of(std::begin(timers), std::end(timers), [](auto& timer) { return timer.IsRunning(); });
    }));
    for (const char* line : {"(std::runtime_error): boom", "(Unknown source)", "(std::bad_function_call): "})
        EXPECT_TRUE(log.Contains(std::string("Caught unexpected exception in COutlookAddInTimer::OnTimerEvent ") + line));
    EXPECT_TRUE(log.Contains("Caught exception at OutlookAddInTimer.cpp, "
                             "Quenzal::OutlookAddIn::COutlookAddInTimer::OnTimerEvent, line "));
    EXPECT_FALSE(log.Contains("stale timer ran"));
}

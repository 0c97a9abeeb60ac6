#include "DateTimeSpan.h"
#include "Exception.h"
#include "Os.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;

namespace {

const DateTimeSpan NoTimeout;
const DateTimeSpan TenMilliseconds(0, 0, 0, 0, 10);
const DateTimeSpan OneSecond(0, 0, 0, 1, 0);
const DateTimeSpan MinusOneSecond = -OneSecond;
const char AbandonedWarning[] =
    "WARNING: Wait call returned WAIT_ABANDONED; previous owner of waitable object abandoned it\r\n";

std::vector<CHandle> MakeEvents(size_t count)
{
    std::vector<CHandle> events;
    for (size_t i = 0; i < count; ++i)
        events.push_back(CreateManualResetEvent());
    return events;
}

std::vector<HANDLE> Raw(const std::vector<CHandle>& handles)
{
    std::vector<HANDLE> raw;
    for (const CHandle& h : handles)
        raw.push_back(h.Get());
    return raw;
}

// A mutex whose owner thread ended without releasing it.
CHandle AbandonedMutex()
{
    CHandle mutex(::CreateMutexW(nullptr, FALSE, nullptr));
    std::thread owner([&] { ::WaitForSingleObject(mutex.Get(), INFINITE); });
    owner.join();
    return mutex;
}

template <class F>
void ExpectNegativeSpanError(F wait)
{
    try {
        wait();
        ADD_FAILURE() << "no exception";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), L"DateTimeSpan cannot be converted to wait timeout: " + MinusOneSecond.ToString());
    }
}

} // namespace

TEST(Wait, ManualResetEventStaysSignaled)
{
    CHandle event = CreateManualResetEvent();
    ASSERT_TRUE(event);
    EXPECT_FALSE(IsObjectSignaled(event.Get()));
    ASSERT_TRUE(::SetEvent(event.Get()));
    EXPECT_TRUE(IsObjectSignaled(event.Get()));
    EXPECT_TRUE(IsObjectSignaled(event.Get()));
    EXPECT_TRUE(WaitForObject(event.Get(), TenMilliseconds));
    EXPECT_TRUE(WaitForObject(event.Get(), NoTimeout));
    ASSERT_TRUE(::ResetEvent(event.Get()));
    EXPECT_FALSE(IsObjectSignaled(event.Get()));
}

TEST(Wait, SingleObjectTimesOutOrWaitsWithoutLimit)
{
    CHandle event = CreateManualResetEvent();
    EXPECT_FALSE(WaitForObject(event.Get(), TenMilliseconds));
    std::thread setter([&] {
        ::Sleep(50);
        ::SetEvent(event.Get());
    });
    EXPECT_TRUE(WaitForObject(event.Get(), NoTimeout));
    setter.join();
}

TEST(Wait, NegativeSpanThrowsBeforeAnyWait)
{
    CHandle event = CreateManualResetEvent();
    ::SetEvent(event.Get());
    HANDLE raw = event.Get();
    ExpectNegativeSpanError([&] { WaitForObject(raw, MinusOneSecond); });
    ExpectNegativeSpanError([&] { WaitForAnyObject(&raw, 1, MinusOneSecond); });
    ExpectNegativeSpanError([&] { WaitForAllObjects(&raw, 1, MinusOneSecond); });
}

TEST(Wait, AnyObjectGivesTheIndexOrTheTimeOut)
{
    std::vector<CHandle> events = MakeEvents(2);
    std::vector<HANDLE> raw = Raw(events);
    EXPECT_EQ(WaitForAnyObject(raw.data(), raw.size(), TenMilliseconds), static_cast<DWORD>(WAIT_TIMEOUT));
    ::SetEvent(events[1].Get());
    EXPECT_EQ(WaitForAnyObject(raw.data(), raw.size(), TenMilliseconds), 1u);
    EXPECT_EQ(WaitForAnyObject(raw.data(), raw.size(), NoTimeout), 1u);
    ::SetEvent(events[0].Get());
    EXPECT_EQ(WaitForAnyObject(raw.data(), raw.size(), NoTimeout), 0u);

    std::vector<CHandle> many = MakeEvents(MaximumWaitObjects);
    std::vector<HANDLE> manyRaw = Raw(many);
    ::SetEvent(many[63].Get());
    EXPECT_EQ(WaitForAnyObject(manyRaw.data(), manyRaw.size(), OneSecond), 63u);
}

TEST(Wait, AllObjects)
{
    EXPECT_TRUE(WaitForAllObjects(nullptr, 0, MinusOneSecond));
    std::vector<CHandle> events = MakeEvents(3);
    std::vector<HANDLE> raw = Raw(events);
    ::SetEvent(events[0].Get());
    ::SetEvent(events[2].Get());
    EXPECT_FALSE(WaitForAllObjects(raw.data(), raw.size(), TenMilliseconds));
    ::SetEvent(events[1].Get());
    EXPECT_TRUE(WaitForAllObjects(raw.data(), raw.size(), TenMilliseconds));
    EXPECT_TRUE(WaitForAllObjects(raw.data(), raw.size(), NoTimeout));
}

TEST(Wait, MoreThanSixtyFourObjectsAreWaitedForInChunks)
{
    for (size_t count : {size_t(65), size_t(128), size_t(130)}) {
        std::vector<CHandle> events = MakeEvents(count);
        std::vector<HANDLE> raw = Raw(events);
        for (size_t i = 0; i + 1 < count; ++i)
            ::SetEvent(events[i].Get());
        // The last chunk's only (or last) event comes late.
        std::thread setter([&] {
            ::Sleep(30);
            ::SetEvent(events.back().Get());
        });
        EXPECT_TRUE(WaitForAllObjects(raw.data(), raw.size(), NoTimeout)) << count;
        setter.join();
        for (size_t i = 0; i < count; ++i)
            EXPECT_TRUE(IsObjectSignaled(events[i].Get())) << i;
    }
}

TEST(Wait, AbandonedMutexCountsAsSignaledWithAWarning)
{
    CLogCapture log;
    CHandle single = AbandonedMutex();
    EXPECT_TRUE(WaitForObject(single.Get(), OneSecond));
    EXPECT_TRUE(log.Contains(AbandonedWarning)) << log.Text();

    CHandle first = AbandonedMutex();
    CHandle event = CreateManualResetEvent();
    HANDLE any[] = {first.Get(), event.Get()};
    EXPECT_EQ(WaitForAnyObject(any, 2, OneSecond), static_cast<DWORD>(WAIT_ABANDONED_0));

    CHandle all = AbandonedMutex();
    ::SetEvent(event.Get());
    HANDLE both[] = {all.Get(), event.Get()};
    EXPECT_TRUE(WaitForAllObjects(both, 2, OneSecond));

    CHandle probed = AbandonedMutex();
    EXPECT_TRUE(IsObjectSignaled(probed.Get()));

    std::string text = log.Text();
    size_t warnings = 0;
    for (size_t p = text.find(AbandonedWarning); p != std::string::npos; p = text.find(AbandonedWarning, p + 1))
        ++warnings;
    EXPECT_EQ(warnings, 4u) << text;
}

QZL_CHILD_CASE(WaitAllTooManyWithTimeout)
{
    std::vector<CHandle> events = MakeEvents(65);
    for (const CHandle& e : events)
        ::SetEvent(e.Get());
    std::vector<HANDLE> raw = Raw(events);
    WaitForAllObjects(raw.data(), raw.size(), OneSecond);
    return 0;
}

QZL_CHILD_CASE(WaitAnyTooMany)
{
    std::vector<CHandle> events = MakeEvents(65);
    for (const CHandle& e : events)
        ::SetEvent(e.Get());
    std::vector<HANDLE> raw = Raw(events);
    WaitForAnyObject(raw.data(), raw.size(), NoTimeout);
    return 0;
}

QZL_CHILD_CASE(WaitOnAClosedHandle)
{
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::CloseHandle(event);
    WaitForObject(event, OneSecond);
    return 0;
}

QZL_CHILD_CASE(WaitAbandonedAtSecondIndex)
{
    CHandle event = CreateManualResetEvent();
    CHandle mutex = AbandonedMutex();
    HANDLE objects[] = {event.Get(), mutex.Get()};
    WaitForAnyObject(objects, 2, OneSecond);
    return 0;
}

namespace {

void ExpectExit(const char* childCase, DWORD code, const char* function, const std::string& more = "")
{
    QzlTest::ChildResult child = QzlTest::RunChildCase(childCase);
    EXPECT_EQ(child.exitCode, code) << child.output;
    std::regex exiting(std::string(R"(ERROR: Exiting process at Wait\.cpp, )") + function + R"(, line \d+: )");
    EXPECT_TRUE(std::regex_search(child.output, exiting)) << child.output;
    EXPECT_NE(child.output.find(": " + GetErrorText(code).ToUtf8() + "\r\n"), std::string::npos) << child.output;
    if (!more.empty()) {
        EXPECT_NE(child.output.find(more), std::string::npos) << child.output;
    }
}

} // namespace

TEST(Wait, MoreThanSixtyFourWithATimeOutEndsTheProcess)
{
    ExpectExit("WaitAllTooManyWithTimeout", ERROR_INVALID_PARAMETER, "Quenzal::Os::WaitForAllObjects",
               "ERROR: Waitable object count (65) exceeds limit (64)\r\n");
}

TEST(Wait, MoreThanSixtyFourForAnyEndsTheProcessWhateverTheTimeOut)
{
    ExpectExit("WaitAnyTooMany", ERROR_INVALID_PARAMETER, "Quenzal::Os::WaitForAnyObject",
               "ERROR: Waitable object count (65) exceeds limit (64)\r\n");
}

TEST(Wait, AFailedWaitEndsTheProcessWithTheError)
{
    ExpectExit("WaitOnAClosedHandle", ERROR_INVALID_HANDLE, "Quenzal::Os::WaitForObject");
}

TEST(Wait, OnlyTheFirstIndexCountsAsAbandoned)
{
    QzlTest::ChildResult child = QzlTest::RunChildCase("WaitAbandonedAtSecondIndex");
    EXPECT_EQ(child.exitCode, static_cast<DWORD>(WAIT_ABANDONED_0 + 1)) << child.output;
    EXPECT_NE(child.output.find("ERROR: Exiting process at Wait.cpp, Quenzal::Os::WaitForAnyObject, line "),
              std::string::npos)
        << child.output;
}

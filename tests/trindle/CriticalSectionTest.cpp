#include "CriticalSection.h"
#include "ErrorReport.h"
#include "FatalExit.h"
#include "SmartPointer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Os;

TEST(CriticalSection, ExcludesOtherThreadsAndIsReentrant)
{
    CCriticalSection section;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                CCriticalSectionLock outer(section);
                CCriticalSectionLock inner(section);
                long v = counter;
                counter = v + 1;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 80000);
}

TEST(CriticalSection, UnlockReleasesOnce)
{
    CCriticalSection section;
    {
        CCriticalSectionLock lock(section);
        lock.Unlock();
        lock.Unlock();
    }
    // A second release would leave the recursion count negative and the
    // section unusable from another thread.
    bool taken = false;
    std::thread([&] {
        taken = TryEnterCriticalSection(section.Get()) != FALSE;
        if (taken)
            LeaveCriticalSection(section.Get());
    }).join();
    EXPECT_TRUE(taken);
}

TEST(HandleHolder, ClosesOnlyRealHandlesOnce)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        CHandle holder(event);
        holder.Reset(event);  // same handle: must stay open
        DWORD flags = 0;
        EXPECT_TRUE(GetHandleInformation(event, &flags));
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(event, &flags));

    CHandle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid.IsValid());
    invalid.Close();
    EXPECT_EQ(invalid.Get(), nullptr);

    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CHandle holder(a);
    holder.Reset(b);
    EXPECT_FALSE(GetHandleInformation(a, &flags));
    EXPECT_TRUE(GetHandleInformation(b, &flags));
    CHandle moved(std::move(holder));
    EXPECT_EQ(holder.Get(), nullptr);
    EXPECT_EQ(moved.Get(), b);
}

TEST(HandleHolder, CloseKeepsTheCallersLastError)
{
    CHandle holder(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SetLastError(1234);
    holder.Close();
    EXPECT_EQ(GetLastError(), 1234u);
}

QZL_CHILD_CASE(fatal_unknown)
{
    QZL_FATAL_EXIT(0xFFFFFFFF, L"QzlTest::FatalUnknown");
}

QZL_CHILD_CASE(fatal_access_denied)
{
    QZL_FATAL_EXIT(5, L"QzlTest::FatalDenied");
}

TEST(FatalExit, UnknownReasonIsLoggedAndTheCodeIsTheExitCode)
{
    QzlTest::ChildResult r = QzlTest::RunChildCase("fatal_unknown");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    EXPECT_NE(r.output.find("ERROR: Exiting process at CriticalSectionTest.cpp, QzlTest::FatalUnknown, line "),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find(": Unknown reason\r\n"), std::string::npos) << r.output;
}

TEST(FatalExit, ReasonIsTheErrorText)
{
    QzlTest::ChildResult r = QzlTest::RunChildCase("fatal_access_denied");
    EXPECT_EQ(r.exitCode, 5u);
    EXPECT_NE(r.output.find(": " + GetErrorText(5).ToUtf8() + "\r\n"), std::string::npos) << r.output;
}

// Crashes by the exception QZL_TEST_EXCEPTION names, with Wine's stub
// arguments (module, function), as the ways Wine reports crashes differ.
QZL_CHILD_CASE(unhandled_exception)
{
    char code[16] = "0xC0000005";
    ::GetEnvironmentVariableA("QZL_TEST_EXCEPTION", code, sizeof(code));
    const ULONG_PTR stub[] = {reinterpret_cast<ULONG_PTR>("qzl.dll"), reinterpret_cast<ULONG_PTR>("Nothing")};
    ::RaiseException(strtoul(code, nullptr, 0), EXCEPTION_NONCONTINUABLE, 2, stub);
    return 0;
}

// A child's crash is no failure of its parent, and ends the child with the code.
TEST(FatalExit, UnhandledExceptionEndsTheProcessWithItsCode)
{
    for (const char* code : {"0xC0000005", "0xC0000194", "0xC0000409"}) {
        ::SetEnvironmentVariableA("QZL_TEST_EXCEPTION", code);
        EXPECT_EQ(strtoul(code, nullptr, 0), QzlTest::RunChildCase("unhandled_exception").exitCode) << code;
    }
    ::SetEnvironmentVariableA("QZL_TEST_EXCEPTION", nullptr);
}

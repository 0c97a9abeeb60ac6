#include "AsyncMarshaler.h"

#include "AddInTestSupport.h"

#include "ErrorReport.h"
#include "Exception.h"
#include "Os.h"
#include "TestSupport.h"
#include "ThreadPoolWork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <vector>

using Quenzal::CException;
using Quenzal::CWinError;
using Quenzal::OutlookAddIn::CAsyncMarshaler;

namespace {

// Invokes the message from pool threads, count times in all.
void InvokeFromPool(const CAsyncMarshaler& marshaler, UINT message, int count)
{
    for (int i = 0; i < count; ++i) {
        auto work = std::make_shared<Quenzal::Os::CThreadPoolWork>();
        work->SetWorkFunction([&marshaler, message] { marshaler.InvokeCallback(message); });
        Quenzal::Os::QueueThreadPoolWork(work);
    }
}

// A modal dialog (the loop of a message box or of Outlook's own dialogs) that
// runs start once it exists; answers what EndDialog was given, 0 when it gave
// up after a minute.
INT_PTR RunModalDialog(std::function<void(HWND)> start)
{
    struct {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title;
    } empty = {{WS_POPUP | WS_CAPTION, 0, 0, 0, 0, 100, 50}, 0, 0, 0};
    DLGPROC procedure = [](HWND dialog, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            (*reinterpret_cast<std::function<void(HWND)>*>(lParam))(dialog);
            ::SetTimer(dialog, 1, 60000, nullptr);
            return TRUE;
        }
        if (message == WM_TIMER)
            ::EndDialog(dialog, 0);
        return FALSE;
    };
    return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), &empty.dialog, nullptr, procedure,
                                     reinterpret_cast<LPARAM>(&start));
}

} // namespace

TEST(AsyncMarshalerTest, CallbacksPostedFromPoolThreadsRunOnTheUserInterfaceThread)
{
    std::vector<DWORD> threads;
    std::vector<int64_t> arguments;
    UINT message = CAsyncMarshaler::RegisterCallback([&](int64_t argument) {
        threads.push_back(::GetCurrentThreadId());
        arguments.push_back(argument);
    });
    EXPECT_NE(message, CAsyncMarshaler::RegisterCallback([](int64_t) {}));
    EXPECT_GE(message, 0xC000u);
    CAsyncMarshaler marshaler;
    marshaler.Initialize();

    InvokeFromPool(marshaler, message, 3);
    ASSERT_TRUE(QzlTest::PumpUntil([&] { return threads.size() == 3; }));
    EXPECT_EQ(std::vector<DWORD>(3, ::GetCurrentThreadId()), threads);
    EXPECT_EQ(std::vector<int64_t>(3, 0), arguments);

    // Also while the thread is inside a modal loop that is not ours.
    threads.clear();
    HWND dialog = nullptr;
    UINT ending = CAsyncMarshaler::RegisterCallback([&](int64_t) {
        threads.push_back(::GetCurrentThreadId());
        if (threads.size() == 4)
            ::EndDialog(dialog, 1);
    });
    INT_PTR ended = RunModalDialog([&](HWND created) {
        dialog = created;
        InvokeFromPool(marshaler, ending, 4);
    });
    EXPECT_EQ(1, ended) << "the callbacks did not run inside the modal loop";
    EXPECT_EQ(std::vector<DWORD>(4, ::GetCurrentThreadId()), threads);
}

// A post that nobody would receive is an error to the poster, never a lost message.
TEST(AsyncMarshalerTest, PostWithoutWindowIsAnError)
{
    int runs = 0;
    UINT message = CAsyncMarshaler::RegisterCallback([&runs](int64_t) { runs++; });
    CAsyncMarshaler marshaler;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE),
              QzlTest::Raised<CWinError>([&] { marshaler.InvokeCallback(message); }).GetErrorCode());
    // Also from a worker, which PostMessageW would otherwise answer with success.
    std::atomic<DWORD> workerError{0};
    auto work = std::make_shared<Quenzal::Os::CThreadPoolWork>();
    work->SetWorkFunction([&] {
        try {
            marshaler.InvokeCallback(message);
        } catch (const CWinError& e) {
            workerError = e.GetErrorCode();
        }
    });
    Quenzal::Os::QueueThreadPoolWork(work);
    Quenzal::Os::WaitForObject(work->GetCompletionEvent(), Quenzal::DateTimeSpan());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), workerError.load());

    // And once the window is gone.
    marshaler.Initialize();
    ::DestroyWindow(marshaler.GetWindow());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE),
              QzlTest::Raised<CWinError>([&] { marshaler.InvokeCallback(message); }).GetErrorCode());
    QzlTest::PumpUntil([] { return true; });
    EXPECT_EQ(0, runs);
}

// Whatever a callback throws stays in the window procedure; the table and
// its lock stay usable.
TEST(AsyncMarshalerTest, ThrowingCallbackLeavesTheMarshalerUsable)
{
    QzlTest::CLogCapture log;
    int runs = 0;
    std::vector<UINT> messages = {
        CAsyncMarshaler::RegisterCallback([](int64_t) { throw CException(L"callback failed"); }),
        CAsyncMarshaler::RegisterCallback([](int64_t) { throw std::logic_error("logic"); }),
        CAsyncMarshaler::RegisterCallback([](int64_t) { throw 42; }),
        CAsyncMarshaler::RegisterCallback(nullptr),
        CAsyncMarshaler::RegisterCallback([&runs](int64_t) { runs++; }),
    };
    CAsyncMarshaler marshaler;
    marshaler.Initialize();
    for (UINT message : messages)
        marshaler.InvokeCallback(message);
    ASSERT_TRUE(QzlTest::PumpUntil([&runs] { return runs == 1; }));
    EXPECT_EQ(4u, QzlTest::CountOf(log.Text(), "Caught exception at AsyncMarshaler.cpp, "
                                               "Quenzal::OutlookAddIn::CAsyncMarshaler::WndProc"));
    EXPECT_TRUE(log.Contains("callback failed"));
    EXPECT_TRUE(log.Contains("std::logic_error: logic"));
}

// The window class outlives a marshaler whose window is still there; a
// marshaler made after the others are gone registers it anew. Its window is
// made and destroyed in the module's activation context (the test program's
// manifest), as the add-in's other windows are.
TEST(AsyncMarshalerTest, MarshalersComeAndGoInOneProcess)
{
    static std::vector<HANDLE> contexts;
    HOOKPROC record = [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
        HANDLE context = nullptr;
        if ((code == HCBT_CREATEWND || code == HCBT_DESTROYWND) && ::GetCurrentActCtx(&context)) {
            contexts.push_back(context);
            ::ReleaseActCtx(context);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    };
    record(HCBT_CREATEWND, 0, 0); // the thread's own context, outside the marshaler
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, record, nullptr, ::GetCurrentThreadId());
    {
        CAsyncMarshaler marshaler;
        marshaler.Initialize();
    }
    ::UnhookWindowsHookEx(hook);
    ASSERT_EQ(3u, contexts.size());
    EXPECT_NE(contexts[0], contexts[1]);
    EXPECT_NE(contexts[0], contexts[2]);

    QzlTest::CLogCapture log;
    int runs = 0;
    UINT message = CAsyncMarshaler::RegisterCallback([&runs](int64_t) { runs++; });
    {
        CAsyncMarshaler first;
        first.Initialize();
        EXPECT_STREQ("Already initialized", QzlTest::Raised([&] { first.Initialize(); }).what());
        CAsyncMarshaler second;
        second.Initialize(); // class exists: 1410, logged and passed over
        EXPECT_TRUE(log.Contains("Caught exception"));
        second.InvokeCallback(message);
        ASSERT_TRUE(QzlTest::PumpUntil([&runs] { return runs == 1; }));
    }
    CAsyncMarshaler third;
    third.Initialize();
    third.InvokeCallback(message);
    ASSERT_TRUE(QzlTest::PumpUntil([&runs] { return runs == 2; }));
}

// An unregistered callback stops, also for invocations already posted, and
// its number serves the next registration: callbacks that come and go never
// use up the session's window messages.
TEST(AsyncMarshalerTest, UnregisteredNumbersServeAgain)
{
    int runs = 0;
    std::set<UINT> numbers;
    CAsyncMarshaler marshaler;
    marshaler.Initialize();
    for (int i = 0; i < 200; ++i) {
        UINT message = CAsyncMarshaler::RegisterCallback([&runs](int64_t) { runs++; });
        numbers.insert(message);
        marshaler.InvokeCallback(message);
        marshaler.UnregisterCallback(message);
    }
    UINT last = CAsyncMarshaler::RegisterCallback([&runs](int64_t) { runs += 1000; });
    marshaler.InvokeCallback(last);
    ASSERT_TRUE(QzlTest::PumpUntil([&runs] { return runs != 0; }));
    EXPECT_EQ(1000, runs);
    EXPECT_EQ(numbers, std::set<UINT>{last});
    marshaler.UnregisterCallback(last);
}

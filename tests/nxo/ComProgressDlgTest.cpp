// The shell's progress dialog in a real window (the tests run under Xvfb),
// and the wait that keeps the UI thread pumping.

#include "ComProgressDlg.h"
#include "Os.h"
#include "TestSupport.h"
#include "ThreadPoolWork.h"
#include "Ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using namespace Quenzal;

namespace {

struct CComApartment {
    CComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~CComApartment() { ::CoUninitialize(); }
};

// Work that runs for the given time, or until it is canceled.
std::shared_ptr<Os::CCancelableThreadPoolWork> MakeWork(DWORD milliseconds)
{
    auto work = std::make_shared<Os::CCancelableThreadPoolWork>();
    auto stop = std::make_shared<Os::CHandle>(Os::CreateManualResetEvent());
    work->SetCancelCallback([stop] { ::SetEvent(stop->Get()); });
    work->SetWorkFunction([stop, milliseconds] { ::WaitForSingleObject(stop->Get(), milliseconds); });
    return work;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM collected)
{
    wchar_t text[256] = {};
    wchar_t kind[64] = {};
    ::GetWindowTextW(child, text, 256);
    ::GetClassNameW(child, kind, 64);
    auto* children = reinterpret_cast<std::vector<std::pair<HWND, std::wstring>>*>(collected);
    children->emplace_back(child, std::wstring(kind) + L":" + text);
    return TRUE;
}

std::vector<std::pair<HWND, std::wstring>> Children(HWND window)
{
    std::vector<std::pair<HWND, std::wstring>> children;
    ::EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// Waits (pumping) until a child's text contains the part.
bool ShowsText(HWND window, const std::wstring& part)
{
    for (int i = 0; i < 200; ++i) {
        for (const auto& child : Children(window))
            if (child.second.find(part) != std::wstring::npos)
                return true;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 25, QS_ALLINPUT, 0);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&message);
    }
    return false;
}

} // namespace

TEST(ProgressDialog, ShownModalWithItsLinesAndShownAgainAfterClose)
{
    CComApartment apartment;
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    {
        CComProgressDlg dialog(L"Quenzal Inbox Rampart", 322, 10);
        dialog.SetLine1(L"not shown yet");
        EXPECT_EQ(dialog.FormatProgressText(), L"Uploading attachments (1... of 10)");
        EXPECT_FALSE(dialog.IsCancelled());
        dialog.Close(); // before Show: nothing

        dialog.Show(owner);
        ASSERT_NE(dialog.GetDialog(), nullptr);
        HWND window = Ui::GetWindowHandleFromOleWindow(dialog.GetDialog());
        EXPECT_FALSE(::IsWindowEnabled(owner)) << "modal to its owner";
        EXPECT_TRUE(ShowsText(window, L"Uploading attachments (1... of 10)"));
        dialog.SetLine2(L"report.pdf");
        dialog.StepProgress(2, KeepProgressTotal);
        EXPECT_TRUE(ShowsText(window, L"Uploading attachments (3... of 10)"));
        EXPECT_TRUE(ShowsText(window, L"report.pdf"));
        dialog.StepProgress(10, KeepProgressTotal);
        EXPECT_EQ(dialog.FormatProgressText(), L"Uploading attachments (10... of 10)");

        dialog.Close();
        EXPECT_EQ(dialog.GetDialog(), nullptr);
        EXPECT_FALSE(::IsWindow(window));
        EXPECT_TRUE(::IsWindowEnabled(owner));
        dialog.Close();

        // Shown again: a new shell dialog with the lines kept.
        dialog.Show(nullptr);
        window = Ui::GetWindowHandleFromOleWindow(dialog.GetDialog());
        EXPECT_TRUE(ShowsText(window, L"report.pdf"));
    }
    ::DestroyWindow(owner);
}

TEST(ProgressDialog, JoinWaitsForTheWorkAndNeverForItself)
{
    CComApartment apartment;
    CComProgressDlg dialog(L"Scan", 228, KeepProgressTotal);
    dialog.Show(nullptr);
    auto work = MakeWork(300);
    Os::QueueThreadPoolWork(work);
    JoinUserCancelable(*work, dialog.GetDialog());
    EXPECT_TRUE(Os::IsObjectSignaled(work->GetCompletionEvent()));
    EXPECT_FALSE(work->IsCanceled());
    dialog.Close();
    EXPECT_FALSE(dialog.IsCancelled());

    // Without a dialog the join waits, except on the work's own thread.
    auto inner = std::make_shared<Os::CCancelableThreadPoolWork>();
    std::atomic<bool> returned{false};
    Os::CCancelableThreadPoolWork* self = inner.get();
    inner->SetWorkFunction([self, &returned] {
        JoinUserCancelable(*self, nullptr);
        returned = true;
    });
    Os::QueueThreadPoolWork(inner);
    JoinUserCancelable(*inner, nullptr);
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(Os::IsObjectSignaled(inner->GetCompletionEvent()));
}

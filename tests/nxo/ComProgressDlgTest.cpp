// The shell's progress dialog in a real window (the tests run under Xvfb),
// and the wait that keeps the UI thread pumping. Its Cancel button is
// pressed in NxoApiKvdTest, during an upload.

#include "ComProgressDlg.h"
#include "Os.h"
#include "ThreadPoolWork.h"
#include "Ui.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace Quenzal;

namespace {

struct CComApartment {
    CComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~CComApartment() { ::CoUninitialize(); }
};

// Waits (pumping) until one of the dialog's controls shows the text.
bool Shows(HWND dialog, const wchar_t* text)
{
    for (int i = 0; i < 1200; ++i, ::Sleep(25)) {
        Ui::PumpMessages();
        for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t shown[256] = {};
            ::GetWindowTextW(child, shown, 256);
            if (wcsstr(shown, text) != nullptr)
                return true;
        }
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
        dialog.Close();
        EXPECT_EQ(dialog.FormatProgressText(), L"Uploading attachments (1... of 10)");

        dialog.Show(owner);
        HWND window = Ui::GetWindowHandleFromOleWindow(dialog.GetDialog());
        EXPECT_FALSE(::IsWindowEnabled(owner)) << "modal to its owner";
        EXPECT_TRUE(Shows(window, L"Uploading attachments (1... of 10)"));
        dialog.SetLine2(L"report.pdf");
        dialog.StepProgress(2, KeepProgressTotal);
        EXPECT_TRUE(Shows(window, L"Uploading attachments (3... of 10)"));
        dialog.StepProgress(10, KeepProgressTotal);
        EXPECT_EQ(dialog.FormatProgressText(), L"Uploading attachments (10... of 10)");

        dialog.Close();
        EXPECT_EQ(dialog.GetDialog(), nullptr);
        EXPECT_FALSE(::IsWindow(window));
        EXPECT_TRUE(::IsWindowEnabled(owner)) << "the owner has its input back";
        dialog.Close();

        dialog.Show(nullptr);
        EXPECT_TRUE(Shows(Ui::GetWindowHandleFromOleWindow(dialog.GetDialog()), L"report.pdf"));
        EXPECT_FALSE(dialog.IsCancelled());
    }
    ::DestroyWindow(owner);
}

TEST(ProgressDialog, JoinWaitsForTheWorkAndNeverForItself)
{
    CComApartment apartment;
    CComProgressDlg dialog(L"Scan", 228, KeepProgressTotal);
    dialog.Show(nullptr);
    auto work = std::make_shared<Os::CCancelableThreadPoolWork>();
    work->SetWorkFunction([] { ::Sleep(300); });
    Os::QueueThreadPoolWork(work);
    JoinUserCancelable(*work, dialog.GetDialog());
    EXPECT_TRUE(Os::IsObjectSignaled(work->GetCompletionEvent()));
    EXPECT_FALSE(work->IsCanceled());

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
}

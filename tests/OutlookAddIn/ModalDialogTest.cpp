#include "ModalDialog.h"

#include "Exception.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

constexpr WORD FailingButton = 951;

// Clicks the buttons once it is set up; the failing button throws, and so
// does the set-up when told.
class CTestDialog : public Quenzal::OutlookAddIn::CModalDialog {
public:
    CTestDialog(std::vector<WORD> clicks, bool failSetUp)
        : CModalDialog(950), m_clicks(std::move(clicks)), m_failSetUp(failSetUp)
    {
    }

protected:
    bool OnInitDialog() override
    {
        for (WORD id : m_clicks)
            ::PostMessageW(GetWindowHandle(), WM_COMMAND, id, 0);
        if (m_failSetUp)
            throw Quenzal::CException(L"set-up failed");
        return true;
    }
    bool OnCommand(WORD id, WORD, HWND) override
    {
        if (id == FailingButton)
            throw std::runtime_error("handler failed");
        return false;
    }

private:
    std::vector<WORD> m_clicks;
    bool m_failSetUp;
};

} // namespace

// Cancel and Close end the dialog with their ids; a failing handler is
// reported and ends it as cancelled, so the next click confirms nothing; a
// missing caption icon is passed over; a parent that is gone is a failure.
TEST(ModalDialogTest, EndsOnCancelAndCloseAndContainsFailingHandlers)
{
    struct Case {
        std::vector<WORD> clicks;
        bool failSetUp;
        INT_PTR ended;
        const char* reported;
    } cases[] = {{{IDCANCEL}, false, IDCANCEL, nullptr},
                 {{IDCLOSE}, false, IDCLOSE, nullptr},
                 {{FailingButton, IDCLOSE}, false, IDCANCEL, "handler failed"},
                 {{IDCLOSE}, true, IDCANCEL, "set-up failed"}};
    for (const Case& c : cases) {
        QzlTest::CLogCapture log;
        EXPECT_EQ(c.ended, CTestDialog(c.clicks, c.failSetUp).DoModal(nullptr));
        EXPECT_TRUE(log.Contains("Unable to load Quenzal icon"));
        EXPECT_EQ(c.reported != nullptr,
                  log.Contains("Caught exception at ModalDialog.cpp, Quenzal::OutlookAddIn::CModalDialog::DialogProc"));
        EXPECT_TRUE(c.reported == nullptr || log.Contains(c.reported));
    }
    HWND gone = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ::DestroyWindow(gone);
    QzlTest::Raised<Quenzal::CWinError>([gone] { CTestDialog({IDCANCEL}, false).DoModal(gone); });
}

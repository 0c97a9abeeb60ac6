#include "ModalDialog.h"

#include "Exception.h"
#include "Localization.h"
#include "StringW.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using Quenzal::OutlookAddIn::CModalDialog;

namespace {

constexpr UINT TestDialog = 950;
constexpr WORD FailingButton = 951;

// Clicks the posted buttons once it is set up; OK ends it, the failing button
// and, when told, the set-up itself throw.
class CTestDialog : public CModalDialog {
public:
    CTestDialog(std::vector<WORD> clicks, bool failSetUp)
        : CModalDialog(TestDialog), m_clicks(std::move(clicks)), m_failSetUp(failSetUp)
    {
    }
    std::wstring shownText;

protected:
    bool OnInitDialog() override
    {
        wchar_t text[64] = {};
        ::GetDlgItemTextW(GetWindowHandle(), FailingButton, text, 64);
        shownText = text;
        for (WORD id : m_clicks)
            ::PostMessageW(GetWindowHandle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        if (m_failSetUp)
            throw Quenzal::CException(L"set-up failed");
        return true;
    }
    bool OnCommand(WORD id, WORD, HWND) override
    {
        if (id == FailingButton)
            throw std::runtime_error("handler failed");
        if (id != IDOK)
            return false;
        EndDialog(IDOK);
        return true;
    }

private:
    std::vector<WORD> m_clicks;
    bool m_failSetUp;
};

} // namespace

// The texts are localized and a missing caption icon is passed over; Cancel
// and Close end the dialog with their ids; a handler that throws is reported
// and ends the dialog as cancelled, so the next click confirms nothing.
TEST(ModalDialogTest, EndsOnCancelAndCloseAndContainsFailingHandlers)
{
    struct Case {
        std::vector<WORD> clicks;
        bool failSetUp;
        INT_PTR ended;
        const char* reported;
    } cases[] = {{{IDOK}, false, IDOK, nullptr},
                 {{IDCANCEL}, false, IDCANCEL, nullptr},
                 {{IDCLOSE}, false, IDCLOSE, nullptr},
                 {{FailingButton, IDOK}, false, IDCANCEL, "handler failed"},
                 {{IDOK}, true, IDCANCEL, "set-up failed"}};
    for (const Case& c : cases) {
        QzlTest::CLogCapture log;
        CTestDialog dialog(c.clicks, c.failSetUp);
        EXPECT_EQ(c.ended, dialog.DoModal(nullptr));
        EXPECT_EQ(Quenzal::GetLocalizedMessage(37), Quenzal::StringW(dialog.shownText));
        EXPECT_TRUE(log.Contains("Unable to load Quenzal icon"));
        EXPECT_EQ(c.reported != nullptr,
                  log.Contains("Caught exception at ModalDialog.cpp, Quenzal::OutlookAddIn::CModalDialog::DialogProc"));
        EXPECT_TRUE(c.reported == nullptr || log.Contains(c.reported));
    }
    // A parent that is no window shows nothing and says so.
    CTestDialog orphan({IDOK}, false);
    HWND gone = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ::DestroyWindow(gone);
    QzlTest::Raised<Quenzal::CWinError>([&] { orphan.DoModal(gone); });
}

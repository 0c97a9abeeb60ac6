#include "Exception.h"
#include "LocalizationTestSupport.h"
#include "LocalizeUi.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using namespace Quenzal;
using namespace Quenzal::Localization;
using QzlTest::CLogCapture;

namespace {

// A window destroyed with its children when the test ends.
class CTestWindow {
public:
    CTestWindow(const wchar_t* className, const wchar_t* text, DWORD style, int width, int height,
                HWND parent = nullptr)
        : m_window(::CreateWindowExW(0, className, text, style | (parent != nullptr ? WS_CHILD : WS_POPUP), 0, 0,
                                     width, height, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~CTestWindow()
    {
        if (m_window != nullptr && ::GetParent(m_window) == nullptr)
            ::DestroyWindow(m_window);
    }
    CTestWindow(const CTestWindow&) = delete;
    CTestWindow& operator=(const CTestWindow&) = delete;
    HWND Get() const { return m_window; }

private:
    HWND m_window;
};

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

LONG StyleOf(HWND window)
{
    return ::GetWindowLongW(window, GWL_STYLE);
}

// The width of a text in the font the fit test measures with.
SIZE TextExtent(HWND window, const std::wstring& text)
{
    HDC dc = ::GetDC(window);
    HGDIOBJ previous = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    SIZE size = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);
    return size;
}

} // namespace

class LocalizeWindowTest : public QzlTest::LocalizationFixture {};

TEST_F(LocalizeWindowTest, ReplacesPlaceholdersInTheWindowAndAllItsDescendants)
{
    CTestWindow dialog(L"STATIC", L"lid_123", 0, 400, 300);
    ASSERT_NE(dialog.Get(), nullptr) << "windows need a display (run under xvfb-run)";
    CTestWindow note(L"STATIC", L"lid_92: ", SS_LEFT, 100, 20, dialog.Get());
    CTestWindow plain(L"STATIC", L"Plain & simple", SS_LEFT, 100, 20, dialog.Get());
    CTestWindow options(L"BUTTON", L"lid_106...", BS_PUSHBUTTON, 100, 20, dialog.Get());
    CTestWindow group(L"STATIC", L"", SS_LEFT, 200, 100, dialog.Get());
    CTestWindow spam(L"STATIC", L"lid_139:", SS_LEFT, 100, 20, group.Get());
    CTestWindow missing(L"STATIC", L"lid_9996", SS_LEFT, 100, 20, dialog.Get());
    const LONG plainStyle = StyleOf(plain.Get());
    const LONG optionsStyle = StyleOf(options.Get());

    Ui::LocalizeWindow(dialog.Get());
    EXPECT_EQ(TextOf(dialog.Get()), L"Whitelist Email Recipients and Contacts");
    EXPECT_EQ(TextOf(note.Get()), L"NOTE: ");
    EXPECT_EQ(TextOf(plain.Get()), L"Plain & simple");
    EXPECT_EQ(TextOf(options.Get()), L"Options...");
    EXPECT_EQ(TextOf(spam.Get()), L"Spam:");
    EXPECT_EQ(TextOf(missing.Get()), L"lid_9996");

    // Localized labels show '&' as it is; other statics and other classes keep their style.
    EXPECT_TRUE(StyleOf(note.Get()) & SS_NOPREFIX);
    EXPECT_TRUE(StyleOf(spam.Get()) & SS_NOPREFIX);
    EXPECT_EQ(StyleOf(plain.Get()), plainStyle);
    EXPECT_EQ(StyleOf(options.Get()), optionsStyle);
}

TEST_F(LocalizeWindowTest, UsesTheCurrentLanguage)
{
    SetLanguageId(0x0407);
    CTestWindow dialog(L"STATIC", L"Quenzal Networks", 0, 300, 100);
    ASSERT_NE(dialog.Get(), nullptr);
    CTestWindow close(L"BUTTON", L"lid_37", BS_PUSHBUTTON, 100, 20, dialog.Get());
    CTestWindow blank(L"BUTTON", L"lid_7", BS_AUTOCHECKBOX, 100, 20, dialog.Get());
    Ui::LocalizeWindow(dialog.Get());
    EXPECT_EQ(TextOf(dialog.Get()), L"Quenzal Networks");
    EXPECT_EQ(TextOf(close.Get()), L"Schlie\u00DFen");
    EXPECT_EQ(TextOf(blank.Get()), L"Add email addresses to whitelist");
}

TEST_F(LocalizeWindowTest, PlaceholderTexts)
{
    StringW text = L"lid_185...";
    EXPECT_TRUE(ParseLidText(nullptr, text));
    EXPECT_EQ(text, L"View Log...");
    text = L"lid_";
    EXPECT_TRUE(ParseLidText(nullptr, text));
    EXPECT_EQ(text, L"");
    text = L"Lid_185";
    EXPECT_FALSE(ParseLidText(nullptr, text));
    EXPECT_EQ(text, L"Lid_185");
    text = L" lid_185";
    EXPECT_FALSE(ParseLidText(nullptr, text));
    EXPECT_FALSE(IsLocalizationFitTestEnabled());
}

TEST(FitTest, OnlyOneLineControlsThatAreTooNarrowFail)
{
    CTestWindow dialog(L"STATIC", L"", 0, 600, 200);
    ASSERT_NE(dialog.Get(), nullptr);
    LanguageTables tables;
    tables[3][1] = L"Spam";
    tables[5][1] = L"Unerw\u00FCnschte Werbung";
    tables[5][2] = L"Only German";
    const SIZE english = TextExtent(dialog.Get(), L"Spam:");
    const SIZE german = TextExtent(dialog.Get(), L"Unerw\u00FCnschte Werbung:");
    ASSERT_GT(english.cx, 0);
    ASSERT_GT(german.cx, english.cx + 10);

    // One line high, one unit wider than the English text.
    CTestWindow label(L"STATIC", L"", SS_LEFT, english.cx + 1, english.cy, dialog.Get());
    CLogCapture log;
    EXPECT_FALSE(Ui::DoesLocalizedMessageFitInWindow(label.Get(), 1, L":", tables));
    EXPECT_TRUE(log.Contains(
        "WARNING: Message 1 is within 1 unit(s) of exceeding the width of the window by for locale: en_US\r\n"))
        << log.Text();
    std::string overflow = "ERROR: Message 1 exceeds the width of the window by " +
                           std::to_string(german.cx - english.cx - 1) + " units for locale: de_DE\r\n";
    EXPECT_TRUE(log.Contains(overflow)) << log.Text();

    // A lid no language holds, and a control tall enough to wrap, always fit.
    EXPECT_TRUE(Ui::DoesLocalizedMessageFitInWindow(label.Get(), 3, L"", tables));
    CTestWindow tall(L"STATIC", L"", SS_LEFT, english.cx, english.cy * 2, dialog.Get());
    CLogCapture quiet;
    EXPECT_TRUE(Ui::DoesLocalizedMessageFitInWindow(tall.Get(), 1, L":", tables));
    EXPECT_EQ(quiet.Text(), "");

    // Wide enough by more than two units: no line at all.
    CTestWindow wide(L"STATIC", L"", SS_LEFT, german.cx + 3, english.cy, dialog.Get());
    EXPECT_TRUE(Ui::DoesLocalizedMessageFitInWindow(wide.Get(), 1, L":", tables));
    EXPECT_EQ(quiet.Text(), "");
}

TEST(FitTest, AWindowThatIsGoneIsASystemError)
{
    HWND gone = nullptr;
    {
        CTestWindow window(L"STATIC", L"", 0, 10, 10);
        ASSERT_NE(window.Get(), nullptr);
        gone = window.Get();
    }
    CLogCapture log;
    EXPECT_THROW(Ui::DoesLocalizedMessageFitInWindow(gone, 1, L"", LanguageTables{}), CWinError);
    EXPECT_TRUE(std::regex_search(log.Text(),
                                  std::regex("Throwing exception at LocalizeUi\\.cpp, "
                                             "Quenzal::Ui::DoesLocalizedMessageFitInWindow, line [0-9]+: ")))
        << log.Text();
}

QZL_CHILD_CASE(localization_fit_test_switch)
{
    QzlTest::CPrivateCurrentUser user;
    QzlTest::SetCoreDword(L"TestLocalizationFit", 1);
    if (!IsLocalizationFitTestEnabled())
        return 1;
    // Read once: later changes do not count.
    QzlTest::SetCoreDword(L"TestLocalizationFit", 0);
    if (!IsLocalizationFitTestEnabled())
        return 2;
    CTestWindow dialog(L"STATIC", L"", 0, 300, 100);
    CTestWindow label(L"STATIC", L"lid_32", SS_LEFT, 100, 20, dialog.Get());
    if (label.Get() == nullptr)
        return 3;
    // This program carries only two of the tables, so measuring fails.
    try {
        Ui::LocalizeWindow(dialog.Get());
    } catch (const CWinError& e) {
        return e.GetErrorCode() == ERROR_RESOURCE_NAME_NOT_FOUND ? 0 : 5;
    }
    return 4;
}

TEST(FitTest, TheSwitchIsReadOnceAndMeasuresEveryLanguage)
{
    QzlTest::ChildResult r = QzlTest::RunChildCase("localization_fit_test_switch");
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    size_t first = r.output.find("Testing the UI fit of all localizations\r\n");
    EXPECT_NE(first, std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Testing the UI fit", first + 1), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("ERROR: Unable to load localizations for locale 'zh_CN': "), std::string::npos)
        << r.output;
}

#include "ErrorReport.h"
#include "TestSupport.h"
#include "Ui.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <oleidl.h>

#include <regex>
#include <vector>

using namespace Quenzal;
using QzlTest::CLogCapture;

namespace {

std::vector<UINT> g_seen;
std::vector<WPARAM> g_characters;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_APP || message == WM_KEYDOWN)
        g_seen.push_back(message);
    if (message == WM_CHAR) {
        g_seen.push_back(message);
        g_characters.push_back(wParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window that records what is dispatched to it.
class CRecordingWindow {
public:
    CRecordingWindow()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = RecordingWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QzlRecordingWindow";
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(0, L"QzlRecordingWindow", L"Recording", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        // Start from an empty queue and an empty record.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        g_seen.clear();
        g_characters.clear();
    }
    ~CRecordingWindow() { DestroyWindow(m_window); }
    HWND Get() const { return m_window; }

private:
    HWND m_window;
};

// An object with a window, as an inspector or explorer of the host would be.
class COleWindowObject : public IOleWindow {
public:
    COleWindowObject(HWND window, HRESULT result) : m_window(window), m_result(result) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IOleWindow) {
            *object = static_cast<IOleWindow*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (SUCCEEDED(m_result))
            *window = m_window;
        return m_result;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    ULONG m_references = 1;

private:
    HWND m_window;
    HRESULT m_result;
};

// An object without a window.
class CPlainObject : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

} // namespace

TEST(Ui, PumpMessagesHandlesEverythingQueuedAndTranslatesKeys)
{
    CRecordingWindow window;
    ASSERT_NE(window.Get(), nullptr);
    PostMessageW(window.Get(), WM_APP + 1, 0, 0);
    PostMessageW(window.Get(), WM_KEYDOWN, 'A', 0x001E0001);
    PostMessageW(window.Get(), WM_APP + 2, 0, 0);
    Ui::PumpMessages();
    // The character made from the key press was posted behind the others and
    // still handled before the pump returned.
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_APP + 1, WM_KEYDOWN, WM_APP + 2, WM_CHAR}));
    EXPECT_EQ(g_characters, std::vector<WPARAM>{L'a'});
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(Ui, PumpMessagesStopsAtQuitAndPostsItAgain)
{
    CRecordingWindow window;
    ASSERT_NE(window.Get(), nullptr);
    PostMessageW(window.Get(), WM_APP + 1, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 42, 0);
    PostMessageW(window.Get(), WM_APP + 2, 0, 0);
    Ui::PumpMessages();
    EXPECT_EQ(g_seen, std::vector<UINT>{WM_APP + 1});

    // The thread's own loop finds the message behind the quit, then the quit.
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 2));
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 42u);
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST(Ui, CreatesATooltipForADialogControl)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND dialog = CreateWindowExW(0, L"#32770", L"Dialog", WS_POPUP | WS_CAPTION, 0, 0, 300, 200, nullptr, nullptr,
                                  instance, nullptr);
    ASSERT_NE(dialog, nullptr);
    HWND button = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE, 10, 10, 80, 24, dialog,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), instance, nullptr);
    ASSERT_NE(button, nullptr);
    const wchar_t* text = L"Sends the message & closes";

    HWND toolTip = Ui::CreateToolTip(dialog, button, text, instance);
    ASSERT_NE(toolTip, nullptr);
    wchar_t className[64] = {};
    GetClassNameW(toolTip, className, 64);
    EXPECT_STREQ(className, L"tooltips_class32");
    EXPECT_EQ(GetWindow(toolTip, GW_OWNER), dialog);
    LONG style = GetWindowLongW(toolTip, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP), WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP);

    EXPECT_EQ(SendMessageW(toolTip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t buffer[80] = {};
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(button);
    tool.lpszText = buffer;
    ASSERT_TRUE(SendMessageW(toolTip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), static_cast<UINT>(TTF_IDISHWND | TTF_SUBCLASS));
    EXPECT_STREQ(buffer, text);

    DestroyWindow(dialog);
    // An owner that is gone: no tooltip, and nothing raised.
    EXPECT_EQ(Ui::CreateToolTip(dialog, button, text, instance), nullptr);
}

TEST(Ui, GetsTheWindowOfAnOleObject)
{
    HWND fake = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    COleWindowObject object(fake, S_OK);
    EXPECT_EQ(Ui::GetWindowHandleFromOleWindow(&object), fake);
    // The interface taken for the call is released again.
    EXPECT_EQ(object.m_references, 1u);

    CLogCapture log;
    COleWindowObject tentative(fake, S_FALSE);
    EXPECT_EQ(Ui::GetWindowHandleFromOleWindow(&tentative), fake);
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("WARNING: Non-success condition during COM call at "
                                                         "Ui\\.cpp, Quenzal::Ui::GetWindowHandleFromOleWindow, line "
                                                         "\\d+: ")));

    COleWindowObject failing(fake, E_FAIL);
    try {
        Ui::GetWindowHandleFromOleWindow(&failing);
        ADD_FAILURE() << "nothing raised";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_FAIL);
    }
    EXPECT_EQ(failing.m_references, 1u);
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at Ui\\.cpp, "
                                                         "Quenzal::Ui::GetWindowHandleFromOleWindow, line \\d+: ")));

    CPlainObject plain;
    try {
        Ui::GetWindowHandleFromOleWindow(&plain);
        ADD_FAILURE() << "nothing raised";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_NOINTERFACE);
    }
    try {
        Ui::GetWindowHandleFromOleWindow(nullptr);
        ADD_FAILURE() << "nothing raised";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_POINTER);
    }
}

TEST(Ui, RestoreCursorPutsBackTheSavedCursorOnce)
{
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, wait);
    SetCursor(arrow);
    std::optional<HCURSOR> saved = SetCursor(wait);
    EXPECT_EQ(GetCursor(), wait);
    Ui::RestoreCursor(saved);
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_FALSE(saved.has_value());

    SetCursor(wait);
    Ui::RestoreCursor(saved);
    EXPECT_EQ(GetCursor(), wait);
    SetCursor(arrow);
}

#include "DialogUser.h"

#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <vector>

namespace NxoTest {

CDialogUser::CDialogUser(std::function<void()> script) : m_thread(std::move(script)) {}

CDialogUser::~CDialogUser()
{
    m_thread.join();
}

namespace {

struct Search {
    const std::wstring& caption;
    int controlId;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window) && wcscmp(className, L"#32770") == 0 &&
        CDialogUser::Text(window) == search.caption &&
        (search.controlId == 0 || ::GetDlgItem(window, search.controlId) != nullptr) &&
        (search.owner == nullptr || ::GetWindow(window, GW_OWNER) == search.owner)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM parameter)
{
    wchar_t className[16] = {};
    ::GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Static") == 0)
        *reinterpret_cast<std::wstring*>(parameter) += CDialogUser::Text(child);
    return TRUE;
}

} // namespace

HWND CDialogUser::FindDialog(const std::wstring& caption, int controlId, HWND owner)
{
    Search search{caption, controlId, owner, nullptr};
    ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND CDialogUser::WaitForDialog(const std::wstring& caption, int controlId, HWND owner)
{
    for (int attempt = 0; attempt < 400; ++attempt) {
        if (HWND found = FindDialog(caption, controlId, owner)) {
            // Let it finish painting before anyone looks.
            ::Sleep(300);
            return found;
        }
        ::Sleep(50);
    }
    ADD_FAILURE() << "no dialog " << std::string(caption.begin(), caption.end());
    return nullptr;
}

bool CDialogUser::WaitUntilClosed(HWND window)
{
    for (int attempt = 0; attempt < 400 && ::IsWindow(window); ++attempt)
        ::Sleep(50);
    return !::IsWindow(window);
}

std::wstring CDialogUser::Text(HWND window)
{
    wchar_t text[512] = {};
    ::SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

namespace {

// The room a control leaves its text: a check mark, a button's border or a
// group box's frame take their part.
LONG TextRoom(HWND control, LONG width)
{
    wchar_t className[32] = {};
    ::GetClassNameW(control, className, 32);
    if (_wcsicmp(className, L"Button") != 0)
        return width;
    switch (::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_GROUPBOX:
        return width - 16;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        return width - ::GetSystemMetrics(SM_CXMENUCHECK) - 4;
    default:
        return width - 6;
    }
}

BOOL CALLBACK CollectClipped(HWND control, LPARAM clipped)
{
    const std::wstring text = CDialogUser::Text(control);
    wchar_t className[32] = {};
    ::GetClassNameW(control, className, 32);
    const bool isButton = _wcsicmp(className, L"Button") == 0;
    if (text.empty() || !::IsWindowVisible(control) || (!isButton && _wcsicmp(className, L"Static") != 0))
        return TRUE;
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    const bool wraps = isButton ? (style & BS_MULTILINE) != 0 : (style & SS_TYPEMASK) == SS_LEFT;
    RECT client = {};
    ::GetClientRect(control, &client);
    HDC dc = ::GetDC(control);
    HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT needed = {0, 0, TextRoom(control, client.right), 0};
    ::DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
    const bool groupBox = isButton && (style & BS_TYPEMASK) == BS_GROUPBOX;
    if (needed.right > TextRoom(control, client.right) || (!groupBox && needed.bottom > client.bottom))
        reinterpret_cast<std::vector<std::wstring>*>(clipped)->push_back(text);
    return TRUE;
}

} // namespace

std::vector<std::wstring> CDialogUser::ClippedTexts(HWND dialog)
{
    std::vector<std::wstring> clipped;
    ::EnumChildWindows(dialog, CollectClipped, reinterpret_cast<LPARAM>(&clipped));
    return clipped;
}

std::wstring CDialogUser::MessageText(HWND box)
{
    std::wstring text;
    ::EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
    return text;
}

void CDialogUser::Click(HWND dialog, int id)
{
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    ::Sleep(200);
}

void CDialogUser::Select(HWND dialog, int id, int index)
{
    HWND list = ::GetDlgItem(dialog, id);
    ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

std::wstring CDialogUser::Selected(HWND dialog, int id)
{
    HWND list = ::GetDlgItem(dialog, id);
    LRESULT index = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return L"(none)";
    wchar_t text[256] = {};
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

void CDialogUser::SaveScreenshot(HWND window, const wchar_t* fileName)
{
    EXPECT_TRUE(QzlTest::CWindowDriver::SaveWindowPicture(window, QzlTest::ScreenshotPath(fileName)))
        << "screenshot not saved";
}

} // namespace NxoTest

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
    for (int attempt = 0; attempt < 600; ++attempt) {
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
    for (int attempt = 0; attempt < 600 && ::IsWindow(window); ++attempt)
        ::Sleep(50);
    return !::IsWindow(window);
}

std::wstring CDialogUser::Text(HWND window)
{
    wchar_t text[512] = {};
    ::SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
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

#include "Ui.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "com_cast.h"

#include <commctrl.h>
#include <oleidl.h>

namespace Quenzal::Ui {

void PumpMessages()
{
    MSG message = {};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

HWND CreateToolTip(HWND dialog, HWND control, const wchar_t* text, HINSTANCE instance)
{
    HWND toolTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                     instance, nullptr);
    if (toolTip == nullptr)
        return nullptr;
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.hinst = nullptr;
    // Only read by the tooltip.
    tool.lpszText = const_cast<LPWSTR>(text);
    tool.lParam = 0;
    ::SendMessageW(toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return toolTip;
}

HWND GetWindowHandleFromOleWindow(IUnknown* object)
{
    auto oleWindow = com_cast<IOleWindow>(object);
    HWND window = nullptr;
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, oleWindow->GetWindow(&window));
    return window;
}

void RestoreCursor(std::optional<HCURSOR>& savedCursor)
{
    if (!savedCursor)
        return;
    ::SetCursor(*savedCursor);
    savedCursor.reset();
}

} // namespace Quenzal::Ui

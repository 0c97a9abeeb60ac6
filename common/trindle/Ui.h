#pragma once
// Window operations of the user-interface code: a message pump that does not
// block, a tooltip for one dialog control, the window behind an OLE object and
// putting back a cursor that was replaced by the wait cursor.

#include <windows.h>

#include <unknwn.h>

#include <optional>

namespace Quenzal::Ui {

// Handles every message waiting for the calling thread and returns when none
// is left. A WM_QUIT taken is posted again, so the thread's own loop still
// sees it, and ends the pump.
void PumpMessages();
// A tooltip that shows the text while the mouse is over the control; null when
// the window cannot be created. The caller keeps the text alive and destroys
// the tooltip with the dialog.
HWND CreateToolTip(HWND dialog, HWND control, const wchar_t* text, HINSTANCE instance);
// The window of an object that implements IOleWindow.
HWND GetWindowHandleFromOleWindow(IUnknown* object);
// Sets the saved cursor again and empties the holder; an empty holder does nothing.
void RestoreCursor(std::optional<HCURSOR>& savedCursor);

} // namespace Quenzal::Ui

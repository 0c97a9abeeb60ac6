#pragma once
// A modal dialog on a dialog template of this module: the object lives
// across DialogBoxParam and its dialog procedure is a virtual operation. The
// base localizes the template's "lid_" texts when the dialog opens and turns
// WM_INITDIALOG and WM_COMMAND into the two handlers below.
//
// No exception leaves the dialog procedure: a handler that fails is reported
// and the message counts as handled.

#include <windows.h>

namespace Quenzal::OutlookAddIn {

class CModalDialog {
public:
    explicit CModalDialog(UINT templateId) : m_templateId(templateId) {}
    CModalDialog(const CModalDialog&) = delete;
    CModalDialog& operator=(const CModalDialog&) = delete;

    // The dialog procedure: WM_INITDIALOG and WM_COMMAND go to the handlers.
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual ~CModalDialog() = default;

    // Shows the dialog over the parent and answers the code it ended with;
    // raises CWinError when it cannot be shown.
    INT_PTR DoModal(HWND parent);
    HWND GetWindowHandle() const { return m_window; }

protected:
    // After the texts were localized; false when the handler set the focus.
    virtual bool OnInitDialog();
    // A control's notification; false leaves it unhandled.
    virtual bool OnCommand(WORD controlId, WORD notification, HWND control);
    // The window is about to go.
    virtual void OnDestroy();

    void EndDialog(INT_PTR code) { ::EndDialog(m_window, code); }
    void SetControlText(int controlId, const wchar_t* text) { ::SetDlgItemTextW(m_window, controlId, text); }

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_window = nullptr;
};

} // namespace Quenzal::OutlookAddIn

#pragma once
// A modal dialog on a dialog template of this module: the object lives
// across DialogBoxParam and its dialog procedure is a virtual operation. The
// base localizes the template's "lid_" texts and shows the maker's icon in
// the caption when the dialog opens, and turns WM_INITDIALOG, WM_COMMAND and
// WM_DESTROY into the handlers below. Cancel and Close that a derived dialog
// leaves unhandled end the dialog with their own id.
//
// No exception leaves the dialog procedure: a handler that fails is reported
// and the dialog ends with IDCANCEL, because a dialog left half set up or
// half applied must not be confirmed by the user's next click.

#include "OsHelperObjects.h"

#include <windows.h>

#include <string>

namespace Quenzal::OutlookAddIn {

class CModalDialog {
public:
    explicit CModalDialog(UINT templateId) : m_templateId(templateId) {}
    CModalDialog(const CModalDialog&) = delete;
    CModalDialog& operator=(const CModalDialog&) = delete;

    // The dialog procedure: WM_INITDIALOG, WM_COMMAND and WM_DESTROY go to the handlers.
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual ~CModalDialog() = default;

    // Shows the dialog over the parent and answers the non-zero code it ended
    // with; raises CWinError when it cannot be shown.
    INT_PTR DoModal(HWND parent);
    HWND GetWindowHandle() const { return m_window; }

protected:
    // After the texts were localized; false when the handler set the focus.
    virtual bool OnInitDialog();
    // A control's notification; false leaves it unhandled.
    virtual bool OnCommand(WORD controlId, WORD notification, HWND control);
    // The window is about to go.
    virtual void OnDestroy();

    void EndDialog(INT_PTR code) const { ::EndDialog(m_window, code); }
    HWND GetItem(int controlId) const { return ::GetDlgItem(m_window, controlId); }
    void SetControlText(int controlId, const wchar_t* text) const { ::SetDlgItemTextW(m_window, controlId, text); }
    bool IsChecked(int controlId) const { return ::IsDlgButtonChecked(m_window, controlId) == BST_CHECKED; }
    void SetChecked(int controlId, bool checked) const
    {
        ::CheckDlgButton(m_window, controlId, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    void EnableItem(int controlId, bool enabled) const { ::EnableWindow(GetItem(controlId), enabled ? TRUE : FALSE); }
    // A message box owned by the dialog.
    int ShowMessage(const std::wstring& text, const wchar_t* caption, UINT type) const
    {
        return ::MessageBoxW(m_window, text.c_str(), caption, type);
    }

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowCaptionIcon();

    UINT m_templateId;
    HWND m_window = nullptr;
    Os::CIcon m_icon; // the caption's icon, kept while the dialog shows it
};

} // namespace Quenzal::OutlookAddIn

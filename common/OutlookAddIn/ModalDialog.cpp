#include "ModalDialog.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "LocalizeUi.h"
#include "ResourceBuffer.h"
#include "Trindle.h"

namespace Quenzal::OutlookAddIn {

INT_PTR CModalDialog::DoModal(HWND parent)
{
    INT_PTR result = ::DialogBoxParamW(Os::GetThisModule(), MAKEINTRESOURCEW(m_templateId), parent, StaticDialogProc,
                                       reinterpret_cast<LPARAM>(this));
    // A parent that is no window makes DialogBoxParam answer 0, not -1.
    if (result == -1 || result == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(L"Unable to show dialog"));
    return result;
}

INT_PTR CALLBACK CModalDialog::StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<CModalDialog*>(lParam)->m_window = window;
    }
    auto* dialog = reinterpret_cast<CModalDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    INT_PTR handled = TRUE;
    try {
        handled = dialog->DialogProc(message, wParam, lParam);
    } catch (...) {
        (void)ReportCaughtException(__FILE__, L"Quenzal::OutlookAddIn::CModalDialog::DialogProc", __LINE__);
        ::EndDialog(window, IDCANCEL);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->m_window = nullptr;
    }
    return handled;
}

INT_PTR CModalDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        Ui::LocalizeWindow(m_window);
        ShowCaptionIcon();
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (OnCommand(id, HIWORD(wParam), reinterpret_cast<HWND>(lParam)))
            return TRUE;
        if (id != IDCANCEL && id != IDCLOSE)
            return FALSE;
        EndDialog(id);
        return TRUE;
    }
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

// The icon is decoration: the dialog is shown without it.
void CModalDialog::ShowCaptionIcon()
{
    try {
        m_icon = Ui::GetQuenzalIcon();
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
    if (m_icon)
        ::SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.Get()));
}

bool CModalDialog::OnInitDialog()
{
    return true;
}

bool CModalDialog::OnCommand(WORD, WORD, HWND)
{
    return false;
}

void CModalDialog::OnDestroy() {}

} // namespace Quenzal::OutlookAddIn

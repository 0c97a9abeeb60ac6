#include "ModalDialog.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "LocalizeUi.h"
#include "ResourceBuffer.h"

namespace Quenzal::OutlookAddIn {

INT_PTR CModalDialog::DoModal(HWND parent)
{
    INT_PTR result = ::DialogBoxParamW(Os::GetThisModule(), MAKEINTRESOURCEW(m_templateId), parent, StaticDialogProc,
                                       reinterpret_cast<LPARAM>(this));
    if (result == -1)
        QZL_THROW(L"Quenzal::OutlookAddIn::CModalDialog::DoModal", CWinError());
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
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CModalDialog::DialogProc")
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
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
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

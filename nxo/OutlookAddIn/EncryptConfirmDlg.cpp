#include "EncryptConfirmDlg.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "LocalizeUi.h"
#include "NxoOutlookAddInConfig.h"
#include "NxoResourceIds.h"
#include "RegistryValues.h"
#include "ResourceBuffer.h"
#include "Trindle.h"

using namespace Quenzal;

INT_PTR CEncryptConfirmDlg::DoModal(HWND parent)
{
    INT_PTR result = ::DialogBoxParamW(Os::GetThisModule(), MAKEINTRESOURCEW(IDD_ENCRYPT_CONFIRM), parent,
                                       DialogProc, reinterpret_cast<LPARAM>(this));
    if (result == -1) {
        try {
            QZL_THROW(QZL_FUNCTION, CWinError());
        }
        QZL_CATCH_REPORT(QZL_FUNCTION)
        return IDCANCEL;
    }
    return result;
}

void CEncryptConfirmDlg::OnInitDialog(HWND dialog)
{
    Ui::LocalizeWindow(dialog);
    // The icon is decoration: the warning is shown without it.
    try {
        m_icon = Ui::GetQuenzalIcon();
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
    if (m_icon) {
        ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon.Get()));
        ::SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.Get()));
    }
    ::CheckDlgButton(dialog, IDC_ENCRYPT_DONT_ASK, BST_CHECKED);
}

void CEncryptConfirmDlg::OnOk(HWND dialog)
{
    if (::IsDlgButtonChecked(dialog, IDC_ENCRYPT_DONT_ASK) == BST_CHECKED)
        Os::SetRegistryDword(CNxoOutlookAddInConfig::GetInstance().Get(), NxoSettings::SuppressEncryptionWarning, 1);
}

INT_PTR CALLBACK CEncryptConfirmDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            reinterpret_cast<CEncryptConfirmDlg*>(lParam)->OnInitDialog(dialog);
            return TRUE;
        }
        auto* self = reinterpret_cast<CEncryptConfirmDlg*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        if (message == WM_COMMAND && self != nullptr) {
            int id = LOWORD(wParam);
            if (id == IDOK)
                self->OnOk(dialog);
            if (id == IDOK || id == IDCANCEL) {
                ::EndDialog(dialog, id);
                return TRUE;
            }
        }
    } catch (...) {
        (void)ReportCaughtException(__FILE__, QZL_FUNCTION, __LINE__);
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

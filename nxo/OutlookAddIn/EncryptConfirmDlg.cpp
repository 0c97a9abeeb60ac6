#include "EncryptConfirmDlg.h"

#include "NxoResourceIds.h"

CEncryptConfirmDlg::CEncryptConfirmDlg() : CModalDialog(IDD_ENCRYPT_CONFIRM) {}

bool CEncryptConfirmDlg::OnInitDialog()
{
    SetChecked(IDC_ENCRYPT_DONT_ASK, true);
    return true;
}

bool CEncryptConfirmDlg::OnCommand(WORD controlId, WORD, HWND)
{
    if (controlId != IDOK)
        return false;
    m_suppressed = IsChecked(IDC_ENCRYPT_DONT_ASK);
    EndDialog(IDOK);
    return true;
}

#include "EncryptConfirmDlg.h"

#include "NxoOutlookAddInConfig.h"
#include "NxoResourceIds.h"
#include "RegistryValues.h"

using namespace Quenzal;

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
    if (IsChecked(IDC_ENCRYPT_DONT_ASK))
        Os::SetRegistryDword(CNxoOutlookAddInConfig::GetInstance().Get(), NxoSettings::SuppressEncryptionWarning, 1);
    EndDialog(IDOK);
    return true;
}

#pragma once
// The warning shown before a message is flagged for encryption: the service
// works only when the organisation routes its mail through the appliance.
// Its check box (checked at first) keeps the warning from being shown again.

#include "OsHelperObjects.h"

#include <windows.h>

class CEncryptConfirmDlg {
public:
    CEncryptConfirmDlg() = default;
    CEncryptConfirmDlg(const CEncryptConfirmDlg&) = delete;
    CEncryptConfirmDlg& operator=(const CEncryptConfirmDlg&) = delete;

    // Modal over the parent; IDOK or IDCANCEL (also when the dialog could not be shown).
    INT_PTR DoModal(HWND parent);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND dialog);
    void OnOk(HWND dialog);

    Quenzal::Os::CIcon m_icon;
};

#pragma once
// The warning shown before a message is flagged for encryption: the service
// works only when the organisation routes its mail through the appliance.
// Its check box (checked at first) keeps the warning from being shown again.
// A choice that cannot be stored ends the warning as cancelled.

#include "ModalDialog.h"

class CEncryptConfirmDlg : public Quenzal::OutlookAddIn::CModalDialog {
public:
    CEncryptConfirmDlg();

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD controlId, WORD notification, HWND control) override;
};

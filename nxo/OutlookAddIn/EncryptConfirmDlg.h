#pragma once
// The warning shown before a message is flagged for encryption: the service
// works only when the organisation routes its mail through the appliance.
// Its check box (checked at first) keeps the warning from being shown again;
// the caller stores that choice, and one that cannot be stored is no consent.

#include "ModalDialog.h"

class CEncryptConfirmDlg : public Quenzal::OutlookAddIn::CModalDialog {
public:
    CEncryptConfirmDlg();
    // The user left the check box checked and pressed OK.
    bool IsWarningSuppressed() const { return m_suppressed; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD controlId, WORD notification, HWND control) override;

private:
    bool m_suppressed = false;
};

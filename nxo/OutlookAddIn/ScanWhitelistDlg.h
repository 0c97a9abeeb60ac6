#pragma once
// The whitelist-scan dialog: the user chooses whether the recipients of the
// last month's sent mail, the addresses of the contacts, or both are
// whitelisted, starts the scan and is told how many addresses were found.

#include "ModalDialog.h"

#include <cstddef>
#include <functional>

class CNxoOutlookAddIn;

class CScanWhitelistDlg : public Quenzal::OutlookAddIn::CModalDialog {
public:
    // The scan: sent items, contacts, the window that owns its progress
    // dialog; answers the number of addresses found.
    using Scan = std::function<size_t(bool scanSentItems, bool scanContacts, HWND owner)>;

    explicit CScanWhitelistDlg(CNxoOutlookAddIn& addIn);
    // Over another scan than the add-in's (tests).
    explicit CScanWhitelistDlg(Scan scan);

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void OnOK();

    Scan m_scan;
};

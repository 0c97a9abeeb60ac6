#include "ScanWhitelistDlg.h"

#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoOutlookAddIn.h"
#include "NxoProductName.h"
#include "OptionsDlgIds.h"

using namespace Quenzal;

CScanWhitelistDlg::CScanWhitelistDlg(CNxoOutlookAddIn& addIn)
    : CScanWhitelistDlg([&addIn](bool scanSent, bool scanContacts, HWND owner) {
          return addIn.ScanSentItemsAndContactsForWhitelist(scanSent, scanContacts, owner);
      })
{
}

CScanWhitelistDlg::CScanWhitelistDlg(Scan scan) : CModalDialog(IDD_NXO_SCAN_WHITELIST), m_scan(std::move(scan)) {}

bool CScanWhitelistDlg::OnInitDialog()
{
    SetChecked(IDC_NXO_SCAN_SENT_ITEMS, true);
    SetChecked(IDC_NXO_SCAN_CONTACTS, true);
    return true;
}

bool CScanWhitelistDlg::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDOK:
        try {
            OnOK();
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(L"CScanWhitelistDlg::OnCommand", e);
        }
        EndDialog(IDOK);
        return true;
    default:
        return false;
    }
}

void CScanWhitelistDlg::OnOK()
{
    try {
        size_t count = m_scan(IsChecked(IDC_NXO_SCAN_SENT_ITEMS), IsChecked(IDC_NXO_SCAN_CONTACTS), GetWindowHandle());
        StringW text = count == 0   ? GetLocalizedMessage(231)
                       : count == 1 ? GetLocalizedMessage(229)
                                    : FormatLocalizedMessage(230, std::to_wstring(count));
        ShowMessage(text, NxoProductName, MB_ICONINFORMATION);
    } catch (const CException& e) {
        Logging::Log(Logging::Error,
                     (L"Unable to scan sent items and/or contacts for whitelist: " + e.GetDescription()).c_str());
        ShowMessage(CNxoOutlookAddIn::GetErrorMessage(e, 178), NxoProductName, MB_ICONERROR);
    }
}

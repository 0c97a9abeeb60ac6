#pragma once
// The add-in's options dialog: the appliance's URI with the last failure
// talking to it, the whitelisting switches, what "Mark as Spam" does with a
// message (delete it, or move it to Deleted Items or to a folder the user
// picks in Outlook), the classification counters, Repair (configure anew
// from the mailbox) and Import Whitelist (the scan dialog).
//
// Controls that a policy disabled show the policy's state and are not
// saved: the user's own choice is kept for when the policy is lifted.
//
// The dialog holds the add-in while it is shown; once the add-in is
// disconnected, the next command closes it without acting or saving.

#include "AddInBusy.h"
#include "ModalDialog.h"
#include "OsHelperObjects.h"
#include "StringW.h"

class CNxoOutlookAddIn;

class COptionsDlg : public Quenzal::OutlookAddIn::CModalDialog {
public:
    explicit COptionsDlg(CNxoOutlookAddIn& addIn);

    // WM_DRAWITEM draws the icons; the rest goes to the base.
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    bool HandleCommand(WORD id, WORD code);
    bool OnDrawItem(const DRAWITEMSTRUCT& item);
    void ShowUri();
    void InitializeMoveTo();
    void OnSelchangeComboMoveToFolder();
    void SaveSettings();
    void OnRepair();
    void OnImportWhitelist();
    // Replaces the chosen folder's entry in the list (or adds it) and selects it.
    void ShowChosenFolder();

    CNxoOutlookAddIn& m_addIn;
    Quenzal::OutlookAddIn::CAddInBusy m_busy;
    Quenzal::Os::CIcon m_spamIcon;
    Quenzal::Os::CIcon m_notSpamIcon;
    Quenzal::Os::CIcon m_statusIcon;
    // The tooltip reads the text where it stands.
    Quenzal::StringW m_statusText;
    Quenzal::StringW m_folderStoreId;
    Quenzal::StringW m_folderEntryId;
    Quenzal::StringW m_folderName;
    bool m_whitelistingDisabled = false;
};

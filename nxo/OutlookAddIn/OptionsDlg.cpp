#include "OptionsDlg.h"

#include "ActivationContext.h"
#include "CaughtException.h"
#include "DispatchObject.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoOutlookAddIn.h"
#include "NxoOutlookAddInConfig.h"
#include "NxoProductName.h"
#include "NxoResourceIds.h"
#include "OptionsDlgIds.h"
#include "NxoOlaUtil.h"
#include "ResourceBuffer.h"
#include "ScanWhitelistDlg.h"
#include "Ui.h"

#include <commctrl.h>

#include <optional>

using namespace Quenzal;
using Quenzal::OutlookAddIn::CDispatchObject;

namespace {

constexpr int IconSize = 16;
// OIC_HAND, declared only for OEMRESOURCE builds.
constexpr WORD SystemErrorIcon = 32513;
constexpr LRESULT SelectNewIndex = 0;
constexpr LRESULT DeletedItemsIndex = 1;
constexpr LRESULT ChosenFolderIndex = 2;

Os::CIcon LoadDialogIcon(int id)
{
    Os::CIcon icon(static_cast<HICON>(
        ::LoadImageW(Os::GetThisModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, IconSize, IconSize, 0)));
    if (!icon)
        Logging::Log(Logging::Error, (L"Unable to load icon: " + GetErrorText(::GetLastError())).c_str());
    return icon;
}

// The system's error icon: icon 103 of User32 on Windows, which Wine's User32
// lacks; the OEM icon is the same picture on both and is ours to destroy.
Os::CIcon LoadStatusIcon()
{
    Os::CIcon icon(static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(L"user32.dll"), MAKEINTRESOURCEW(103), IMAGE_ICON, IconSize, IconSize, 0)));
    if (!icon)
        icon.Reset(static_cast<HICON>(
            ::LoadImageW(nullptr, MAKEINTRESOURCEW(SystemErrorIcon), IMAGE_ICON, IconSize, IconSize, 0)));
    return icon;
}

RECT GetChildRect(HWND dialog, HWND child)
{
    RECT rect = {};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void MoveChild(HWND dialog, HWND child, LONG dx, LONG widen)
{
    RECT rect = GetChildRect(dialog, child);
    ::SetWindowPos(child, nullptr, rect.left + dx, rect.top, rect.right - rect.left + widen, rect.bottom - rect.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

CDispatchObject GetDeletedItemsFolder(CNxoOutlookAddIn& addIn)
{
    CDispatchObject session = addIn.GetApplication() ? addIn.GetApplication().GetDispatch(L"Session")
                                                     : CDispatchObject();
    if (!session)
        return CDispatchObject();
    return session.GetDispatch(L"GetDefaultFolder", {_variant_t(static_cast<long>(olFolderDeletedItems))});
}

// Puts back the cursor that the wait cursor replaced, also when the work failed.
class CWaitCursor {
public:
    CWaitCursor() : m_saved(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { Ui::RestoreCursor(m_saved); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    std::optional<HCURSOR> m_saved;
};

} // namespace

COptionsDlg::COptionsDlg(CNxoOutlookAddIn& addIn) : CModalDialog(IDD_NXO_OPTIONS), m_addIn(addIn), m_busy(addIn) {}

INT_PTR COptionsDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM)
        return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    return CModalDialog::DialogProc(message, wParam, lParam);
}

bool COptionsDlg::OnInitDialog()
{
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    if (config.IsAuthenticated()) {
        SetControlText(IDC_NXO_URI, StringW(config.GetNxoUri().FormatServer()).c_str());
        EnableItem(IDC_NXO_IMPORT_WHITELIST, true);
        m_statusText = config.GetNxoUriStatus();
    }
    ShowUri();

    m_whitelistingDisabled = config.IsPolicyEnabled(NxoPolicies::WhitelistingDisabled);
    SetChecked(IDC_NXO_WHITELIST_ON_SENT_MESSAGE, config.IsWhitelistOnSentMessageEnabled());
    SetChecked(IDC_NXO_WHITELIST_ON_NEW_CONTACT, config.IsWhitelistOnNewContactEnabled());
    SetChecked(IDC_NXO_WHITELIST_ON_NOT_SPAM, config.IsWhitelistOnNotSpamEnabled());
    if (m_whitelistingDisabled) {
        Logging::Log(Logging::Debug,
                     L"Whitelisting disabled; any controls affecting whitelisting settings disabled");
        for (int id : {IDC_NXO_WHITELIST_ON_SENT_MESSAGE, IDC_NXO_WHITELIST_ON_NEW_CONTACT,
                       IDC_NXO_WHITELIST_ON_NOT_SPAM, IDC_NXO_IMPORT_WHITELIST})
            EnableItem(id, false);
    }

    ::SetDlgItemInt(GetWindowHandle(), IDC_NXO_SPAM_COUNT, config.GetCounter(NxoSettings::SpamCount), TRUE);
    ::SetDlgItemInt(GetWindowHandle(), IDC_NXO_NOT_SPAM_COUNT, config.GetCounter(NxoSettings::NotSpamCount), TRUE);

    InitializeMoveTo();
    m_spamIcon = LoadDialogIcon(IDI_SPAM);
    m_notSpamIcon = LoadDialogIcon(IDI_NOT_SPAM);
    return true;
}

// Without a status the icon's place goes to the URI, and the buttons under
// it stay aligned with its right edge.
void COptionsDlg::ShowUri()
{
    HWND dialog = GetWindowHandle();
    HWND status = GetItem(IDC_NXO_URI_STATUS);
    if (!m_statusText.empty()) {
        m_statusIcon = LoadStatusIcon();
        Ui::CreateToolTip(dialog, status, m_statusText.c_str(), Os::GetThisModule());
        return;
    }
    ::ShowWindow(status, SW_HIDE);
    HWND uri = GetItem(IDC_NXO_URI);
    LONG widen = GetChildRect(dialog, GetItem(IDCANCEL)).right - GetChildRect(dialog, uri).right;
    MoveChild(dialog, uri, 0, widen);
    MoveChild(dialog, GetItem(IDC_NXO_REPAIR), widen, 0);
    MoveChild(dialog, GetItem(IDC_NXO_IMPORT_WHITELIST), widen, 0);
}

void COptionsDlg::InitializeMoveTo()
{
    HWND list = GetItem(IDC_NXO_MOVE_TO_FOLDER);
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>((GetLocalizedMessage(132) + L"...").c_str()));
    StringW deletedItemsName = GetLocalizedMessage(49);
    try {
        if (CDispatchObject deletedItems = GetDeletedItemsFolder(m_addIn))
            deletedItemsName = deletedItems.GetString(L"Name");
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"COptionsDlg::InitializeMoveTo", e);
    }
    ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(deletedItemsName.c_str()));

    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    switch (config.GetSpamAction()) {
    case SpamActionDeletePermanently:
        ::CheckRadioButton(GetWindowHandle(), IDC_NXO_DELETE_PERMANENTLY, IDC_NXO_MOVE_TO, IDC_NXO_DELETE_PERMANENTLY);
        ::SendMessageW(list, CB_SETCURSEL, DeletedItemsIndex, 0);
        break;
    case SpamActionMoveToDeletedItems:
        ::CheckRadioButton(GetWindowHandle(), IDC_NXO_DELETE_PERMANENTLY, IDC_NXO_MOVE_TO, IDC_NXO_MOVE_TO);
        ::SendMessageW(list, CB_SETCURSEL, DeletedItemsIndex, 0);
        break;
    case SpamActionMoveToFolder:
        ::CheckRadioButton(GetWindowHandle(), IDC_NXO_DELETE_PERMANENTLY, IDC_NXO_MOVE_TO, IDC_NXO_MOVE_TO);
        // Read back in the pairing in which they are stored.
        m_folderStoreId = config.GetMoveToFolderEntryId();
        m_folderEntryId = config.GetMoveToFolderStoreEntryId();
        m_folderName = config.GetMoveToFolderName();
        ShowChosenFolder();
        break;
    default:
        break;
    }
}

void COptionsDlg::ShowChosenFolder()
{
    HWND list = GetItem(IDC_NXO_MOVE_TO_FOLDER);
    if (::SendMessageW(list, CB_GETCOUNT, 0, 0) > ChosenFolderIndex)
        ::SendMessageW(list, CB_DELETESTRING, ChosenFolderIndex, 0);
    ::SendMessageW(list, CB_INSERTSTRING, ChosenFolderIndex, reinterpret_cast<LPARAM>(m_folderName.c_str()));
    ::SendMessageW(list, CB_SETCURSEL, ChosenFolderIndex, 0);
}

void COptionsDlg::OnSelchangeComboMoveToFolder()
{
    HWND list = GetItem(IDC_NXO_MOVE_TO_FOLDER);
    if (::SendMessageW(list, CB_GETCURSEL, 0, 0) != SelectNewIndex)
        return;
    try {
        CDispatchObject session = m_addIn.GetApplication().GetDispatch(L"Session");
        CDispatchObject folder = CDispatchObject::FromVariant(session.Call(L"PickFolder"));
        if (!folder)
            return;
        CDispatchObject deletedItems = GetDeletedItemsFolder(m_addIn);
        StringW entryId = folder.GetString(L"EntryID");
        if (deletedItems && deletedItems.GetString(L"EntryID") == entryId) {
            ::SendMessageW(list, CB_SETCURSEL, DeletedItemsIndex, 0);
        } else {
            m_folderStoreId = folder.GetString(L"StoreID");
            m_folderEntryId = entryId;
            m_folderName = folder.GetString(L"Name");
            ShowChosenFolder();
        }
        ::CheckRadioButton(GetWindowHandle(), IDC_NXO_DELETE_PERMANENTLY, IDC_NXO_MOVE_TO, IDC_NXO_MOVE_TO);
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"COptionsDlg::OnSelchangeComboMoveToFolder", e);
    }
}

void COptionsDlg::SaveSettings()
{
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    // Under the policy the boxes show the policy, not the user's choice.
    if (!m_whitelistingDisabled) {
        config.SetWhitelistSwitch(NxoSettings::WhitelistOnSentMessage, IsChecked(IDC_NXO_WHITELIST_ON_SENT_MESSAGE));
        config.SetWhitelistSwitch(NxoSettings::WhitelistOnNewContact, IsChecked(IDC_NXO_WHITELIST_ON_NEW_CONTACT));
        config.SetWhitelistSwitch(NxoSettings::WhitelistOnNotSpam, IsChecked(IDC_NXO_WHITELIST_ON_NOT_SPAM));
    }
    if (IsChecked(IDC_NXO_DELETE_PERMANENTLY)) {
        config.SetSpamAction(SpamActionDeletePermanently);
    } else if (::SendMessageW(GetItem(IDC_NXO_MOVE_TO_FOLDER), CB_GETCURSEL, 0, 0) == ChosenFolderIndex) {
        config.SetSpamAction(SpamActionMoveToFolder);
        config.SetMoveToFolder(m_folderName, m_folderStoreId, m_folderEntryId);
    } else {
        config.SetSpamAction(SpamActionMoveToDeletedItems);
    }
}

void COptionsDlg::OnRepair()
{
    SetControlText(IDC_NXO_URI, L"");
    EnableItem(IDC_NXO_IMPORT_WHITELIST, false);
    EnableItem(IDC_NXO_REPAIR, false);
    {
        CWaitCursor wait;
        m_addIn.RepairConfiguration();
    }
    if (m_busy.IsDisconnected()) {
        EndDialog(IDCANCEL);
        return;
    }
    ShowMessage(GetLocalizedMessage(403), NxoProductName, MB_ICONINFORMATION);
}

void COptionsDlg::OnImportWhitelist()
{
    CScanWhitelistDlg(m_addIn).DoModal(GetWindowHandle());
}

// A setting that could not be saved keeps the dialog open with the user told why.
bool COptionsDlg::OnCommand(WORD id, WORD code, HWND)
{
    bool handled = true;
    m_addIn.RunUserCommand(L"COptionsDlg::OnCommand", GetWindowHandle(), [&] { handled = HandleCommand(id, code); });
    return handled;
}

bool COptionsDlg::HandleCommand(WORD id, WORD code)
{
    if (m_busy.IsDisconnected() && (code == BN_CLICKED || code == CBN_SELCHANGE)) {
        EndDialog(IDCANCEL);
        return true;
    }
    switch (id) {
    case IDOK:
        SaveSettings();
        EndDialog(IDOK);
        return true;
    case IDC_NXO_IMPORT_WHITELIST:
        if (code == BN_CLICKED)
            OnImportWhitelist();
        return true;
    case IDC_NXO_REPAIR:
        if (code == BN_CLICKED)
            OnRepair();
        return true;
    case IDC_NXO_MOVE_TO_FOLDER:
        if (code == CBN_SELCHANGE)
            OnSelchangeComboMoveToFolder();
        return true;
    default:
        return false;
    }
}

bool COptionsDlg::OnDrawItem(const DRAWITEMSTRUCT& item)
{
    HICON icon = nullptr;
    bool stretch = true;
    switch (item.CtlID) {
    case IDC_NXO_SPAM_ICON:
    case IDC_NXO_SPAM_COUNT_ICON:
        icon = m_spamIcon.Get();
        break;
    case IDC_NXO_NOT_SPAM_ICON:
    case IDC_NXO_NOT_SPAM_COUNT_ICON:
        icon = m_notSpamIcon.Get();
        break;
    case IDC_NXO_URI_STATUS:
        icon = m_statusIcon.Get();
        stretch = false;
        break;
    default:
        return false;
    }
    if (icon == nullptr)
        return true;
    const RECT& rect = item.rcItem;
    int width = stretch ? rect.right - rect.left : IconSize;
    int height = stretch ? rect.bottom - rect.top : IconSize;
    int left = stretch ? rect.left : rect.left + (rect.right - rect.left - IconSize) / 2;
    int top = stretch ? rect.top : rect.top + (rect.bottom - rect.top - IconSize) / 2;
    ::DrawIconEx(item.hDC, left, top, icon, width, height, 0, nullptr, DI_NORMAL);
    return true;
}

HRESULT CNxoOutlookAddIn::Configure(HWND parent)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::Configure");
    try {
        if (CNxoOutlookAddInConfig::GetInstance().IsPolicyEnabled(NxoPolicies::HidePropertyPage)) {
            Logging::Log(Logging::Debug, L"Property page has been hidden");
            QZL_THROW(QZL_FUNCTION, CComError(E_ACCESSDENIED));
        }
        // Version 6 common controls for the dialog, from the host's manifest.
        Os::CActivationContext context;
        if (!context.ActivateContext(3))
            context.ActivateContext(2);
        COptionsDlg(*this).DoModal(parent);
        return S_OK;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        return e.GetHResult();
    }
    QZL_CATCH_RETURN(QZL_FUNCTION)
}

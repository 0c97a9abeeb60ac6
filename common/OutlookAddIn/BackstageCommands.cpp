// What the backstage's buttons do: the member's own configuration, and the
// log manager with the commands it leads to (view the log, mail it, switch
// debug logging). Errors of the log manager reach the button's callback.
#include "OutlookAddIn.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "LogMail.h"
#include "LogManagerDlg.h"
#include "LogViewer.h"
#include "Logging.h"
#include "OutlookAddInUtil.h"

namespace Quenzal::OutlookAddIn {

namespace {

constexpr const wchar_t* Caption = L"Quenzal Inbox Rampart";

} // namespace

void COutlookAddIn::OnBackstageConfigure()
{
    HWND parent = GetActiveOutlookWindow();
    if (static_cast<IOutlookAddIn*>(this)->Configure(parent) != E_ACCESSDENIED)
        return;
    Logging::Log(Logging::Warning, L"Access to the configuration of this add-in has been disabled");
    ::MessageBoxW(parent, GetLocalizedMessage(5).c_str(), Caption, MB_OK);
}

void COutlookAddIn::OnBackstageManageLogs()
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::OnBackstageManageLogs";
    BSTR logPath = nullptr;
    HRESULT hr = static_cast<IOutlookAddIn*>(this)->GetLogPath(&logPath);
    _bstr_t holder(logPath, false);
    QZL_CHECK_COM_RESULT(function, hr);
    if (holder.length() == 0)
        QZL_THROW(function, CException(L"Error retrieving log path from add-in"));
    StringW path(static_cast<const wchar_t*>(holder));

    HWND parent = GetActiveOutlookWindow();
    if (!IsExistingFile(path)) {
        ::MessageBoxW(parent, GetLocalizedMessage(160).c_str(), Caption, MB_ICONERROR);
        return;
    }
    // The dialog's loop may see the add-in disconnected: then nothing of
    // the user's choice is carried out.
    CAddInBusy busy(*this);
    CLogManagerDlg dialog(IsTraceLoggingEnabled(), true);
    int action = CLogManagerDlg::NoAction;
    {
        Os::CActivationContext context;
        ActivateVisualStyles(context);
        action = dialog.ShowModal(parent);
    }
    if (busy.IsDisconnected())
        return;
    SetTraceLoggingEnabled(dialog.IsDebugEnabled());
    if (action == CLogManagerDlg::ViewLog)
        OnViewLog(path);
    else if (action == CLogManagerDlg::SendLog)
        OnSendLog(path);
}

void COutlookAddIn::OnViewLog(const StringW& path)
{
    try {
        ViewLogFile(path);
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::COutlookAddIn::OnViewLog")
}

void COutlookAddIn::OnSendLog(const StringW& path)
{
    try {
        AttachLogTailToNewMessage({path}, m_application);
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::COutlookAddIn::OnSendLog")
}

} // namespace Quenzal::OutlookAddIn

// The page's log commands: the log manager for a member's log, viewing
// the log, and mailing it once Outlook's Options dialog has closed.
#include "OutlookPropPage.h"

#include "AddInFamily.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "LogMail.h"
#include "LogManagerDlg.h"
#include "LogViewer.h"
#include "Logging.h"
#include "OutlookAddInTimer.h"

namespace Quenzal::OutlookAddIn {

namespace {

// The log to mail once the Options dialog has closed; one for the process,
// the latest choice replacing an earlier one that has not run yet.
struct PendingLogMail {
    StringW path;
    CDispatchObject application;
};

std::unique_ptr<PendingLogMail>& PendingLogMailSlot()
{
    static std::unique_ptr<PendingLogMail> slot;
    return slot;
}

COutlookAddInTimer& LogMailTimer()
{
    static COutlookAddInTimer timer(L"AttachLogToNewMessage", &COutlookPropPage::AttachLogToNewMessage);
    return timer;
}

void RunPendingLogMail(const PendingLogMail& pending)
{
    try {
        AttachLogTailToNewMessage({pending.path}, pending.application);
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::OutlookAddIn::COutlookPropPage::AttachLogToNewMessage", e);
        COutlookPropPage::ShowMessage(nullptr, 172, MB_ICONHAND);
        OpenLogFolder(pending.path);
    }
}

} // namespace

void COutlookPropPage::ManageLogs(const CAddInPanel& panel)
{
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::ManageLogs");
    StringW path = panel.GetLogPath();
    if (path.empty()) {
        Logging::Log(Logging::Error, L"Error retrieving log path from add-in");
        return;
    }
    if (!IsExistingFile(path)) {
        ShowMessage(GetWindowHandle(), 160, MB_ICONHAND);
        return;
    }
    int index = panel.GetIndex();
    bool debugAvailable = index >= 0 && index < QuenzalAddInCount;
    bool debugEnabled = debugAvailable && IsQuenzalAddInDebugEnabled(index);
    CLogManagerDlg dialog(debugEnabled, debugAvailable);
    int action = dialog.ShowModal(GetWindowHandle());
    if (debugAvailable && dialog.IsDebugEnabled() != debugEnabled) {
        SetQuenzalAddInDebugEnabled(index, dialog.IsDebugEnabled());
        ShowMessage(GetWindowHandle(), 356, MB_OK);
    }
    if (action == CLogManagerDlg::ViewLog)
        ViewLog(path);
    else if (action == CLogManagerDlg::SendLog)
        SendLog(path);
}

void COutlookPropPage::ViewLog(const StringW& path)
{
    try {
        ViewLogFile(path);
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::OutlookAddIn::COutlookPropPage::ManageLogs", e);
        ShowMessage(GetWindowHandle(), 177, MB_ICONHAND);
        OpenLogFolder(path);
    }
}

// Outlook's Options dialog closes first (the user was told that its changes
// are lost); the message opens from the timer once it has gone.
void COutlookPropPage::SendLog(const StringW& path)
{
    StringW text = GetLocalizedMessage(157) + L"\n\n" + GetLocalizedMessage(73) + L"\n\n" + GetLocalizedMessage(72);
    if (::MessageBoxW(GetWindowHandle(), text.c_str(), OutlookPropPageCaption, MB_OKCANCEL | MB_ICONINFORMATION) !=
        IDOK)
        return;
    PendingLogMailSlot() = std::make_unique<PendingLogMail>(PendingLogMail{path, m_application});
    HWND optionsDialog = ::GetParent(::GetParent(GetWindowHandle()));
    ::SendMessageW(optionsDialog, WM_COMMAND, IDCANCEL, 0);
    LogMailTimer().Start(DateTimeSpan(0, 0, 0, 0, 10));
}

void COutlookPropPage::AttachLogToNewMessage()
{
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::AttachLogToNewMessage");
    try {
        std::unique_ptr<PendingLogMail> pending = std::move(PendingLogMailSlot());
        if (!pending) {
            Logging::Log(Logging::Error, L"AttachLogToNewMessage called with nullptr params");
            return;
        }
        RunPendingLogMail(*pending);
    }
    QZL_CATCH_REPORT(L"AttachLogToNewMessage")
}

} // namespace Quenzal::OutlookAddIn

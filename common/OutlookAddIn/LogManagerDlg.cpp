#include "LogManagerDlg.h"

#include "Localization.h"
#include "OutlookAddInResources.h"

namespace Quenzal::OutlookAddIn {

namespace {

constexpr int EnableDebugLid = 355;
constexpr int DisableDebugLid = 358;

} // namespace

CLogManagerDlg::CLogManagerDlg(bool debugEnabled, bool debugAvailable)
    : CModalDialog(IDD_LOG_MANAGER), m_debugEnabled(debugEnabled), m_debugAvailable(debugAvailable)
{
}

int CLogManagerDlg::ShowModal(HWND parent)
{
    return DoModal(parent) == IDOK ? m_result : NoAction;
}

bool CLogManagerDlg::OnInitDialog()
{
    ShowDebugSwitch();
    return true;
}

void CLogManagerDlg::ShowDebugSwitch()
{
    if (!m_debugAvailable) {
        EnableItem(IDC_LOG_MANAGER_DEBUG_LOGGING, false);
        return;
    }
    SetControlText(IDC_LOG_MANAGER_DEBUG_LOGGING,
                   GetLocalizedMessage(m_debugEnabled ? DisableDebugLid : EnableDebugLid).c_str());
}

bool CLogManagerDlg::OnCommand(WORD controlId, WORD, HWND)
{
    switch (controlId) {
    case IDC_LOG_MANAGER_VIEW_LOG:
        m_result = ViewLog;
        EndDialog(IDOK);
        return true;
    case IDC_LOG_MANAGER_SEND_LOG:
        m_result = SendLog;
        EndDialog(IDOK);
        return true;
    case IDC_LOG_MANAGER_DEBUG_LOGGING:
        if (m_debugAvailable) {
            m_debugEnabled = !m_debugEnabled;
            ShowDebugSwitch();
        }
        return true;
    case IDCANCEL:
    case IDC_LOG_MANAGER_CLOSE:
        EndDialog(IDC_LOG_MANAGER_CLOSE);
        return true;
    default:
        return false;
    }
}

} // namespace Quenzal::OutlookAddIn

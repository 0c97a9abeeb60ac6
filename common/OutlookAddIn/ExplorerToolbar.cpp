#include "ExplorerToolbar.h"

#include "CaughtException.h"
#include "Logging.h"
#include "OutlookAddIn.h"
#include "OutlookIds.h"

namespace Quenzal::OutlookAddIn {

CExplorerToolbar::CExplorerToolbar(COutlookAddIn& owner) : CAddInToolbar(owner) {}

void CExplorerToolbar::Initialize(IDispatch* explorer)
{
    AdviseWindow(explorer, DIID_ExplorerEvents10,
                 {{DISPID_ExplorerActivate, [this] { OnActivate(); }},
                  {DISPID_ExplorerFolderSwitch, [this] { OnFolderSwitched(); }},
                  {DISPID_ExplorerSelectionChange, [this] { OnSelectionChange(); }},
                  {DISPID_ExplorerClose, [this] { OnClose(); }}});
}

void CExplorerToolbar::OnActivate()
{
    Logging::Log(Logging::Trace, L"Entered CExplorerToolbar::OnActivate");
    try {
        if (!HasButtons() && GetOwner().ShowToolbarForExplorer(GetExplorer().GetInterface()))
            AddButtons();
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CExplorerToolbar::OnActivate")
}

void CExplorerToolbar::OnFolderSwitched()
{
    Logging::Log(Logging::Trace, L"Entered CExplorerToolbar::OnFolderSwitched");
    try {
        RemoveControls(true);
        if (GetOwner().ShowToolbarForExplorer(GetExplorer().GetInterface()))
            OnActivate();
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CExplorerToolbar::OnFolderSwitched")
}

void CExplorerToolbar::OnSelectionChange() {}

void CExplorerToolbar::OnClose()
{
    Logging::Log(Logging::Trace, L"Entered CExplorerToolbar::OnClose");
    CloseWindow(&COutlookAddIn::RemoveExplorerToolbar, L"Quenzal::OutlookAddIn::CExplorerToolbar::OnClose");
}

} // namespace Quenzal::OutlookAddIn

#include "InspectorToolbar.h"

#include "CaughtException.h"
#include "Logging.h"
#include "OutlookAddIn.h"
#include "OutlookIds.h"

namespace Quenzal::OutlookAddIn {

CInspectorToolbar::CInspectorToolbar(COutlookAddIn& owner) : CAddInToolbar(owner) {}

void CInspectorToolbar::Initialize(IDispatch* inspector)
{
    AdviseWindow(inspector, DIID_InspectorEvents10,
                 {{DISPID_InspectorActivate, [this] { OnActivate(); }},
                  {DISPID_InspectorClose, [this] { OnClose(); }}});
}

void CInspectorToolbar::OnActivate()
{
    try {
        if (!HasButtons())
            AddButtons();
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CInspectorToolbar::OnActivate")
}

void CInspectorToolbar::OnClose()
{
    Logging::Log(Logging::Trace, L"Entered CInspectorToolbar::OnInspectorClose");
    CloseWindow(&COutlookAddIn::RemoveInspectorToolbar, L"Quenzal::OutlookAddIn::CInspectorToolbar::OnClose");
}

} // namespace Quenzal::OutlookAddIn

// Outlook's events as the add-in receives them: start-up and logon, the
// Options dialog, sending, and new explorer and inspector windows with their
// toolbars.
#include "OutlookAddIn.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "ExplorerToolbar.h"
#include "InspectorToolbar.h"
#include "Logging.h"
#include "Modules.h"
#include "OutlookAddInUtil.h"
#include "OutlookIds.h"
#include "OutlookPropPage.h"
#include "ResourceBuffer.h"

#include <algorithm>

namespace Quenzal::OutlookAddIn {

namespace {

void RemoveToolbar(std::vector<CAddInToolbarRef>& toolbars, CAddInToolbar* toolbar)
{
    auto found = std::find_if(toolbars.begin(), toolbars.end(),
                              [toolbar](const CAddInToolbarRef& held) { return held.Get() == toolbar; });
    if (found != toolbars.end())
        toolbars.erase(found);
}

} // namespace

void COutlookAddIn::OnOutlookStartup()
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnOutlookStartup");
}

void COutlookAddIn::OnMapiLogonComplete()
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnMapiLogonComplete");
    try {
        LogExchangeConnectionMode();
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::COutlookAddIn::OnMapiLogonComplete")
}

void COutlookAddIn::OnItemSend(IDispatch*, VARIANT_BOOL*)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnItemSend");
}

// One options page serves the whole family: it is added only when no member
// has added it yet.
void COutlookAddIn::OnOptionsPagesAdd(IDispatch* pages)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::OnOptionsPagesAdd";
    Logging::Log(Logging::Trace, L"Entered OnOptionsPagesAdd::OnOptionsPagesAdd");
    try {
        if (!ShouldAddPropertyPage())
            return;
        CDispatchObject propertyPages = CDispatchObject::Query(pages, IID_OutlookPropertyPages);
        if (!propertyPages)
            return;
        for (long i = 1; i <= propertyPages.GetLong(L"Count"); ++i) {
            if (propertyPages.GetDispatch(L"Item", {_variant_t(i)}).Supports(__uuidof(IOutlookPropPage))) {
                Logging::Log(Logging::Debug,
                             L"Quenzal Outlook add-in property page found in collection; aborting");
                return;
            }
        }
        Logging::Log(Logging::Debug, L"Quenzal Outlook add-in property not page found in collection; creating");
        CLSID pageClass = {};
        try {
            QZL_CHECK_COM_RESULT(function, ::CLSIDFromProgID(OutlookPropPageProgId, &pageClass));
        } catch (const CComError& e) {
            if (e.GetHResult() != CO_E_CLASSSTRING)
                throw;
            Logging::Log(Logging::Error,
                         L"Quenzal Outlook options page doesn't appear to be installed; attempting to repair");
            Os::RegisterModule(Os::GetModulePath(Os::GetThisModule()).c_str());
        }
        propertyPages.Call(L"Add", {_variant_t(OutlookPropPageProgId), _variant_t(L"Quenzal Networks")});
    }
    QZL_CATCH_REPORT(function)
}

void COutlookAddIn::OnNewExplorer(IDispatch* explorer)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnNewExplorer");
    try {
        if (!ShouldCreateExplorerToolbar())
            return;
        CAddInToolbarRef toolbar = CreateExplorerToolbar();
        if (!toolbar)
            return;
        m_explorerToolbars.reserve(m_explorerToolbars.size() + 1);
        toolbar->Initialize(CDispatchObject::Query(explorer, IID_OutlookExplorer).GetInterface());
        m_explorerToolbars.push_back(toolbar);
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::COutlookAddIn::OnNewExplorer")
}

void COutlookAddIn::OnNewInspector(IDispatch* inspector)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnNewInspector");
    try {
        CDispatchObject window = CDispatchObject::Query(inspector, IID_OutlookInspector);
        if (!ShowToolbarForInspector(window.GetInterface()))
            return;
        CAddInToolbarRef toolbar = CreateInspectorToolbar();
        if (!toolbar)
            return;
        m_inspectorToolbars.reserve(m_inspectorToolbars.size() + 1);
        toolbar->Initialize(window.GetInterface());
        m_inspectorToolbars.push_back(toolbar);
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::COutlookAddIn::OnNewInspector")
}

bool COutlookAddIn::ShouldCreateExplorerToolbar()
{
    return GetOutlookVersion() < 14;
}

// Outlook 2007 inspectors have the ribbon.
bool COutlookAddIn::ShouldCreateInspectorToolbar()
{
    return GetOutlookVersion() < 12;
}

CAddInToolbarRef COutlookAddIn::CreateExplorerToolbar()
{
    return CAddInToolbarRef::Create<CExplorerToolbar>(*this);
}

CAddInToolbarRef COutlookAddIn::CreateInspectorToolbar()
{
    return CAddInToolbarRef::Create<CInspectorToolbar>(*this);
}

// Buttons belong to folders of mail and posts.
bool COutlookAddIn::ShowToolbarForExplorer(IDispatch* explorer)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::ShowToolbarForExplorer";
    try {
        if (explorer == nullptr)
            QZL_THROW(function, CComError(E_POINTER));
        CDispatchObject folder = CDispatchObject(explorer).GetDispatch(L"CurrentFolder");
        if (!folder)
            return false;
        long itemType = folder.GetLong(L"DefaultItemType");
        return itemType == olMailItem || itemType == olPostItem;
    }
    QZL_CATCH_REPORT(function)
    return false;
}

// Only messages that have been sent or received (Outlook 2003 and older).
bool COutlookAddIn::ShowToolbarForInspector(IDispatch* inspector)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::ShowToolbarForInspector";
    if (!ShouldCreateInspectorToolbar())
        return false;
    try {
        if (inspector == nullptr)
            QZL_THROW(function, CComError(E_POINTER));
        CDispatchObject item = CDispatchObject(inspector).GetDispatch(L"CurrentItem");
        CDispatchObject mail = CDispatchObject::Query(item.GetInterface(), IID_OutlookMailItem);
        return mail && mail.GetBool(L"Sent");
    }
    QZL_CATCH_REPORT(function)
    return false;
}

void COutlookAddIn::RemoveExplorerToolbar(CAddInToolbar* toolbar)
{
    RemoveToolbar(m_explorerToolbars, toolbar);
}

void COutlookAddIn::RemoveInspectorToolbar(CAddInToolbar* toolbar)
{
    RemoveToolbar(m_inspectorToolbars, toolbar);
}

} // namespace Quenzal::OutlookAddIn

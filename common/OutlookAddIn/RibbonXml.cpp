// The custom-UI XML that Office asks for once per kind of window: the
// framework fixes the document's structure (tabs with the add-in's group,
// contextual tabs, the backstage, context menus), the element names and the
// callback names; the add-in fills in its group through the builders.
#include "OutlookAddIn.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "OutlookAddInUtil.h"
#include "RibbonSupport.h"

namespace Quenzal::OutlookAddIn {

HRESULT COutlookAddIn::raw_GetCustomUI(BSTR ribbonId, BSTR* ribbonXml)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::raw_GetCustomUI";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::raw_GetCustomUI");
    // No XML (also on failure): Office shows nothing of this add-in for that kind of window.
    if (ribbonXml != nullptr)
        *ribbonXml = nullptr;
    try {
        if (ribbonId == nullptr || ribbonXml == nullptr)
            QZL_THROW(function, CComError(E_POINTER));
        Net::CXmlFragment body = FormatRibbonXml(GetRibbonKind(ribbonId));
        if (body.CloseAndFormat().empty())
            return S_OK;
        Net::CXmlGenerator document;
        document.StartElement(L"customUI", {{L"onLoad", L"OnRibbonLoaded"},
                                            {L"xmlns", GetCustomUiNamespace()},
                                            {L"xmlns:qzl", FamilyXmlNamespace}});
        document.Append(body);
        StringW text = StringW::FromAnsi(document.CloseAndFormat(), CP_UTF8);
        BSTR xml = ::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
        if (xml == nullptr)
            QZL_THROW(function, CComError(E_OUTOFMEMORY));
        Logging::Log(Logging::Trace, text.c_str());
        *ribbonXml = xml;
        return S_OK;
    }
    QZL_CATCH_RETURN(function)
}

Net::CXmlFragment COutlookAddIn::FormatRibbonXml(int kind)
{
    Net::CXmlFragment fragment;
    if (IsRibbonSupported(kind))
        fragment.Append(FormatRibbonTabsXml(kind));
    if (kind == ExplorerRibbonKind && GetOutlookVersion() >= 14)
        fragment.Append(FormatBackstageXml());
    fragment.Append(FormatContextMenusXml(kind));
    return fragment;
}

// "ribbon" stays open for the caller.
Net::CXmlFragment COutlookAddIn::FormatRibbonTabsXml(int kind)
{
    Net::CXmlFragment fragment;
    fragment.StartElement(L"ribbon");
    fragment.StartElement(L"tabs");
    for (const StringW& tab : GetRibbonTabs(kind)) {
        fragment.StartElement(L"tab", {{L"idMso", tab}});
        fragment.Append(FormatRibbonGroupXml(kind, tab));
        fragment.EndElement();
    }
    fragment.EndElement();
    fragment.StartElement(L"contextualTabs");
    // Office wants one tabSet element per tab, even for tabs of one set.
    for (const StringW& tabSet : GetContextualTabSets(kind)) {
        for (const StringW& tab : GetContextualTabs(kind, tabSet)) {
            fragment.StartElement(L"tabSet", {{L"idMso", tabSet}});
            fragment.StartElement(L"tab", {{L"idMso", tab}});
            fragment.Append(FormatRibbonGroupXml(kind, tab));
            fragment.EndElement();
            fragment.EndElement();
        }
    }
    fragment.EndElement();
    return fragment;
}

// "backstage", its "tab" and "firstColumn" stay open for the caller.
Net::CXmlFragment COutlookAddIn::FormatBackstageXml()
{
    Net::CXmlFragment group = Ribbon::CreateBackstageGroup(GetAddInId());
    if (group.CloseAndFormat().empty())
        return Net::CXmlFragment();
    Net::CXmlFragment fragment;
    fragment.StartElement(L"backstage");
    fragment.StartElement(L"tab",
                          {{L"idQ", L"qzl:Options"}, {L"insertAfterMso", L"TabHelp"}, {L"label", L"Quenzal Networks"}});
    fragment.StartElement(L"firstColumn");
    fragment.Append(group);
    return fragment;
}

Net::CXmlFragment COutlookAddIn::FormatContextMenusXml(int kind)
{
    Net::CXmlFragment fragment;
    fragment.StartElement(L"contextMenus");
    for (const StringW& menu : GetRibbonContextMenus(kind)) {
        fragment.StartElement(L"contextMenu", {{L"idMso", menu}});
        fragment.Append(FormatContextMenuXml(kind, menu));
        fragment.EndElement();
    }
    fragment.EndElement();
    return fragment;
}

Net::CXmlFragment COutlookAddIn::FormatContextMenuXml(int, const StringW&)
{
    return Net::CXmlFragment();
}

// Backstage content needs the 2009/07 schema, which Outlook 2010 (14) brought.
StringW COutlookAddIn::GetCustomUiNamespace()
{
    return GetOutlookVersion() < 14 ? L"http://schemas.microsoft.com/office/2006/01/customui"
                                    : L"http://schemas.microsoft.com/office/2009/07/customui";
}

bool COutlookAddIn::IsRibbonSupported(int kind)
{
    return kind == ExplorerRibbonKind || kind == ReadRibbonKind;
}

std::vector<StringW> COutlookAddIn::GetRibbonTabs(int kind)
{
    switch (kind) {
    case 0:
        return {L"TabAppointment"};
    case 1:
        return {L"TabContact"};
    case 2:
        return {L"TabDistributionList"};
    case 3:
        return {L"TabMail"};
    case 5:
        return {L"TabNewMailMessage"};
    case 6:
    case 10:
        return {L"TabReadMessage"};
    case 20:
        return {L"TabTask"};
    default:
        return {};
    }
}

std::vector<StringW> COutlookAddIn::GetContextualTabSets(int)
{
    return {};
}

std::vector<StringW> COutlookAddIn::GetContextualTabs(int, const StringW&)
{
    return {};
}

std::vector<StringW> COutlookAddIn::GetRibbonContextMenus(int)
{
    return {};
}

} // namespace Quenzal::OutlookAddIn

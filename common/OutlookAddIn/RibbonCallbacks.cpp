// The ribbon side of the add-in: custom-UI XML, the callbacks Office calls by
// name, button dispatch and the backstage. The base builds no ribbon; an
// add-in with buttons supplies its group and its commands.
#include "OutlookAddIn.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "TextFileUtil.h"

namespace Quenzal::OutlookAddIn {

namespace {

constexpr int ExplorerRibbonKind = 3;
constexpr int MailReadRibbonKind = 6;

// A callback's answer: the out-value is always set, so that Office never
// reads or frees what it did not get; a missing control or out-pointer is
// E_POINTER. The base answers what needs no add-in of its own.
template <class T>
HRESULT Answer(IDispatch* ribbonControl, T* out, T value, HRESULT result)
{
    if (out != nullptr)
        *out = value;
    return ribbonControl == nullptr || out == nullptr ? E_POINTER : result;
}

} // namespace

HRESULT COutlookAddIn::raw_GetCustomUI(BSTR ribbonId, BSTR* ribbonXml)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::raw_GetCustomUI");
    if (ribbonId == nullptr || ribbonXml == nullptr)
        return E_POINTER;
    // No XML: Office shows nothing of this add-in for that kind of window.
    *ribbonXml = nullptr;
    return S_OK;
}

StringW COutlookAddIn::GetRibbonButtonLabel(int commandId)
{
    return GetLocalizedMessage(GetRibbonButtonLabelLid(commandId));
}

StringW COutlookAddIn::GetRibbonButtonTooltip(int commandId)
{
    return GetLocalizedMessage(GetRibbonButtonTooltipLid(commandId));
}

bool COutlookAddIn::IsRibbonButtonVisible(int, IDispatch*)
{
    return true;
}

void COutlookAddIn::OnToolbarButtonClicked(int, IDispatch*) {}

void COutlookAddIn::OnToolbarButtonToggled(int, bool, IDispatch*) {}

Net::CXmlFragment COutlookAddIn::FormatRibbonXml(int)
{
    return Net::CXmlFragment();
}

Net::CXmlFragment COutlookAddIn::FormatRibbonTabsXml(int)
{
    return Net::CXmlFragment();
}

Net::CXmlFragment COutlookAddIn::FormatBackstageXml()
{
    return Net::CXmlFragment();
}

Net::CXmlFragment COutlookAddIn::FormatContextMenusXml(int)
{
    return Net::CXmlFragment();
}

Net::CXmlFragment COutlookAddIn::FormatContextMenuXml(int, const StringW&)
{
    return Net::CXmlFragment();
}

UINT COutlookAddIn::GetRibbonButtonIconId(int)
{
    return 0;
}

int COutlookAddIn::GetRibbonButtonTooltipLid(int commandId)
{
    return GetRibbonButtonLabelLid(commandId);
}

// Backstage content needs the 2009/07 schema, which Outlook 2010 (14) brought.
StringW COutlookAddIn::GetCustomUiNamespace()
{
    return GetOutlookVersion() < 14 ? L"http://schemas.microsoft.com/office/2006/01/customui"
                                    : L"http://schemas.microsoft.com/office/2009/07/customui";
}

bool COutlookAddIn::IsRibbonSupported(int kind)
{
    return kind == ExplorerRibbonKind || kind == MailReadRibbonKind;
}

std::vector<StringW> COutlookAddIn::GetRibbonTabs(int)
{
    return {};
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

void COutlookAddIn::OnExplorerButtonClicked(int, IDispatch*) {}

void COutlookAddIn::OnInspectorButtonClicked(int, IDispatch*) {}

void COutlookAddIn::OnExplorerButtonToggled(int, bool, IDispatch*) {}

void COutlookAddIn::OnInspectorButtonToggled(int, bool, IDispatch*) {}

void COutlookAddIn::OnBackstageConfigure() {}

void COutlookAddIn::OnBackstageManageLogs() {}

void COutlookAddIn::OnViewLog(const StringW& path)
{
    try {
        OpenTextFile(path);
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::COutlookAddIn::OnViewLog")
}

void COutlookAddIn::OnSendLog(const StringW&) {}

HRESULT COutlookAddIn::OnRibbonLoaded(IDispatch* ribbon)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnRibbonLoaded");
    if (ribbon == nullptr)
        return E_POINTER;
    m_ribbonUi = CDispatchObject(ribbon);
    return S_OK;
}

HRESULT COutlookAddIn::OnRibbonButtonClicked(IDispatch* ribbonControl)
{
    return ribbonControl == nullptr ? E_POINTER : E_NOTIMPL;
}

HRESULT COutlookAddIn::OnRibbonButtonToggled(IDispatch* ribbonControl, VARIANT_BOOL)
{
    return ribbonControl == nullptr ? E_POINTER : E_NOTIMPL;
}

HRESULT COutlookAddIn::GetRibbonButtonImage(IDispatch* ribbonControl, IPictureDisp** image)
{
    return Answer(ribbonControl, image, static_cast<IPictureDisp*>(nullptr), E_NOTIMPL);
}

HRESULT COutlookAddIn::GetRibbonButtonLabel(IDispatch* ribbonControl, BSTR* label)
{
    return Answer(ribbonControl, label, static_cast<BSTR>(nullptr), E_NOTIMPL);
}

HRESULT COutlookAddIn::GetRibbonButtonTooltip(IDispatch* ribbonControl, BSTR* tooltip)
{
    return Answer(ribbonControl, tooltip, static_cast<BSTR>(nullptr), E_NOTIMPL);
}

HRESULT COutlookAddIn::GetRibbonButtonEnabled(IDispatch* ribbonControl, VARIANT_BOOL* enabled)
{
    return Answer(ribbonControl, enabled, VARIANT_TRUE, S_OK);
}

HRESULT COutlookAddIn::GetRibbonButtonVisible(IDispatch* ribbonControl, VARIANT_BOOL* visible)
{
    return Answer(ribbonControl, visible, VARIANT_TRUE, S_OK);
}

HRESULT COutlookAddIn::GetRibbonButtonPressedState(IDispatch* ribbonControl, VARIANT_BOOL* pressed)
{
    return Answer(ribbonControl, pressed, VARIANT_FALSE, S_OK);
}

HRESULT COutlookAddIn::GetRibbonMenuContent(IDispatch* ribbonControl, BSTR* content)
{
    return Answer(ribbonControl, content, static_cast<BSTR>(nullptr), S_OK);
}

HRESULT COutlookAddIn::GetContextMenuLabel(IDispatch* ribbonControl, BSTR* label)
{
    return GetRibbonButtonLabel(ribbonControl, label);
}

HRESULT COutlookAddIn::GetContextMenuContent(IDispatch* ribbonControl, BSTR* content)
{
    return GetRibbonMenuContent(ribbonControl, content);
}

HRESULT COutlookAddIn::OnBackstageButtonClicked(IDispatch* ribbonControl)
{
    return ribbonControl == nullptr ? E_POINTER : E_NOTIMPL;
}

HRESULT COutlookAddIn::GetBackstageImage(IDispatch* ribbonControl, IPictureDisp** image)
{
    return Answer(ribbonControl, image, static_cast<IPictureDisp*>(nullptr), E_NOTIMPL);
}

HRESULT COutlookAddIn::GetBackstageElementLabel(IDispatch* ribbonControl, BSTR* label)
{
    return Answer(ribbonControl, label, static_cast<BSTR>(nullptr), E_NOTIMPL);
}

} // namespace Quenzal::OutlookAddIn

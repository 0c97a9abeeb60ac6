// Which of the add-in's buttons each Outlook window shows, on the ribbon and
// on the command bars of Outlook versions without it, and what state they show.
#include "NxoOutlookAddIn.h"

#include "CaughtException.h"
#include "EncryptButtonEventSink.h"
#include "ErrorReport.h"
#include "InspectorToolbar.h"
#include "Logging.h"
#include "NxoCommandIds.h"
#include "NxoOlaUtil.h"
#include "NxoOutlookAddInConfig.h"
#include "OutlookIds.h"
#include "OutlookAddInUtil.h"
#include "RibbonSupport.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

// The message tab of the inline response's compose tools.
constexpr wchar_t InlineMessageTab[] = L"TabMessage";

// Administrators hide buttons for everyone; saying so once per process is enough.
bool g_hiddenButtonsLogged = false;

void LogHidden(const wchar_t* text)
{
    if (!g_hiddenButtonsLogged)
        Logging::Log(Logging::Warning, text);
}

bool IsPolicySet(const wchar_t* name)
{
    return CNxoOutlookAddInConfig::GetInstance().IsPolicyEnabled(name);
}

} // namespace

bool CNxoOutlookAddIn::IsRibbonSupported(int kind)
{
    return kind == ExplorerRibbonKind || kind == ComposeRibbonKind || kind == ReadRibbonKind;
}

std::vector<StringW> CNxoOutlookAddIn::GetContextualTabSets(int kind)
{
    std::vector<StringW> sets = COutlookAddIn::GetContextualTabSets(kind);
    // Inline responses (Outlook 2013 and later) compose inside the explorer.
    if (kind == ExplorerRibbonKind && GetOutlookVersion() >= 15)
        sets.push_back(L"TabComposeTools");
    return sets;
}

std::vector<StringW> CNxoOutlookAddIn::GetContextualTabs(int kind, const StringW& tabSetIdMso)
{
    std::vector<StringW> tabs = COutlookAddIn::GetContextualTabs(kind, tabSetIdMso);
    tabs.push_back(InlineMessageTab);
    return tabs;
}

Net::CXmlFragment CNxoOutlookAddIn::FormatRibbonGroupXml(int kind, const StringW& tabIdMso)
{
    Net::CXmlFragment group = Ribbon::CreateGroup(tabIdMso, Ribbon::CanUseVerticalGroups(GetApplication()));
    struct LoggedOnReturn {
        ~LoggedOnReturn() { g_hiddenButtonsLogged = true; }
    } logged;
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    if (config.IsPolicyEnabled(NxoPolicies::HideToolbarButtons) || m_addInDisabled) {
        LogHidden(L"All ribbon buttons have been hidden");
        return group;
    }
    bool composing = kind == ComposeRibbonKind || (kind == ExplorerRibbonKind && tabIdMso == InlineMessageTab);
    if (composing) {
        bool encryptionHidden = config.IsPolicyEnabled(NxoPolicies::HideEncryptionButtons);
        bool kvdHidden = config.AreKvdButtonsHidden();
        if (encryptionHidden && kvdHidden)
            return group;
        if (encryptionHidden)
            LogHidden(L"Encryption button has been hidden");
        else
            group.Append(Ribbon::CreateMsoImageToggleButton(GetCommandName(CommandEncrypt), L"EncryptMessage"));
        if (kvdHidden)
            LogHidden(L"KVD button has been hidden");
        else
            group.Append(Ribbon::CreateMsoImageButton(GetCommandName(CommandAttachLink), L"HyperlinkInsert"));
        return group;
    }
    if (kind != ExplorerRibbonKind && kind != ReadRibbonKind)
        QZL_THROW(QZL_FUNCTION, CException(L"Unknown case"));
    if (config.IsPolicyEnabled(NxoPolicies::HideClassificationButtons)) {
        LogHidden(L"Classification buttons have been hidden");
        return group;
    }
    group.Append(Ribbon::CreateCustomImageButton(GetCommandName(CommandSpam)));
    group.Append(Ribbon::CreateCustomImageButton(GetCommandName(CommandNotSpam)));
    return group;
}

// A compose inspector's bar: encryption and the large-file link.
bool CNxoOutlookAddIn::CreateInspectorToolbarButtons(CAddInToolbar& toolbar)
{
    auto* inspectorToolbar = dynamic_cast<CInspectorToolbar*>(&toolbar);
    if (inspectorToolbar == nullptr)
        return false;
    if (!inspectorToolbar->GetInspector())
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    CDispatchObject message = GetWindowMessage(inspectorToolbar->GetInspector().GetInterface());
    if (!message || message.GetBool(L"Sent"))
        return false;
    if (IsPolicySet(NxoPolicies::HideToolbarButtons)) {
        Logging::Log(Logging::Trace, L"All toolbar buttons have been hidden");
        return true;
    }
    if (!IsPolicySet(NxoPolicies::HideEncryptionButtons))
        toolbar.AddButton(CommandEncrypt, GetCommandName(CommandEncrypt), 246, 247, 225, true,
                          CButtonEventSinkRef::Create<CEncryptButtonEventSink>(*this, *inspectorToolbar));
    if (!CNxoOutlookAddInConfig::GetInstance().AreKvdButtonsHidden())
        toolbar.AddButton(CommandAttachLink, GetCommandName(CommandAttachLink), 284, 285, 1576, true);
    return true;
}

void CNxoOutlookAddIn::CreateToolbarButtons(CAddInToolbar& toolbar)
{
    if (CreateInspectorToolbarButtons(toolbar))
        return;
    if (IsPolicySet(NxoPolicies::HideToolbarButtons)) {
        Logging::Log(Logging::Trace, L"All toolbar buttons have been hidden");
        return;
    }
    if (IsPolicySet(NxoPolicies::HideClassificationButtons))
        return;
    toolbar.AddButton(CommandSpam, GetCommandName(CommandSpam), 83, 35, 208, false);
    toolbar.AddButton(CommandNotSpam, GetCommandName(CommandNotSpam), 82, 34, 207, false);
}

// Outlook 2003 and older: every mail window has a bar, also while composing.
bool CNxoOutlookAddIn::ShowToolbarForInspector(IDispatch* inspector)
{
    try {
        return ShouldCreateInspectorToolbar() && GetWindowMessage(inspector);
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
    return false;
}

void CNxoOutlookAddIn::OnNewInspector(IDispatch* inspector)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnNewInspector");
    try {
        // The new window's toggle reads its message's flag afresh.
        if (const CDispatchObject& ribbon = GetRibbonUI(); ribbon && GetWindowMessage(inspector))
            ribbon.Call(L"InvalidateControl", {_variant_t(GetCommandName(CommandEncrypt).c_str())});
    } catch (...) {
        (void)ReportCaughtException(__FILE__, QZL_FUNCTION, __LINE__);
        return;
    }
    COutlookAddIn::OnNewInspector(inspector);
}

HRESULT CNxoOutlookAddIn::GetRibbonButtonVisible(IDispatch* ribbonControl, VARIANT_BOOL* visible)
{
    if (visible != nullptr)
        *visible = VARIANT_FALSE;
    if (ribbonControl == nullptr || visible == nullptr)
        return E_POINTER;
    if (m_addInDisabled)
        return S_OK;
    return COutlookAddIn::GetRibbonButtonVisible(ribbonControl, visible);
}

HRESULT CNxoOutlookAddIn::GetRibbonButtonPressedState(IDispatch* ribbonControl, VARIANT_BOOL* pressed)
{
    if (pressed != nullptr)
        *pressed = VARIANT_FALSE;
    try {
        if (ribbonControl == nullptr || pressed == nullptr)
            QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
        CDispatchObject control = CDispatchObject::Query(ribbonControl, IID_OfficeRibbonControl);
        if (!control)
            QZL_THROW(QZL_FUNCTION, CComError(E_INVALIDARG, L"not a ribbon control"));
        CDispatchObject window = control.GetDispatch(L"Context");
        if (!window)
            return S_OK;
        int commandId = GetRibbonButtonId(ribbonControl);
        if (commandId != -1 && GetRibbonButtonPressed(commandId, window.GetInterface()))
            *pressed = VARIANT_TRUE;
        return S_OK;
    }
    QZL_CATCH_RETURN(QZL_FUNCTION)
}

bool CNxoOutlookAddIn::GetRibbonButtonPressed(int commandId, IDispatch* window)
{
    try {
        if (commandId != CommandEncrypt || !GetMessageEncryptionFlag(GetWindowMessage(window)))
            return false;
        Logging::Log(Logging::Debug, L"Message is flagged for encryption");
        return true;
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
    return false;
}

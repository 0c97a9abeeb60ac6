// The ribbon callbacks that Office calls by name: each checks its arguments,
// turns the control into a command id through the add-in, and converts the
// add-in's answer into the COM result. Every out-value is set on every path
// (nothing, false, null when there is nothing to give), so that Office never
// reads or frees what it did not get; no exception leaves a callback.
#include "OutlookAddIn.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "AddInBusy.h"
#include "AddInFamily.h"
#include "OlePicture.h"
#include "RibbonSupport.h"
#include "OutlookIds.h"

namespace Quenzal::OutlookAddIn {

namespace {

constexpr const wchar_t* Qualified = L"Quenzal::OutlookAddIn::COutlookAddIn::";

template <class T>
void Clear(T* out, T value)
{
    if (out != nullptr)
        *out = value;
}

// The control argument as Office's IRibbonControl; null is E_POINTER, another
// kind of object E_INVALIDARG.
CDispatchObject RequireRibbonControl(IDispatch* control, const StringW& function)
{
    if (control == nullptr)
        QZL_THROW(function.c_str(), CComError(E_POINTER));
    CDispatchObject ribbonControl = CDispatchObject::Query(control, IID_OfficeRibbonControl);
    if (!ribbonControl)
        QZL_THROW(function.c_str(), CComError(E_INVALIDARG, L"not a ribbon control"));
    return ribbonControl;
}

void RequireOut(const void* out, const StringW& function)
{
    if (out == nullptr)
        QZL_THROW(function.c_str(), CComError(E_POINTER));
}

// The window the control belongs to (an explorer or an inspector).
CDispatchObject RequireContext(const CDispatchObject& ribbonControl, const StringW& function)
{
    CDispatchObject window = ribbonControl.GetDispatch(L"Context");
    if (!window)
        QZL_THROW(function.c_str(), CComError(E_INVALIDARG, L"ribbon control without a window"));
    return window;
}

// A button's label or tooltip message; a missing message still has its
// placeholder text, only an empty one is refused.
StringW GetButtonText(int lid, const wchar_t* what, const wchar_t* name)
{
    StringW function = StringW(Qualified) + name;
    if (lid == 0)
        QZL_THROW(function.c_str(), CException(StringW::Format(L"Unable to get button %s lid", what)));
    StringW text = GetLocalizedMessage(lid);
    if (text.empty())
        QZL_THROW(function.c_str(),
                  CException(StringW::Format(L"Button %s lid is invalid: %d", what, lid)));
    return text;
}

BSTR AllocateText(const StringW& text, const StringW& function)
{
    BSTR copy = ::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    if (copy == nullptr)
        QZL_THROW(function.c_str(), CComError(E_OUTOFMEMORY));
    return copy;
}

} // namespace

// The command id of a control, which a click, toggle or visibility question needs.
int COutlookAddIn::RequireRibbonButtonId(IDispatch* ribbonControl, const wchar_t* function)
{
    int commandId = GetRibbonButtonId(ribbonControl);
    if (commandId == -1)
        QZL_THROW(function, CException(L"Unable to get ribbon button ID from control"));
    return commandId;
}

StringW COutlookAddIn::GetRibbonButtonLabel(int commandId)
{
    return GetButtonText(GetRibbonButtonLabelLid(commandId), L"label", L"GetRibbonButtonLabel");
}

StringW COutlookAddIn::GetRibbonButtonTooltip(int commandId)
{
    return GetButtonText(GetRibbonButtonTooltipLid(commandId), L"tooltip", L"GetRibbonButtonTooltip");
}

bool COutlookAddIn::IsRibbonButtonVisible(int, IDispatch*)
{
    return true;
}

// Ribbon and command bars both end here; the window tells which kind of
// Outlook window the button belongs to. Any other window is ignored. A
// command may show windows of its own: the add-in is held meanwhile.
void COutlookAddIn::OnToolbarButtonClicked(int commandId, IDispatch* window)
{
    CAddInBusy busy(*this);
    if (CDispatchObject explorer = CDispatchObject::Query(window, IID_OutlookExplorer))
        OnExplorerButtonClicked(commandId, explorer.GetInterface());
    else if (CDispatchObject inspector = CDispatchObject::Query(window, IID_OutlookInspector))
        OnInspectorButtonClicked(commandId, inspector.GetInterface());
}

void COutlookAddIn::OnToolbarButtonToggled(int commandId, bool pressed, IDispatch* window)
{
    CAddInBusy busy(*this);
    if (CDispatchObject explorer = CDispatchObject::Query(window, IID_OutlookExplorer))
        OnExplorerButtonToggled(commandId, pressed, explorer.GetInterface());
    else if (CDispatchObject inspector = CDispatchObject::Query(window, IID_OutlookInspector))
        OnInspectorButtonToggled(commandId, pressed, inspector.GetInterface());
}

UINT COutlookAddIn::GetRibbonButtonIconId(int)
{
    return 0;
}

int COutlookAddIn::GetRibbonButtonTooltipLid(int commandId)
{
    return GetRibbonButtonLabelLid(commandId);
}

void COutlookAddIn::OnExplorerButtonClicked(int, IDispatch*) {}

void COutlookAddIn::OnInspectorButtonClicked(int, IDispatch*) {}

void COutlookAddIn::OnExplorerButtonToggled(int, bool, IDispatch*) {}

void COutlookAddIn::OnInspectorButtonToggled(int, bool, IDispatch*) {}

HRESULT COutlookAddIn::OnRibbonLoaded(IDispatch* ribbon)
{
    StringW function = StringW(Qualified) + L"OnRibbonLoaded";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnRibbonLoaded");
    try {
        if (ribbon == nullptr)
            QZL_THROW(function.c_str(), CComError(E_POINTER));
        m_ribbonUi = CDispatchObject();
        m_ribbonUi = CDispatchObject::Query(ribbon, IID_OfficeRibbonUI);
        if (!m_ribbonUi)
            QZL_THROW(function.c_str(), CComError(E_FAIL, L"not a ribbon"));
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookAddIn::OnRibbonButtonClicked(IDispatch* ribbonControl)
{
    StringW function = StringW(Qualified) + L"OnRibbonButtonClicked";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnRibbonButtonClicked");
    try {
        CDispatchObject window = RequireContext(RequireRibbonControl(ribbonControl, function), function);
        OnToolbarButtonClicked(RequireRibbonButtonId(ribbonControl, function.c_str()), window.GetInterface());
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookAddIn::OnRibbonButtonToggled(IDispatch* ribbonControl, VARIANT_BOOL pressed)
{
    StringW function = StringW(Qualified) + L"OnRibbonButtonToggled";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnRibbonButtonToggled");
    try {
        CDispatchObject window = RequireContext(RequireRibbonControl(ribbonControl, function), function);
        OnToolbarButtonToggled(RequireRibbonButtonId(ribbonControl, function.c_str()), pressed != VARIANT_FALSE,
                               window.GetInterface());
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookAddIn::GetRibbonButtonImage(IDispatch* ribbonControl, IPictureDisp** image)
{
    StringW function = StringW(Qualified) + L"GetRibbonButtonImage";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::GetRibbonButtonImage");
    Clear(image, static_cast<IPictureDisp*>(nullptr));
    try {
        RequireOut(image, function);
        RequireRibbonControl(ribbonControl, function);
        UINT resource = GetRibbonButtonIconId(GetRibbonButtonId(ribbonControl));
        if (resource == 0)
            QZL_THROW(function.c_str(), CException(L"Unable to get ribbon button image resource ID"));
        Os::CIcon icon = LoadModuleIcon(resource);
        if (!icon)
            QZL_THROW(function.c_str(), CException(L"Unable to load ribbon button image"));
        *image = CreateIconPicture(std::move(icon)).Detach();
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookAddIn::AnswerButtonText(IDispatch* ribbonControl, BSTR* text, const wchar_t* name,
                                        StringW (COutlookAddIn::*getText)(int))
{
    StringW function = StringW(Qualified) + name;
    Logging::Log(Logging::Trace, (L"Entered COutlookAddIn::" + StringW(name)).c_str());
    Clear(text, static_cast<BSTR>(nullptr));
    try {
        RequireOut(text, function);
        RequireRibbonControl(ribbonControl, function);
        // An unknown control's id is refused by the add-in's message ids.
        *text = AllocateText((this->*getText)(GetRibbonButtonId(ribbonControl)), function);
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookAddIn::GetRibbonButtonLabel(IDispatch* ribbonControl, BSTR* label)
{
    return AnswerButtonText(ribbonControl, label, L"GetRibbonButtonLabel", &COutlookAddIn::GetRibbonButtonLabel);
}

HRESULT COutlookAddIn::GetRibbonButtonTooltip(IDispatch* ribbonControl, BSTR* tooltip)
{
    return AnswerButtonText(ribbonControl, tooltip, L"GetRibbonButtonTooltip",
                            &COutlookAddIn::GetRibbonButtonTooltip);
}

HRESULT COutlookAddIn::GetRibbonButtonEnabled(IDispatch* ribbonControl, VARIANT_BOOL* enabled)
{
    StringW function = StringW(Qualified) + L"GetRibbonButtonEnabled";
    Clear(enabled, static_cast<VARIANT_BOOL>(VARIANT_FALSE));
    try {
        if (ribbonControl == nullptr)
            QZL_THROW(function.c_str(), CComError(E_POINTER));
        RequireOut(enabled, function);
        *enabled = VARIANT_TRUE;
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookAddIn::GetRibbonButtonVisible(IDispatch* ribbonControl, VARIANT_BOOL* visible)
{
    StringW function = StringW(Qualified) + L"GetRibbonButtonVisible";
    Clear(visible, static_cast<VARIANT_BOOL>(VARIANT_FALSE));
    try {
        RequireOut(visible, function);
        CDispatchObject window = RequireContext(RequireRibbonControl(ribbonControl, function), function);
        int commandId = RequireRibbonButtonId(ribbonControl, function.c_str());
        *visible = IsRibbonButtonVisible(commandId, window.GetInterface()) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

// The base knows of no pressed buttons and of no menus.
HRESULT COutlookAddIn::GetRibbonButtonPressedState(IDispatch* ribbonControl, VARIANT_BOOL* pressed)
{
    Clear(pressed, static_cast<VARIANT_BOOL>(VARIANT_FALSE));
    return ribbonControl == nullptr || pressed == nullptr ? E_POINTER : S_OK;
}

HRESULT COutlookAddIn::GetRibbonMenuContent(IDispatch* ribbonControl, BSTR* content)
{
    Clear(content, static_cast<BSTR>(nullptr));
    return ribbonControl == nullptr || content == nullptr ? E_POINTER : S_OK;
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
    StringW function = StringW(Qualified) + L"OnBackstageButtonClicked";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnBackstageButtonClicked");
    try {
        CAddInBusy busy(*this);
        RequireRibbonControl(ribbonControl, function);
        switch (Ribbon::GetBackstageElementFromControl(ribbonControl)) {
        case BackstageConfig:
            OnBackstageConfigure();
            break;
        case BackstageLogs:
            OnBackstageManageLogs();
            break;
        default:
            break;
        }
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

// The family member's own bitmap.
HRESULT COutlookAddIn::GetBackstageImage(IDispatch* ribbonControl, IPictureDisp** image)
{
    StringW function = StringW(Qualified) + L"GetBackstageImage";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::GetBackstageImage");
    Clear(image, static_cast<IPictureDisp*>(nullptr));
    try {
        if (ribbonControl == nullptr)
            QZL_THROW(function.c_str(), CComError(E_POINTER));
        RequireOut(image, function);
        CBitmap bitmap = LoadQuenzalAddInBitmap(GetAddInId());
        if (!bitmap)
            QZL_THROW(function.c_str(), CException(L"Unable to get Quenzal add-in bitmap"));
        *image = CreateBitmapPicture(std::move(bitmap)).Detach();
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

// Configure, View Log, and the status line with the member's version.
HRESULT COutlookAddIn::GetBackstageElementLabel(IDispatch* ribbonControl, BSTR* label)
{
    StringW function = StringW(Qualified) + L"GetBackstageElementLabel";
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::GetBackstageElementLabel");
    Clear(label, static_cast<BSTR>(nullptr));
    try {
        RequireOut(label, function);
        RequireRibbonControl(ribbonControl, function);
        int lid = 0;
        StringW text;
        switch (Ribbon::GetBackstageElementFromControl(ribbonControl)) {
        case BackstageConfig:
            lid = 41;
            break;
        case BackstageLogs:
            lid = 185;
            break;
        case BackstageStatus: {
            lid = 183;
            BSTR version = nullptr;
            HRESULT hr = static_cast<IOutlookAddIn*>(this)->GetVersion(&version);
            _bstr_t holder(version, false);
            QZL_CHECK_COM_RESULT(function.c_str(), hr);
            text = FormatLocalizedMessage(lid, version != nullptr ? version : L"");
            break;
        }
        default:
            break;
        }
        if (text.empty() && lid != 0)
            text = GetLocalizedMessage(lid);
        if (text.empty())
            QZL_THROW(function.c_str(), CException(L"Unable to format backstage element label"));
        *label = AllocateText(text, function);
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

} // namespace Quenzal::OutlookAddIn

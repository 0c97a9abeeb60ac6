#include "AddInToolbar.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Guid.h"
#include "Localization.h"
#include "Logging.h"
#include "OlePicture.h"
#include "OutlookAddIn.h"
#include "OutlookIds.h"

#include <exception>

namespace Quenzal::OutlookAddIn {

namespace {

_variant_t Missing()
{
    return _variant_t(DISP_E_PARAMNOTFOUND, VT_ERROR);
}

} // namespace

CAddInToolbar::CAddInToolbar(COutlookAddIn& owner) : m_owner(owner), m_instance(CreateGuid()) {}

CAddInToolbar::~CAddInToolbar()
{
    try {
        CAddInToolbar::Uninitialize();
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CAddInToolbar::~CAddInToolbar")
    RemoveControls(false);
    // A sink whose source failed to let go of it must not reach this toolbar any more.
    for (CEventSinkRef& sink : m_windowSinks)
        sink->Disconnect();
    for (CButtonEventSinkRef& sink : m_sinks)
        sink->Disconnect();
}

StringW CAddInToolbar::MakeButtonTag(const StringW& name) const
{
    return name + L"." + StringW::FromAnsi(Guid::ToHexString(m_instance, false), CP_ACP);
}

long CAddInToolbar::GetButtonStyle()
{
    return msoButtonIcon;
}

void CAddInToolbar::DeleteControl(const CDispatchObject& control, const wchar_t* function)
{
    try {
        control.Call(L"Delete", {_variant_t(false)});
    }
    QZL_CATCH_REPORT(function)
}

// A temporary control at the end of the bar, after the orphans of its name have gone.
CDispatchObject CAddInToolbar::AddControl(long type, const StringW& name, const wchar_t* function)
{
    if (!m_controls)
        QZL_THROW(function, CException(L"Controls not initialized"));
    DeleteOrphanedButtons(name);
    return CDispatchObject::FromVariant(
        m_controls.Call(L"Add", {_variant_t(type), Missing(), Missing(), Missing(), _variant_t(true)}));
}

CDispatchObject CAddInToolbar::AddButton(int commandId, const StringW& name, int captionLid, int tooltipLid,
                                         UINT iconId, bool useFaceId, CButtonEventSinkRef sink)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::CAddInToolbar::AddButton";
    CDispatchObject control = AddControl(msoControlButton, name, function);
    try {
        CDispatchObject button = CDispatchObject::Query(control.GetInterface(), IID_OfficeCommandBarButton);
        if (!button)
            QZL_THROW(function, CComError(E_NOINTERFACE, L"the new control is no command-bar button"));
        ConfigureButton(button, name, captionLid, tooltipLid, iconId, useFaceId);
        if (!sink) {
            // The toolbar owns its sinks, so the action may refer to it.
            sink = CButtonEventSinkRef::Create(CButtonEventSink::Action(
                [this, commandId](IUnknown*, VARIANT_BOOL*) {
                    CObjectRef<CAddInToolbar> self(this);
                    OnButtonClicked(commandId);
                }));
        }
        m_sinks.reserve(m_sinks.size() + 1);
        sink->Initialize(button);
        m_sinks.push_back(sink);
        return button;
    } catch (...) {
        DeleteControl(control, function);
        throw;
    }
}

CDispatchObject CAddInToolbar::AddPopup(const StringW& name, int captionLid, int tooltipLid)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::CAddInToolbar::AddPopup";
    CDispatchObject control = AddControl(msoControlPopup, name, function);
    try {
        CDispatchObject popup = CDispatchObject::Query(control.GetInterface(), IID_OfficeCommandBarPopup);
        if (!popup)
            QZL_THROW(function, CComError(E_NOINTERFACE, L"the new control is no command-bar pop-up"));
        ConfigurePopup(popup, name, captionLid, tooltipLid);
        return popup;
    } catch (...) {
        DeleteControl(control, function);
        throw;
    }
}

// Buttons that an earlier toolbar of this add-in left on the bar carry the
// same command name with another GUID. The name is matched with its "." so
// that a longer command name ("Mark" and "Markup") is not taken for it.
void CAddInToolbar::DeleteOrphanedButtons(const StringW& name)
{
    const StringW prefix = name + L".";
    for (long index = m_controls.GetLong(L"Count"); index >= 1; --index) {
        CDispatchObject control = m_controls.GetDispatch(L"Item", {_variant_t(index)});
        if (!control)
            continue;
        StringW tag = control.GetString(L"Tag");
        if (tag.size() >= prefix.size() && _wcsnicmp(tag.c_str(), prefix.c_str(), prefix.size()) == 0) {
            Logging::Log(Logging::Trace, L"Found orphaned button; deleting (CAddInToolbar::AddButtons)");
            control.Call(L"Delete", {_variant_t(false)});
        }
    }
}

void CAddInToolbar::ConfigureButton(const CDispatchObject& button, const StringW& name, int captionLid,
                                    int tooltipLid, UINT iconId, bool useFaceId)
{
    button.Put(L"Tag", _variant_t(MakeButtonTag(name).c_str()));
    if (GetButtonStyle() != msoButtonIcon)
        button.Put(L"Caption", _variant_t(GetLocalizedMessage(captionLid).c_str()));
    button.Put(L"TooltipText", _variant_t(GetLocalizedMessage(tooltipLid).c_str()));
    button.Put(L"Style", _variant_t(GetButtonStyle()));
    // A separator before the toolbar's first button.
    button.Put(L"BeginGroup", _variant_t(m_sinks.empty()));
    if (useFaceId)
        button.Put(L"FaceId", _variant_t(static_cast<long>(iconId)));
    else
        SetButtonIcon(button, iconId);
}

void CAddInToolbar::ConfigurePopup(const CDispatchObject& popup, const StringW& name, int captionLid, int tooltipLid)
{
    popup.Put(L"Tag", _variant_t(MakeButtonTag(name).c_str()));
    popup.Put(L"Caption", _variant_t(GetLocalizedMessage(captionLid).c_str()));
    popup.Put(L"TooltipText", _variant_t(GetLocalizedMessage(tooltipLid).c_str()));
    popup.Put(L"BeginGroup", _variant_t(m_sinks.empty()));
}

void CAddInToolbar::SetButtonIcon(const CDispatchObject& button, UINT bitmapId)
{
    CBitmap bitmap = LoadModuleBitmap(bitmapId);
    if (!bitmap)
        QZL_THROW(L"Quenzal::OutlookAddIn::CAddInToolbar::SetButtonIcon", CWinError());
    // Picture is typed IPictureDisp; the object is the same IPicture either way.
    IPictureDispPtr picture = CreateBitmapPicture(std::move(bitmap));
    button.Put(L"Picture", _variant_t(static_cast<IDispatch*>(picture.GetInterfacePtr())));
}

void CAddInToolbar::RemoveControls(bool deleteButtons)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::CAddInToolbar::RemoveControls";
    try {
        for (CButtonEventSinkRef& sink : m_sinks) {
            CDispatchObject button = sink->GetButton();
            sink->Uninitialize();
            if (deleteButtons && button)
                DeleteControl(button, function);
        }
        m_sinks.clear();
    }
    QZL_CATCH_REPORT(function)
}

void CAddInToolbar::OnButtonClicked(int commandId)
{
    m_owner.OnToolbarButtonClicked(commandId, m_window.GetInterface());
}

void CAddInToolbar::AdviseWindow(IDispatch* window, const IID& events, const std::vector<EventRoute>& routes)
{
    if (window == nullptr)
        QZL_THROW(L"Quenzal::OutlookAddIn::CAddInToolbar::Initialize", CComError(E_POINTER));
    if (m_windowSinks.empty()) {
        for (const auto& [event, handler] : routes)
            m_windowSinks.push_back(CEventSinkRef::Create(
                events, std::map<DISPID, CEventSink::Handler>{{event, [handler](const CEventArguments&) { handler(); }}}));
    }
    try {
        for (CEventSinkRef& sink : m_windowSinks)
            sink->Advise(window);
    } catch (...) {
        // The window is not kept: what was advised is taken back.
        for (CEventSinkRef& sink : m_windowSinks) {
            try {
                sink->Unadvise();
            }
            QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CAddInToolbar::Initialize")
        }
        throw;
    }
    m_window = CDispatchObject(window);
    OnActivate();
}

void* CAddInToolbar::GetInterface(REFIID iid)
{
    return iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
}

// The sinks go last first.
void CAddInToolbar::Uninitialize()
{
    if (!m_window)
        return;
    std::exception_ptr failure;
    for (auto sink = m_windowSinks.rbegin(); sink != m_windowSinks.rend(); ++sink) {
        try {
            (*sink)->Unadvise();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    m_window = CDispatchObject();
    if (failure)
        std::rethrow_exception(failure);
}

bool CAddInToolbar::FindControls()
{
    if (!m_controls) {
        CDispatchObject commandBars = m_window.GetDispatch(L"CommandBars");
        if (!commandBars) {
            Logging::Log(Logging::Error, L"Unable to retrieve command bars");
            return false;
        }
        CDispatchObject standard = commandBars.GetDispatch(L"Item", {_variant_t(L"Standard")});
        if (!standard) {
            Logging::Log(Logging::Error, L"Unable to locate 'Standard' toolbar");
            return false;
        }
        m_controls = standard.GetDispatch(L"Controls");
    }
    if (!m_controls) {
        Logging::Log(Logging::Error, L"Unable to retrieve command bar controls; not adding buttons");
        return false;
    }
    return true;
}

void CAddInToolbar::AddButtons()
{
    if (FindControls())
        m_owner.CreateToolbarButtons(*this);
}

void CAddInToolbar::CloseWindow(void (COutlookAddIn::*remove)(CAddInToolbar*), const wchar_t* function)
{
    // The owner may hold the last reference.
    CObjectRef<CAddInToolbar> self(this);
    try {
        (m_owner.*remove)(this);
        Uninitialize();
    }
    QZL_CATCH_REPORT(function)
}

} // namespace Quenzal::OutlookAddIn

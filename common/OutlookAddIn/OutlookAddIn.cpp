#include "OutlookAddIn.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "ModuleTypeInfo.h"
#include "Net.h"
#include "OutlookIds.h"

namespace Quenzal::OutlookAddIn {

COutlookAddIn::COutlookAddIn()
{
    m_startupSink = CEventSinkRef::Create(
        DIID_ApplicationEvents11,
        std::map<DISPID, CEventSink::Handler>{{DISPID_Startup, [this](const CEventArguments&) { OnOutlookStartup(); }}});
    m_applicationSink = CEventSinkRef::Create(
        DIID_ApplicationEvents11,
        std::map<DISPID, CEventSink::Handler>{
            {DISPID_OptionsPagesAdd, [this](const CEventArguments& a) { OnOptionsPagesAdd(a.GetDispatch(0)); }},
            {DISPID_ItemSend,
             [this](const CEventArguments& a) {
                 // The send's dialogs pump messages.
                 CAddInBusy busy(*this);
                 OnItemSend(a.GetDispatch(0), a.GetBoolReference(1));
             }}});
    m_mapiLogonSink = CEventSinkRef::Create(
        DIID_ApplicationEvents, std::map<DISPID, CEventSink::Handler>{
                                    {DISPID_MAPILogonComplete, [this](const CEventArguments&) { OnMapiLogonComplete(); }}});
    m_explorersSink = CEventSinkRef::Create(
        DIID_ExplorersEvents,
        std::map<DISPID, CEventSink::Handler>{
            {DISPID_NewExplorer, [this](const CEventArguments& a) { OnNewExplorer(a.GetDispatch(0)); }}});
    m_inspectorsSink = CEventSinkRef::Create(
        DIID_InspectorsEvents,
        std::map<DISPID, CEventSink::Handler>{
            {DISPID_NewInspector, [this](const CEventArguments& a) { OnNewInspector(a.GetDispatch(0)); }}});
}

COutlookAddIn::~COutlookAddIn()
{
    // A source that still holds a sink must not reach this object any more.
    for (CEventSink* sink : {m_startupSink.Get(), m_applicationSink.Get(), m_mapiLogonSink.Get(),
                             m_explorersSink.Get(), m_inspectorsSink.Get()})
        sink->Disconnect();
}

void* COutlookAddIn::GetInterface(REFIID iid)
{
    if (iid == IID_IUnknown || iid == __uuidof(_IDTExtensibility2))
        return static_cast<_IDTExtensibility2*>(this);
    // Office calls the ribbon callbacks by name on the object's IDispatch.
    if (iid == IID_IDispatch || iid == __uuidof(IRibbonCallback))
        return static_cast<IRibbonCallback*>(this);
    if (iid == __uuidof(IRibbonExtensibility))
        return static_cast<IRibbonExtensibility*>(this);
    if (iid == __uuidof(IOutlookAddIn))
        return static_cast<IOutlookAddIn*>(this);
    return nullptr;
}

HRESULT COutlookAddIn::OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch*, SAFEARRAY**)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnConnection");
    m_connection = ++s_connections;
    try {
        Connect(application, connectMode);
        // An add-in that had to take itself down while connecting (its MAPI
        // start-up failed) is not connected.
        if (m_application)
            return S_OK;
    } catch (...) {
        ReportCaughtException(__FILE__, L"Quenzal::OutlookAddIn::COutlookAddIn::OnConnection", __LINE__);
    }
    // Outlook does not disconnect an add-in whose connection failed: what was
    // set up is taken down here.
    TearDown(L"Quenzal::OutlookAddIn::COutlookAddIn::OnConnection");
    return E_FAIL;
}

void COutlookAddIn::Connect(IDispatch* application, ext_ConnectMode connectMode)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::COutlookAddIn::OnConnection";
    m_application = CDispatchObject::Query(application, IID_OutlookApplication);
    if (!m_application)
        QZL_THROW(function, CException(L"Argument to OnConnection is not an Outlook application"));

    LogAddInDiagnostics();

    int version = _wtoi(m_application.GetString(L"Version").c_str());
    if (version == 0)
        QZL_THROW(function, CException(L"Outlook version not understood"));
    int minimum = GetMinimumOutlookVersion();
    if (version < minimum)
        QZL_THROW(function, CException(StringW::Format(
                                L"Outlook version not supported (minimum required version = %d)", minimum)));

    Logging::Log(Logging::Trace, L"Loading localization");
    long language = m_application.GetDispatch(L"LanguageSettings").GetLong(L"LanguageID", {_variant_t(msoLanguageIDUI)});
    if (!Localization::TrySetLanguageId(static_cast<LANGID>(language & 0xFFFF)))
        Logging::LogFormat(Logging::Warning, L"Outlook's locale is not supported; defaulting to English: %d",
                           static_cast<int>(language));

    Logging::Log(Logging::Trace, L"Initializing sockets");
    Net::InitializeSockets();

    PublishComAddInObject();

    m_startupSink->Advise(m_application.GetInterface());
    m_applicationSink->Advise(m_application.GetInterface());
    m_mapiLogonSink->Advise(m_application.GetInterface());

    AdviseWindows(m_explorers, L"Explorers", *m_explorersSink, &COutlookAddIn::OnNewExplorer);
    AdviseWindows(m_inspectors, L"Inspectors", *m_inspectorsSink, &COutlookAddIn::OnNewInspector);

    m_marshaler.Initialize();

    if (connectMode != ext_cm_Startup) {
        Logging::Log(Logging::Warning,
                     L"Add-in loading for reason other than Outlook startup; invoking OnMapiLogonComplete");
        OnMapiLogonComplete();
    }
}

void COutlookAddIn::PublishComAddInObject()
{
    Logging::Log(Logging::Trace, L"Setting COMAddIn::Object to self");
    CDispatchObject entry = GetComAddIn();
    if (!entry)
        return;
    entry.Put(L"Object", _variant_t(GetComAddInObject().GetInterfacePtr()));
    m_objectPublished = true;
}

void COutlookAddIn::WithdrawComAddInObject()
{
    if (!std::exchange(m_objectPublished, false))
        return;
    if (CDispatchObject entry = GetComAddIn())
        entry.Put(L"Object", _variant_t(static_cast<IDispatch*>(nullptr)));
}

// The windows already open are treated as new before the sink hears of later ones.
void COutlookAddIn::AdviseWindows(CDispatchObject& collection, const wchar_t* name, CEventSink& sink,
                                  void (COutlookAddIn::*onNewWindow)(IDispatch*))
{
    collection = m_application.GetDispatch(name);
    if (!collection)
        return;
    for (long i = 1; i <= collection.GetLong(L"Count"); ++i)
        (this->*onNewWindow)(collection.GetDispatch(L"Item", {_variant_t(i)}).GetInterface());
    sink.Advise(collection.GetInterface());
}

HRESULT COutlookAddIn::OnDisconnection(ext_DisconnectMode, SAFEARRAY**)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnDisconnection");
    return TearDown(L"Quenzal::OutlookAddIn::COutlookAddIn::OnDisconnection");
}

void COutlookAddIn::RunTeardownStep(const wchar_t* function, HRESULT& firstFailure, const std::function<void()>& step)
{
    try {
        step();
    } catch (...) {
        HRESULT hr = ReportCaughtException(__FILE__, function, __LINE__);
        if (SUCCEEDED(firstFailure))
            firstFailure = FAILED(hr) ? hr : E_FAIL;
    }
}

HRESULT COutlookAddIn::TearDown(const wchar_t* function)
{
    const bool newest = IsNewestConnection();
    m_connection = 0;
    HRESULT firstFailure = S_OK;
    // Outlook keeps COMAddIn.Object as it was left: it would hold the add-in,
    // and the family's options page would still call it. A newer connection
    // has put its own object there.
    RunTeardownStep(function, firstFailure, [this, newest] {
        if (newest)
            WithdrawComAddInObject();
        m_objectPublished = false;
    });
    for (auto* toolbars : {&m_inspectorToolbars, &m_explorerToolbars}) {
        // Taken out first: a toolbar may remove itself from the list while it goes.
        std::vector<CAddInToolbarRef> taken;
        taken.swap(*toolbars);
        for (CAddInToolbarRef& toolbar : taken)
            RunTeardownStep(function, firstFailure, [&toolbar] { toolbar->Uninitialize(); });
    }
    for (auto [collection, sink] : {std::pair{&m_inspectors, m_inspectorsSink.Get()},
                                    std::pair{&m_explorers, m_explorersSink.Get()}}) {
        if (!*collection)
            continue;
        // A collection that cannot be unadvised any more is of no concern to a
        // disconnecting add-in: the sink has stopped, and the reference goes.
        HRESULT ignored = S_OK;
        RunTeardownStep(function, ignored, [sink] { sink->Unadvise(); });
        *collection = CDispatchObject();
    }
    if (!m_application)
        return firstFailure;
    for (CEventSink* sink : {m_mapiLogonSink.Get(), m_applicationSink.Get(), m_startupSink.Get()})
        RunTeardownStep(function, firstFailure, [sink] { sink->Unadvise(); });
    m_application = CDispatchObject();
    return firstFailure;
}

HRESULT COutlookAddIn::OnAddInsUpdate(SAFEARRAY**)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnAddInsUpdate");
    return S_OK;
}

HRESULT COutlookAddIn::OnStartupComplete(SAFEARRAY**)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnStartupComplete");
    return S_OK;
}

HRESULT COutlookAddIn::OnBeginShutdown(SAFEARRAY**)
{
    Logging::Log(Logging::Trace, L"Entered COutlookAddIn::OnBeginShutdown");
    return S_OK;
}

HRESULT COutlookAddIn::GetTypeInfoCount(UINT* count)
{
    return GetDispatchTypeInfoCount(count);
}

HRESULT COutlookAddIn::GetTypeInfo(UINT index, LCID, ITypeInfo** typeInfo)
{
    return GetDispatchTypeInfo(__uuidof(IRibbonCallback), index, typeInfo);
}

HRESULT COutlookAddIn::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return GetDispatchIdsOfNames(__uuidof(IRibbonCallback), names, count, ids);
}

HRESULT COutlookAddIn::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError)
{
    return InvokeDispatch(__uuidof(IRibbonCallback), static_cast<IRibbonCallback*>(this), id, flags, parameters,
                          result, exception, argumentError);
}

} // namespace Quenzal::OutlookAddIn

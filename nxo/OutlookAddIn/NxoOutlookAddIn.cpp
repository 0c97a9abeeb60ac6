// The add-in object's life: connection, MAPI start-up with its event sinks,
// authentication failures and disconnection.
#include "NxoOutlookAddIn.h"

#include "AsyncHttpRequestContext.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Localization.h"
#include "Os.h"
#include "Logging.h"
#include "MapiErrorPolicy.h"
#include "MapiFunctions.h"
#include "MapiSession.h"
#include "NxoDataDirectory.h"
#include "NxoOlaUtil.h"
#include "NxoOutlookAddInLib.h"
#include "NxoOutlookAddInConfig.h"
#include "ResourceBuffer.h"
#include "TextFileUtil.h"
#include "VersionInfo.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

// Failures inside the COM support library's own smart pointers and wrappers.
void WINAPI OnComError(HRESULT hr, IErrorInfo*)
{
    CComError error(hr);
    Logging::Log(Logging::Error, (L"Throwing ATL COM exception: " + error.GetDescription()).c_str());
    throw error;
}

// Right after start-up, from the user-interface thread's message loop.
const DateTimeSpan FirstAutoConfiguration = DateTimeSpan::FromDays(0.010 / (24 * 60 * 60));

constexpr DWORD MapiLogonFlags = MAPI_EXTENDED | MAPI_USE_DEFAULT | MAPI_ALLOW_OTHERS;

} // namespace

CNxoOutlookAddIn::CNxoOutlookAddIn() : m_autoConfigureTimer(L"Autoconfigure", [this] { AutoConfigure(); }) {}

// Outlook may let a disconnected object go only after a newer connection
// has set up the process-wide state (an options dialog kept it alive): what
// the object takes down here is its own, or owned by a connection that was
// never taken down.
CNxoOutlookAddIn::~CNxoOutlookAddIn()
{
    try {
        UninitializeEventSinks();
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"CNxoOutlookAddIn::~CNxoOutlookAddIn", e);
    }
    m_uiWork.Uninitialize();
    m_folderSinks.clear();
    // When OnDisconnection never ran, requests may still be under way.
    try {
        ReleaseApiClient();
    }
    QZL_CATCH_REPORT(L"CNxoOutlookAddIn::~CNxoOutlookAddIn")
}

void* CNxoOutlookAddIn::GetInterface(REFIID iid)
{
    // Our own interface has IDispatch's members only: the object's IDispatch serves it.
    if (iid == IID_INxoOutlookAddIn)
        return static_cast<IRibbonCallback*>(this);
    return COutlookAddIn::GetInterface(iid);
}

StringW CNxoOutlookAddIn::GetDataDirectory()
{
    return GetNxoDataDirectory();
}

StringW CNxoOutlookAddIn::GetLogFilePath()
{
    return GetDataDirectory() + L"NxoOutlookAddIn.log";
}

void CNxoOutlookAddIn::LogSeparator()
{
    // Our own line, written as it stands: raw text from outside is marked.
    Logging::WriteToLog(Logging::Debug, std::string(79, '_') + "\r\n");
}

HRESULT CNxoOutlookAddIn::OnConnection(IDispatch* application, ext_ConnectMode connectMode,
                                       IDispatch* addInInstance, SAFEARRAY** custom)
{
    try {
        _set_com_error_handler(OnComError);
        try {
            const StringW logPath = GetLogFilePath();
            TryTrimTextFile(logPath);
            Logging::SetLogPath(logPath);
        } catch (const CException& e) {
            // A log held by another program, a folder in its place or a data
            // folder that cannot be made costs the diagnostics, never the
            // add-in's functions; the next start tries again.
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        }
        Logging::EnableThreadIds(true);
        LogSeparator();
        Logging::Log(Logging::Debug,
                     (L"NXOOUTLOOKADDIN.DLL: " + Os::GetModuleVersionString(Os::GetThisModule(), true)).c_str());
        Logging::EnableTraceLogging(CNxoOutlookAddInConfig::GetInstance().IsDebugEnabled());
        Mapi::ExitOnOutOfMemory() = false;
        Mapi::ExitOnNetworkError() = false;
        Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnConnection");

        // A second connection in this process starts from a clean slate:
        // the previous disconnection stopped the appliance requests.
        ReleaseApiClient();
        Net::CAsyncHttpRequestContext::ResumeAsynchronousHttpRequests();
        // Ready before the base connection opens the MAPI session: new mail
        // may arrive at once.
        m_uiWork.Initialize(*this);

        HRESULT hr = COutlookAddIn::OnConnection(application, connectMode, addInInstance, custom);
        if (FAILED(hr)) {
            m_uiWork.Uninitialize();
            return hr;
        }

        m_apiClient = CreateApiClient();
        m_repairRequested = false;
        m_repairMessage = CAsyncMarshaler::RegisterCallback([this](int64_t) { RepairConfiguration(); });
        m_apiClient->SetAuthenticationFailureHandler(
            [this, repairMessage = m_repairMessage](const std::shared_ptr<Net::CHttpResponse>& response) {
                OnAuthenticationFailed(response, repairMessage);
            });
        return S_OK;
    } catch (...) {
        ReportCaughtException(__FILE__, QZL_FUNCTION, __LINE__);
    }
    return E_FAIL;
}

std::shared_ptr<CNxoApiClient> CNxoOutlookAddIn::CreateApiClient()
{
    return std::make_shared<CNxoApiClient>();
}

void CNxoOutlookAddIn::OnMapiLogonComplete()
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnMapiLogonComplete");
    COutlookAddIn::OnMapiLogonComplete();
    try {
        Logging::Log(Logging::Debug, L"Initializing MAPI session");
        Mapi::GetMapiSession().Set(CreateMapiSession().GetInterfacePtr());
        m_ownsMapiSession = true;
        Logging::Log(Logging::Debug, L"Successfully initialized MAPI session");
        InitializeNewMailEventSinks();
        InitializeFolderEventSinks();
        Logging::Log(Logging::Debug, L"Successfully initialized event sinks");
        m_autoConfigureTimer.Start(FirstAutoConfiguration);
        return;
    } catch (const CException& e) {
        Logging::Log(Logging::Error,
                     (L"Unable to initialize MAPI session; uninitializing add-in: " + e.GetDescription()).c_str());
    }
    try {
        OnDisconnection(ext_dm_UserClosed, nullptr);
        m_addInDisabled = true;
        if (CDispatchObject ribbon = GetRibbonUI())
            ribbon.Call(L"Invalidate");
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
}

Mapi::IMAPISessionPtr CNxoOutlookAddIn::CreateMapiSession()
{
    const wchar_t* function = QZL_FUNCTION;
    CDispatchObject session = GetSession();
    IMAPISession* mapiSession = nullptr;
    _variant_t object = session.Get(L"MAPIOBJECT");
    if ((object.vt == VT_UNKNOWN || object.vt == VT_DISPATCH) && object.punkVal != nullptr &&
        SUCCEEDED(object.punkVal->QueryInterface(__uuidof(IMAPISession), reinterpret_cast<void**>(&mapiSession)))) {
        m_ownMapiLogon = false;
        return Mapi::IMAPISessionPtr(mapiSession, false);
    }
    Logging::Log(Logging::Debug, L"MAPI session not available from Outlook; calling MAPILogonEx");
    HRESULT hr = Mapi::MAPILogonEx(0, nullptr, nullptr, MapiLogonFlags, &mapiSession);
    if (FAILED(hr))
        QZL_THROW(function, CComError(hr));
    if (hr != S_OK)
        QZL_REPORT_NON_SUCCESS(function, hr);
    m_ownMapiLogon = true;
    return Mapi::IMAPISessionPtr(mapiSession, false);
}

CDispatchObject CNxoOutlookAddIn::GetSession()
{
    CDispatchObject session = GetApplication() ? GetApplication().GetDispatch(L"Session") : CDispatchObject();
    if (!session)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    return session;
}

CDispatchObject CNxoOutlookAddIn::GetDefaultFolder(long folderId)
{
    CDispatchObject folder = GetSession().GetDispatch(L"GetDefaultFolder", {_variant_t(folderId)});
    if (!folder)
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"Unable to retrieve Outlook system folder: %d", folderId)));
    return folder;
}

void CNxoOutlookAddIn::InitializeNewMailEventSinks()
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::InitializeNewMailEventSink");
    for (long folderId : {olFolderInbox, olFolderJunk}) {
        try {
            CDispatchObject folder = GetDefaultFolder(folderId);
            std::unique_ptr<Mapi::CNewMailEventSink, SinkRelease> sink(new Mapi::CNewMailEventSink());
            sink->Initialize(GetMapiObject<IMAPIFolder>(folder).GetInterfacePtr(),
                             [this](IMessage* message) { return OnNewMessage(message); });
            m_newMailSinks.push_back(std::move(sink));
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
            if (folderId == olFolderInbox)
                throw;
            Logging::Log(Logging::Error, L"Unable to initialize Junk E-mail event sink");
        }
    }
}

void CNxoOutlookAddIn::InitializeFolderEventSinks()
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::InitializeFolderEventSinks");
    for (long folderId : {olFolderDeletedItems, olFolderSentMail, olFolderContacts}) {
        try {
            auto sink = std::make_unique<CFolderEventSink>(
                [this](long id, IDispatch* item) { OnFolderItemAdd(id, item); },
                [this](long id, IDispatch* item) { OnFolderItemChange(id, item); });
            sink->Initialize(GetDefaultFolder(folderId), folderId, folderId == olFolderContacts);
            m_folderSinks.push_back(std::move(sink));
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        }
    }
}

void CNxoOutlookAddIn::UninitializeEventSinks()
{
    m_inlineResponseSinks.clear();
    for (auto& sink : m_newMailSinks)
        sink->Uninitialize();
    m_newMailSinks.clear();
    if (std::exchange(m_ownsMapiSession, false) && IsNewestConnection())
        Mapi::GetMapiSession().Clear();
}

void CNxoOutlookAddIn::ReleaseApiClient()
{
    if (!m_apiClient)
        return;
    // First every request is queued, then every one is canceled and waited
    // for, its completion included: none is left to use the client.
    for (const auto& submitter : m_apiRequestSubmitters)
        Os::WaitForObject(submitter->GetCompletionEvent(), DateTimeSpan());
    m_apiRequestSubmitters.clear();
    // The refusal of new requests is the process's, set up by the newest
    // connection: an older one ends only its own requests.
    if (IsNewestConnection())
        Net::CAsyncHttpRequestContext::TerminateAsynchronousHttpRequests();
    else
        m_apiClient->EndRequests();
    m_apiClient.reset();
    m_queuedApiRequests.clear();
    // Its authentication-failure handler was the only one to post the repair.
    GetMarshaler().UnregisterCallback(std::exchange(m_repairMessage, 0));
}

HRESULT CNxoOutlookAddIn::OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnDisconnection");
    try {
        m_autoConfigureTimer.Stop();
        for (auto& sink : m_folderSinks)
            sink->Uninitialize();
        m_folderSinks.clear();
        UninitializeEventSinks();
        m_uiWork.Uninitialize();
        ReleaseApiClient();
        return COutlookAddIn::OnDisconnection(removeMode, custom);
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        return e.GetHResult();
    }
}

// On a pool thread of the HTTP layer: only reads the configuration and posts.
void CNxoOutlookAddIn::OnAuthenticationFailed(const std::shared_ptr<Net::CHttpResponse>& response,
                                              UINT repairMessage)
{
    try {
        Net::CUri requested = response && response->GetRequest() ? response->GetRequest()->GetUri() : Net::CUri();
        if (!CNxoOutlookAddInConfig::GetInstance().GetNxoUri().IsSameServer(requested)) {
            Logging::Log(Logging::Error, L"Authentication failed for request but URI does not match configured URI");
            return;
        }
        // Every request under way when the account was refused is refused
        // in turn, also those that end after the repair has dropped it: one
        // repair answers them all.
        if (m_repairRequested.exchange(true)) {
            Logging::Log(Logging::Debug, L"Authentication failed for request; configuration repair already under way");
            return;
        }
        Logging::Log(Logging::Error, L"Authentication failed for request; restarting autoconfiguration");
        try {
            GetMarshaler().InvokeCallback(repairMessage);
        } catch (...) {
            m_repairRequested = false;
            throw;
        }
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
}

void CNxoOutlookAddIn::LogAddInDiagnostics()
{
    COutlookAddIn::LogAddInDiagnostics();
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    if (config.IsAuthenticated())
        Logging::Log(Logging::Debug, (L"User logged in as: " + config.GetUsername()).c_str());
    else
        Logging::Log(Logging::Warning, L"User not currently logged in");
}

bool CNxoOutlookAddIn::IsTraceLoggingEnabled()
{
    return CNxoOutlookAddInConfig::GetInstance().IsDebugEnabled();
}

void CNxoOutlookAddIn::SetTraceLoggingEnabled(bool enabled)
{
    CNxoOutlookAddInConfig::GetInstance().SetDebugEnabled(enabled);
    Logging::EnableTraceLogging(enabled);
}

StringW CNxoOutlookAddIn::GetProgId()
{
    return L"Quenzal.NxoOutlookAddIn";
}

int CNxoOutlookAddIn::GetAddInId()
{
    return 0;
}

StringW CNxoOutlookAddIn::GetErrorMessage(const CException& e, int lid)
{
    return e.IsUserMessage() ? e.GetDescription() : GetLocalizedMessage(lid);
}

HRESULT CNxoOutlookAddIn::GetLogPath(BSTR* path)
{
    if (path == nullptr)
        return E_POINTER;
    *path = nullptr;
    try {
        *path = ::SysAllocString(GetLogFilePath().c_str());
        return *path != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    QZL_CATCH_RETURN(QZL_FUNCTION)
}

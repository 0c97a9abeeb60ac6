#include "NxoApiClient.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "HttpConnection.h"
#include "HttpRequest.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoApiError.h"
#include "NxoApiRequestQueue.h"
#include "NxoOutlookAddInConfig.h"
#include "Os.h"
#include "SocketError.h"

#include <algorithm>

extern "C" IMAGE_DOS_HEADER __ImageBase;

using namespace Quenzal;
using Os::CCriticalSectionLock;

namespace {

constexpr int LidCommunicationError = 319;
// The appliance's answers are a few hundred bytes, an upload's stored id
// included; the XML reader takes no more than this either. Only the stub
// preamble, which describes every stored file, may be longer.
constexpr uint64_t SmallAnswerSizeLimit = 1024 * 1024;

const wchar_t* const CgiNames[] = {
    L"addin_auth_request.cgi", L"addin_auth_confirm.cgi", L"mark.cgi",          L"whitelist.cgi",
    L"get_info.cgi",           L"stub_attachment.cgi",    L"stub_preamble.cgi",
};

// A server named in mail may be anyone's; the configured appliance is the user's own.
bool IsNamedInMail(const Net::CUri& server)
{
    return !server.IsSameServer(CNxoOutlookAddInConfig::GetInstance().GetNxoUri());
}

} // namespace

void CNxoApiRequestContext::Execute()
{
    // The wait for the turn counts against the request's time limit; a
    // canceled request fails as such below.
    DateTimeSpan left;
    if (!IsCanceled() && (!CNxoApiRequestQueue::IsOnWire(*this) || !GetDeadline().LimitWait(left))) {
        const std::string server = GetRequest()->GetUri().FormatServer();
        Logging::LogA(Logging::Warning,
                      ("Appliance request gave up waiting for the requests before it: " + server).c_str());
        QZL_THROW(L"CNxoApiRequestContext::Execute", Net::CSocketError(WSAETIMEDOUT, server.c_str()));
    }
    CAsyncHttpRequestContext::Execute();
}

void CNxoApiRequestContext::OnExecutionCompleted()
{
    try {
        if (CNxoApiRequestQueue::Finish(shared_from_this()))
            return;
    }
    QZL_CATCH_REPORT(L"CNxoApiRequestContext::OnExecutionCompleted")
    CAsyncHttpRequestContext::OnExecutionCompleted();
}

void CNxoApiRequestContext::Cancel()
{
    CAsyncHttpRequestContext::Cancel();
    CNxoApiRequestQueue::Withdraw(*this);
}

bool CNxoApiRequestContext::OnRedirecting(const Net::CUri& target)
{
    return CNxoApiRequestQueue::Redirect(*this, target, IsNamedInMail(target));
}

const Os::CDeadline& CNxoApiRequestContext::GetDeadline() const
{
    return GetConnection()->GetDeadline();
}

CNxoApiClient::CNxoApiClient() : CNxoApiClient(Os::GetHostApplicationInfo()) {}

CNxoApiClient::CNxoApiClient(const Os::HostApplicationInfo& host)
    : CHttpClient(L"NxoOutlookAddIn", Os::GetModuleVersionString(reinterpret_cast<HMODULE>(&__ImageBase), false),
                  host.Name, host.Version, host.Architecture)
{
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    if (config.IsAuthenticated())
        SetDigestCredentials(config.GetAccountName(), config.GetAccountKey());
}

CNxoApiClient::~CNxoApiClient()
{
    // Completion handlers hold a plain pointer to the client.
    WaitForRequests(GetLiveRequests());
}

std::vector<CNxoApiClient::ContextPtr> CNxoApiClient::GetLiveRequests()
{
    CCriticalSectionLock lock(m_lock);
    std::vector<ContextPtr> running;
    for (const auto& request : m_requests)
        if (auto context = request.lock())
            running.push_back(context);
    return running;
}

// A request that was never handed to the pool never completes.
void CNxoApiClient::WaitForRequests(const std::vector<ContextPtr>& requests)
{
    for (const ContextPtr& context : requests)
        if (context->IsStarted() && context->GetThreadId() != ::GetCurrentThreadId())
            Os::WaitForObject(context->GetCompletionEvent(), DateTimeSpan());
}

void CNxoApiClient::EndRequests()
{
    {
        CCriticalSectionLock lock(m_lock);
        m_ended = true;
    }
    const std::vector<ContextPtr> running = GetLiveRequests();
    for (const ContextPtr& context : running)
        if (!context->IsComplete() && !context->IsCanceled())
            context->Cancel();
    WaitForRequests(running);
}

StringW CNxoApiClient::GetCgiName(uint32_t kind)
{
    return kind < std::size(CgiNames) ? StringW(CgiNames[kind]) : StringW();
}

std::shared_ptr<Net::CHttpRequest> CNxoApiClient::CreateApiRequest(uint32_t kind, const std::wstring& uriText)
{
    if (kind > NxoApiRequestAuthenticationConfirm && !HasCredentials())
        QZL_THROW(L"CNxoApiClient::CreateApiRequest", CException(L"User not authenticated"));
    Net::CUri uri;
    if (uriText.empty()) {
        uri = CNxoOutlookAddInConfig::GetInstance().GetNxoUri();
        if (uri.GetScheme() == -1 || uri.GetHost().empty())
            QZL_THROW(L"CNxoApiClient::CreateApiRequest", CException(L"No valid NXO URI configured"));
    } else {
        uri = CNxoOutlookAddInConfig::ParseNxoUri(uriText);
        if (uri.GetScheme() == -1 || uri.GetHost().empty())
            QZL_THROW(L"CNxoApiClient::CreateApiRequest", CException(L"NXO URI is invalid: " + uriText));
    }
    std::string path = (L"/cgi-mod/" + GetCgiName(kind)).GetAnsi(CP_ACP);
    uri.SetPath(path);
    auto request = std::make_shared<Net::CHttpRequest>(uri);
    request->SetNoCache();
    // A transfer is cut off only once it stops moving (the time-out), and its
    // answer, which a slow appliance may take a while to give, once it takes
    // longer than that in all; every other request is small, and a server
    // that accepts it and then answers never, or a byte at a time, must not
    // keep its caller waiting.
    if (kind != NxoApiRequestStoreFile && kind != NxoApiRequestStubPreamble)
        request->SetTimeLimit(m_requestTimeLimit);
    else
        request->SetAnswerTimeLimit(GetTimeout());
    if (kind != NxoApiRequestStubPreamble)
        request->SetAnswerSizeLimit(SmallAnswerSizeLimit);
    return request;
}

void CNxoApiClient::AddRequestParameter(Net::CHttpRequest& request, const std::wstring& name,
                                        const std::wstring& value, bool hidden)
{
    Net::CUri uri = request.GetUri();
    const std::string narrowName = StringW(name).GetAnsi(CP_ACP);
    Net::SetQueryParameter(uri.GetQueryParameters(), narrowName, value);
    if (hidden)
        uri.GetMaskedNames().insert(narrowName);
    request.SetUri(uri);
}

void CNxoApiClient::SubmitAsyncRequest(const ContextPtr& context)
{
    auto request = std::dynamic_pointer_cast<CNxoApiRequestContext>(context);
    if (!request) {
        CHttpClient::SubmitAsyncRequest(context);
        return;
    }
    PrepareRequest(*request->GetRequest());
    CNxoApiRequestQueue::Submit(request, IsNamedInMail(request->GetRequest()->GetUri()));
}

CNxoApiClient::ContextPtr CNxoApiClient::CreateAsyncRequest(const std::shared_ptr<Net::CHttpRequest>& request,
                                                            const std::shared_ptr<Net::IHttpResponseSink>& sink,
                                                            const std::shared_ptr<Net::IHttpRequestNotifier>& notifier,
                                                            CompletionHandler handler)
{
    auto context = std::make_shared<CNxoApiRequestContext>(GetSession(), CreateConnection(notifier), request, sink);
    if (handler)
        context->AddCompletionHandler(std::move(handler));
    CCriticalSectionLock lock(m_lock);
    if (m_ended)
        QZL_THROW(L"CNxoApiClient::CreateAsyncRequest", CException(L"Appliance requests of this client have been ended"));
    std::erase_if(m_requests, [](const auto& request) { return request.expired(); });
    m_requests.push_back(context);
    return context;
}

void CNxoApiClient::UpdateNxoUriStatus(const Net::CAsyncHttpRequestContext& context)
{
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    const Net::CUri& requested = context.GetRequest()->GetUri();
    if (!requested.IsSameServer(config.GetNxoUri())) {
        Logging::LogA(Logging::Debug,
                      ("Request URI does not match configured URI; not updating NXO URI status: " +
                       requested.FormatServer())
                          .c_str());
        return;
    }
    // A canceled request (the add-in going away, the user's Cancel) says
    // nothing of the appliance: the options dialog shows this after a restart.
    if (context.IsCanceled())
        return;
    const uint32_t status = context.GetStatusCode();
    if (status == 0xFFFFFFFF)
        config.SetNxoUriStatus(GetLocalizedMessage(LidCommunicationError));
    else if (status != 200)
        config.SetNxoUriStatus(context.GetStatusText());
    else
        config.SetNxoUriStatus(std::wstring());
}

CNxoApiClient::ContextPtr CNxoApiClient::PerformApiRequest(const std::shared_ptr<Net::CHttpRequest>& request)
{
    auto context = SendRequest(request, nullptr, nullptr, CompletionHandler());
    // Not pumping, this wait is short: the request, its wait for its turn
    // included, ends within its time limit.
    if (context->GetThreadId() != ::GetCurrentThreadId())
        Os::WaitForObject(context->GetCompletionEvent(), DateTimeSpan());
    return context;
}

CNxoApiClient::ContextPtr CNxoApiClient::SubmitWithStatus(const std::shared_ptr<Net::CHttpRequest>& request,
                                                          std::function<void(const ContextPtr&)> handler)
{
    auto context = CreateAsyncRequest(request, nullptr, nullptr, CompletionHandler());
    // The pool holds the request while its handlers run; a weak reference
    // keeps a request that never ran from holding itself.
    std::weak_ptr<Net::CAsyncHttpRequestContext> weak = context;
    context->AddCompletionHandler([this, weak, handler = std::move(handler)] {
        ContextPtr finished = weak.lock();
        if (!finished)
            return;
        UpdateNxoUriStatus(*finished);
        if (handler)
            handler(finished);
    });
    SubmitAsyncRequest(context);
    return context;
}

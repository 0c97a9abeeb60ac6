#include "HttpClient.h"

#include "AsyncHttpRequestContext.h"
#include "ClientId.h"
#include "ErrorReport.h"
#include "Http.h"
#include "HttpConnection.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpSession.h"
#include "NameTables.h"
#include "SystemInfo.h"
#include "Value.h"

namespace Quenzal::Net {

CHttpClient::CHttpClient(const StringW& clientName, const StringW& clientVersion, const StringW& applicationName,
                         const StringW& applicationVersion, const StringW& applicationDetail)
    : m_timeout(0, 0, 5, 0, 0), m_session(std::make_shared<CHttpSession>())
{
    StringW windows = Os::FormatWindowsVersion(false, false);
    StringW architecture = Os::GetNativeProcessorArchitecture();
    m_defaultHeaders["X-Quenzal-Client-Version"] =
        StringW::Format(L"%s/%s", clientName.c_str(), clientVersion.c_str());
    m_defaultHeaders["X-Quenzal-OS-Version"] = StringW::Format(L"%s (%s)", windows.c_str(), architecture.c_str());
    StringW userAgent = StringW::Format(L"%s/%s (%s; %s)", clientName.c_str(), clientVersion.c_str(),
                                        windows.c_str(), architecture.c_str());
    if (!applicationName.empty() && !applicationVersion.empty() &&
        _wcsicmp(applicationName.c_str(), clientName.c_str()) != 0) {
        StringW application = StringW::Format(L"%s/%s", applicationName.c_str(), applicationVersion.c_str());
        if (!applicationDetail.empty())
            application.AppendFormat(L" (%s)", applicationDetail.c_str());
        m_defaultHeaders["X-Quenzal-Application-Version"] = application;
        userAgent.AppendFormat(L" %s", application.c_str());
    }
    m_defaultHeaders["User-Agent"] = userAgent;
    StringW clientId;
    try {
        clientId = App::GetClientId();
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
    if (!clientId.empty())
        m_defaultHeaders["X-Quenzal-Client-ID"] = clientId;
}

CHttpClient::~CHttpClient() = default;

std::shared_ptr<CHttpResponse> CHttpClient::PerformRequest(const std::shared_ptr<CHttpRequest>& request,
                                                           const std::shared_ptr<IHttpResponseSink>& sink,
                                                           const std::shared_ptr<IHttpRequestNotifier>& notifier)
{
    PrepareRequest(*request);
    auto connection = CreateConnection(notifier);
    connection->SetTimeLimit(request->GetTimeLimit());
    auto session = GetSession();
    return MakeHttpRequest(session, connection, request, sink);
}

std::shared_ptr<CAsyncHttpRequestContext> CHttpClient::SendRequest(
    const std::shared_ptr<CHttpRequest>& request, const std::shared_ptr<IHttpResponseSink>& sink,
    const std::shared_ptr<IHttpRequestNotifier>& notifier, CompletionHandler handler)
{
    auto context = CreateAsyncRequest(request, sink, notifier, std::move(handler));
    SubmitAsyncRequest(context);
    return context;
}

std::shared_ptr<CAsyncHttpRequestContext> CHttpClient::CreateAsyncRequest(
    const std::shared_ptr<CHttpRequest>& request, const std::shared_ptr<IHttpResponseSink>& sink,
    const std::shared_ptr<IHttpRequestNotifier>& notifier, CompletionHandler handler)
{
    auto connection = CreateConnection(notifier);
    auto session = GetSession();
    auto context = std::make_shared<CAsyncHttpRequestContext>(session, connection, request, sink);
    if (handler)
        context->AddCompletionHandler(std::move(handler));
    return context;
}

void CHttpClient::SubmitAsyncRequest(const std::shared_ptr<CAsyncHttpRequestContext>& context)
{
    PrepareRequest(*context->GetRequest());
    Os::QueueThreadPoolWork(context);
}

void CHttpClient::SetBasicCredentials(const StringW& user, const StringW& password)
{
    m_session->SetBasicCredentials(user, password);
}

void CHttpClient::SetDigestCredentials(const StringW& user, const StringW& password)
{
    m_session->SetDigestCredentials(user, password);
}

void CHttpClient::SetDigestCredentialsHash(const StringW& user, const StringW& passwordHash)
{
    m_session->SetDigestCredentialsHash(user, passwordHash);
}

void CHttpClient::ClearCredentials()
{
    m_session->ClearCredentials();
}

bool CHttpClient::HasCredentials()
{
    return m_session->HasCredentials();
}

void CHttpClient::SetAuthenticationFailureHandler(std::function<void(const std::shared_ptr<CHttpResponse>&)> handler)
{
    m_session->SetAuthenticationFailureHandler(std::move(handler));
}

std::shared_ptr<CHttpConnection> CHttpClient::CreateConnection(const std::shared_ptr<IHttpRequestNotifier>& notifier)
{
    auto connection = std::make_shared<CHttpConnection>(notifier);
    connection->SetTimeout(m_timeout);
    return connection;
}

void CHttpClient::PrepareRequest(CHttpRequest& request)
{
    if (!request.FindHeader("Connection")) {
        auto connection = std::dynamic_pointer_cast<CConnectionHeader>(request.CreateHeader("Connection"));
        if (connection)
            connection->SetId(ConnectionOptionClose);
    }
    Os::CCriticalSectionLock lock(m_lock);
    for (const auto& [name, value] : m_defaultHeaders) {
        if (request.FindHeader(name.c_str()) || value.empty())
            continue;
        request.SetHeaderValue(name.c_str(), Value(std::wstring(value)));
    }
}

std::shared_ptr<CHttpSession> CHttpClient::GetSession()
{
    return m_session;
}

} // namespace Quenzal::Net

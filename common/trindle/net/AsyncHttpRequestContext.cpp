#include "AsyncHttpRequestContext.h"

#include "ErrorReport.h"
#include "Http.h"
#include "HttpConnection.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Logging.h"
#include "NameTables.h"
#include "Os.h"
#include "SocketError.h"

#include <atomic>
#include <set>
#include <vector>

namespace Quenzal::Net {

namespace {

using Os::CCriticalSectionLock;

// The requests that were queued and have not completed yet.
struct LiveRequests {
    Os::CCriticalSection lock;
    std::set<CAsyncHttpRequestContext*> contexts;
    std::atomic<bool> terminated{false};
};

LiveRequests g_liveRequests;

} // namespace

CAsyncHttpRequestContext::CAsyncHttpRequestContext(const std::shared_ptr<CHttpSession>& session,
                                                   const std::shared_ptr<CHttpConnection>& connection,
                                                   const std::shared_ptr<CHttpRequest>& request,
                                                   const std::shared_ptr<IHttpResponseSink>& sink)
    : m_session(session), m_connection(connection), m_request(request), m_sink(sink)
{
    // The time a request waits for its turn counts too.
    if (m_connection && m_request)
        m_connection->SetTimeLimit(m_request->GetTimeLimit());
    SetTarget(m_request ? m_request->GetUri().ToString() : "(null)");
}

void CAsyncHttpRequestContext::SetTarget(std::string target)
{
    CCriticalSectionLock lock(m_responseLock);
    m_target = std::move(target);
}

CAsyncHttpRequestContext::~CAsyncHttpRequestContext() = default;

std::string CAsyncHttpRequestContext::GetName() const
{
    return "HTTP request: " + (m_request ? m_request->GetUri().Format(false, false) : std::string());
}

void CAsyncHttpRequestContext::OnExecutionStarting()
{
    LiveRequests& live = g_liveRequests;
    {
        // The flag is read under the table's lock: termination sets it before
        // it walks the table, so a request is either refused here or found there.
        CCriticalSectionLock lock(live.lock);
        if (live.terminated.load())
            QZL_THROW(QZL_FUNCTION,
                      CException(L"CAsyncHttpRequestContext thread pool has been terminated"));
        live.contexts.insert(this);
    }
    if (m_request)
        SetTarget(m_request->GetUri().ToString());
    SetStarted();
}

void CAsyncHttpRequestContext::BeginExecution()
{
    CCancelableThreadPoolWork::BeginExecution();
    CCriticalSectionLock lock(m_responseLock);
    m_response.reset();
}

void CAsyncHttpRequestContext::Execute()
{
    // A canceled request does not begin: no log of it, no lookup.
    if (IsCanceled())
        QZL_THROW(QZL_FUNCTION, CException(L"HTTP request was canceled"));
    const auto gate = [this](const CUri& target) {
        SetTarget(target.ToString());
        if (OnRedirecting(target))
            return true;
        m_redirection = target;
        return false;
    };
    std::optional<CUri> redirection;
    redirection.swap(m_redirection);
    auto response = redirection
                        ? FollowRedirectionTo(m_session, m_connection, m_request, m_sink, &m_canceled, *redirection)
                        : MakeHttpRequest(m_session, m_connection, m_request, m_sink, &m_canceled, gate);
    CCriticalSectionLock lock(m_responseLock);
    m_response = response;
}

void CAsyncHttpRequestContext::OnExecutionCompleted()
{
    // The request stays in the table until its handlers have run and its
    // event is set, so that termination also waits for handlers under way.
    CCancelableThreadPoolWork::OnExecutionCompleted();
    LiveRequests& live = g_liveRequests;
    CCriticalSectionLock lock(live.lock);
    live.contexts.erase(this);
}

void CAsyncHttpRequestContext::Cancel()
{
    std::string target;
    {
        CCriticalSectionLock lock(m_responseLock);
        target = m_target;
    }
    Logging::LogA(Logging::Debug, ("Canceling asynchronous HTTP request: " + target).c_str());
    CCancelableThreadPoolWork::Cancel();
    if (m_connection)
        m_connection->Cancel();
}

std::shared_ptr<CHttpResponse> CAsyncHttpRequestContext::GetResponseIfAny() const
{
    if (IsCanceled())
        return nullptr;
    CCriticalSectionLock lock(m_responseLock);
    return m_response;
}

uint32_t CAsyncHttpRequestContext::GetStatusCode() const
{
    auto response = GetResponseIfAny();
    return response ? static_cast<uint32_t>(response->GetStatus()) : 0xFFFFFFFF;
}

StringW CAsyncHttpRequestContext::GetStatusText() const
{
    auto response = GetResponseIfAny();
    if (!response)
        return StringW();
    StringW reason = StringW::FromAnsi(response->GetReason(), CP_ACP);
    if (reason.empty())
        reason = GetHttpStatusName(response->GetStatus());
    return StringW::Format(L"%d %s", response->GetStatus(), reason.c_str());
}

uint32_t CAsyncHttpRequestContext::GetContentType() const
{
    auto response = GetResponseIfAny();
    return response ? static_cast<uint32_t>(response->GetContentTypeId()) : 0xFFFFFFFF;
}

bool CAsyncHttpRequestContext::IsSuccessful() const
{
    return GetStatusCode() == 200;
}

std::shared_ptr<CHttpResponse> CAsyncHttpRequestContext::GetResponse() const
{
    RethrowException();
    CCriticalSectionLock lock(m_responseLock);
    return m_response;
}

void CAsyncHttpRequestContext::TerminateAsynchronousHttpRequests()
{
    Logging::Log(Logging::Debug, L"Terminating asynchronous HTTP requests");
    LiveRequests& live = g_liveRequests;
    live.terminated.store(true);
    std::vector<Os::CHandle> events;
    {
        CCriticalSectionLock lock(live.lock);
        HANDLE process = ::GetCurrentProcess();
        for (CAsyncHttpRequestContext* context : live.contexts) {
            // A completion handler that ends the requests must not wait for
            // its own, which completes only once the handler returns.
            if (context->GetThreadId() == ::GetCurrentThreadId())
                continue;
            HANDLE duplicate = nullptr;
            if (!::DuplicateHandle(process, context->GetCompletionEvent(), process, &duplicate, 0, FALSE,
                                   DUPLICATE_SAME_ACCESS))
                QZL_THROW(QZL_FUNCTION,
                          CWinError(::GetLastError(), nullptr));
            events.emplace_back(duplicate);
            // A second termination finds the first one's requests canceled already.
            if (!context->IsCanceled())
                context->Cancel();
        }
    }
    if (events.empty())
        return;
    std::vector<HANDLE> handles;
    for (const Os::CHandle& event : events)
        handles.push_back(event.Get());
    Os::WaitForAllObjects(handles.data(), handles.size(), DateTimeSpan());
}

void CAsyncHttpRequestContext::ResumeAsynchronousHttpRequests()
{
    g_liveRequests.terminated.store(false);
}

bool CAsyncHttpRequestContext::IsSocketError(const std::exception_ptr& exception)
{
    if (!exception)
        return false;
    try {
        std::rethrow_exception(exception);
    } catch (const CSocketError&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace Quenzal::Net

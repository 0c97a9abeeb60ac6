#pragma once
// An HTTP request run as a cancelable work item on the system thread pool.
// Every request that has been queued and has not yet completed is kept in
// one process-wide table, so that shutdown can refuse new requests, cancel
// the running ones and wait until they are done.

#include "CriticalSection.h"
#include "StringW.h"
#include "ThreadPoolWork.h"
#include "Uri.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace Quenzal::Net {

class CHttpConnection;
class CHttpRequest;
class CHttpResponse;
class CHttpSession;
class IHttpResponseSink;

class CAsyncHttpRequestContext : public Os::CCancelableThreadPoolWork {
public:
    // The request's time limit starts now, on the connection.
    CAsyncHttpRequestContext(const std::shared_ptr<CHttpSession>& session,
                             const std::shared_ptr<CHttpConnection>& connection,
                             const std::shared_ptr<CHttpRequest>& request,
                             const std::shared_ptr<IHttpResponseSink>& sink);
    ~CAsyncHttpRequestContext() override;

    // "HTTP request: " and the server the request goes to.
    std::string GetName() const override;
    // Refuses the request once termination has begun; else enters it in the table.
    void OnExecutionStarting() override;
    // Each run begins without the response of the run before: a run that
    // fails answers with its failure, never with the redirection it followed.
    void BeginExecution() override;
    // The request, or the redirection that OnRedirecting set aside when it ran before.
    void Execute() override;
    // The handlers and the completion event, then out of the table.
    void OnExecutionCompleted() override;
    // Cancels the connection, which makes a pending lookup, connect, send or
    // receive fail, and every later connect of the request (a redirection's,
    // a challenge's answer) with them. Any thread: it reads nothing that the
    // request's own thread changes.
    void Cancel() override;

    // 0xFFFFFFFF when canceled or without a response.
    virtual uint32_t GetStatusCode() const;
    // "404 Not Found"; empty when canceled or without a response.
    virtual StringW GetStatusText() const;
    // The response's content-type id; 0xFFFFFFFF when canceled or without a response.
    virtual uint32_t GetContentType() const;
    virtual bool IsSuccessful() const;

    std::shared_ptr<CHttpRequest> GetRequest() const { return m_request; }
    // Rethrows the failure of the request, if any; else the response (may be null).
    std::shared_ptr<CHttpResponse> GetResponse() const;

    // Refuses new requests from now on, cancels the live ones and returns when
    // each of them has completed, its completion handlers included; called
    // from a completion handler, all but the handler's own request.
    static void TerminateAsynchronousHttpRequests();
    // Accepts new requests again after a termination (a program that stopped
    // its requests and starts its work anew in the same process).
    static void ResumeAsynchronousHttpRequests();
    // True when the exception is a socket failure, that is a network problem.
    static bool IsSocketError(const std::exception_ptr& exception);

protected:
    const std::shared_ptr<CHttpConnection>& GetConnection() const { return m_connection; }
    // Before a redirection takes the request to the target; raising ends it.
    // False sets the redirection aside: Execute returns with the redirecting
    // response, and follows the redirection when it runs again.
    virtual bool OnRedirecting(const CUri& /*target*/) { return true; }

private:
    std::shared_ptr<CHttpResponse> GetResponseIfAny() const;
    void SetTarget(std::string target);

    std::shared_ptr<CHttpSession> m_session;
    std::shared_ptr<CHttpConnection> m_connection;
    std::shared_ptr<CHttpRequest> m_request;
    std::shared_ptr<IHttpResponseSink> m_sink;
    // The redirection set aside; only the request's thread of the moment reads it.
    std::optional<CUri> m_redirection;
    // Also guards the text of where the request goes, which a redirection
    // changes on the request's thread while Cancel logs it on another.
    mutable Os::CCriticalSection m_responseLock;
    std::shared_ptr<CHttpResponse> m_response;
    std::string m_target;
};

} // namespace Quenzal::Net

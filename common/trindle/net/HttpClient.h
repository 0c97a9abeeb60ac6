#pragma once
// The front door for HTTP: stamps every request with the program's identity
// headers, makes a fresh connection per request with the client's time-out,
// and runs the request on the calling thread or on the thread pool. The
// client's session, shared by all its requests, holds the credentials.

#include "CriticalSection.h"
#include "DateTimeSpan.h"
#include "StringW.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace Quenzal::Net {

class CAsyncHttpRequestContext;
class CHttpConnection;
class CHttpRequest;
class CHttpResponse;
class CHttpSession;
class IHttpRequestNotifier;
class IHttpResponseSink;

class CHttpClient {
public:
    using CompletionHandler = std::function<void()>;

    CHttpClient(const StringW& clientName, const StringW& clientVersion, const StringW& applicationName,
                const StringW& applicationVersion, const StringW& applicationDetail = StringW());
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // On the calling thread.
    virtual std::shared_ptr<CHttpResponse> PerformRequest(const std::shared_ptr<CHttpRequest>& request,
                                                          const std::shared_ptr<IHttpResponseSink>& sink,
                                                          const std::shared_ptr<IHttpRequestNotifier>& notifier);
    // On the thread pool; returns at once with the queued request.
    virtual std::shared_ptr<CAsyncHttpRequestContext> SendRequest(
        const std::shared_ptr<CHttpRequest>& request, const std::shared_ptr<IHttpResponseSink>& sink,
        const std::shared_ptr<IHttpRequestNotifier>& notifier, CompletionHandler handler);
    // The request context, not yet queued.
    virtual std::shared_ptr<CAsyncHttpRequestContext> CreateAsyncRequest(
        const std::shared_ptr<CHttpRequest>& request, const std::shared_ptr<IHttpResponseSink>& sink,
        const std::shared_ptr<IHttpRequestNotifier>& notifier, CompletionHandler handler);
    virtual void SubmitAsyncRequest(const std::shared_ptr<CAsyncHttpRequestContext>& context);

    virtual void SetBasicCredentials(const StringW& user, const StringW& password);
    virtual void SetDigestCredentials(const StringW& user, const StringW& password);
    virtual void SetDigestCredentialsHash(const StringW& user, const StringW& passwordHash);
    virtual void ClearCredentials();
    virtual bool HasCredentials();
    virtual void SetAuthenticationFailureHandler(std::function<void(const std::shared_ptr<CHttpResponse>&)> handler);

    virtual std::shared_ptr<CHttpConnection> CreateConnection(const std::shared_ptr<IHttpRequestNotifier>& notifier);
    // "Connection: close" unless the request says otherwise, and every
    // default header the request does not set itself.
    virtual void PrepareRequest(CHttpRequest& request);
    virtual std::shared_ptr<CHttpSession> GetSession();

    const DateTimeSpan& GetTimeout() const { return m_timeout; }
    // For the connections made from now on: how long one wait of a send or
    // receive may last before the exchange is given up as stalled.
    void SetTimeout(const DateTimeSpan& timeout) { m_timeout = timeout; }

protected:
    struct NameLess {
        bool operator()(const std::string& left, const std::string& right) const
        {
            return _stricmp(left.c_str(), right.c_str()) < 0;
        }
    };

    std::map<std::string, StringW, NameLess> m_defaultHeaders;
    // Guards the default headers.
    Os::CCriticalSection m_lock;
    DateTimeSpan m_timeout;
    std::shared_ptr<CHttpSession> m_session;
};

} // namespace Quenzal::Net

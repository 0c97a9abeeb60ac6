#pragma once
// The steps of one MakeHttpRequest call, each in a file of its own: the
// exchange (Http.cpp), reading the response (HttpResponseReader.cpp), the
// redirection (HttpRedirection.cpp) and the answers to authentication
// challenges (HttpAuthentication.cpp).

#include "Http.h"

namespace Quenzal::Net {

class IHttpRequestNotifier;

// What every exchange of one call shares.
struct CExchangeContext {
    std::shared_ptr<CHttpConnection> connection;
    std::shared_ptr<CHttpRequest> request;
    std::shared_ptr<IHttpResponseSink> sink;
    const std::atomic<bool>* canceled;
    const RedirectionGate* redirecting;
};

// Sends the request over a fresh connection and reads the response.
std::shared_ptr<CHttpResponse> PerformExchange(const CExchangeContext& exchange);
// Reads one response from the connection: the head (interim 1xx answers are
// skipped), then the body by its framing, into memory or into the sink.
std::shared_ptr<CHttpResponse> ReadHttpResponse(const std::shared_ptr<CHttpRequest>& request,
                                                const std::shared_ptr<IHttpResponseSink>& sink,
                                                const std::shared_ptr<IHttpRequestNotifier>& notifier,
                                                CHttpConnection& connection);
// Follows the redirection a 301, 302 or 303 response asks for, when the session
// (may be null) lets it and the target is fit; else the response stands.
std::shared_ptr<CHttpResponse> FollowRedirection(CHttpSession* session, const CExchangeContext& exchange,
                                                 const std::shared_ptr<CHttpResponse>& response);
// The redirection's one exchange with the target: credentials go along only
// to the same host and port.
std::shared_ptr<CHttpResponse> PerformRedirectedExchange(CHttpSession* session, const CExchangeContext& exchange,
                                                         const CUri& target);
// Answers the challenges of a 401 response from the session (may be null) and
// repeats the exchange; the last response is the result.
std::shared_ptr<CHttpResponse> Authenticate(CHttpSession* session, const CExchangeContext& exchange,
                                            std::shared_ptr<CHttpResponse> response);

} // namespace Quenzal::Net

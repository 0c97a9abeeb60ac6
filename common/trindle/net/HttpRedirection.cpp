#include "HttpExchange.h"

#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "Logging.h"
#include "MimeContent.h"
#include "NameTables.h"

namespace Quenzal::Net {

std::shared_ptr<CHttpResponse> FollowRedirection(CHttpSession* session, const CExchangeContext& exchange,
                                                 const std::shared_ptr<CHttpResponse>& response)
{
    const auto& request = exchange.request;
    if (session && !session->GetFollowRedirects())
        return response;
    int32_t status = response->GetStatus();
    int32_t method = request->GetMethod();
    if (method != HttpMethodGet && method != HttpMethodHead) {
        if (status != 303) {
            Logging::Log(Logging::Warning, L"Not following redirection on non-GET method");
            return response;
        }
        Logging::Log(Logging::Debug, L"Changing HTTP method to GET");
        request->SetMethod(HttpMethodGet);
        // The body belonged to the method that was turned away.
        request->SetEntity(std::make_shared<CMimeContent>());
        for (const char* name : {"Content-Length", "Content-Type", "Transfer-Encoding", "Content-Encoding"})
            request->RemoveHeaders(name);
    }

    bool present = false;
    std::string location = response->GetHeaderText("Location", present);
    CUri target;
    bool usable = false;
    if (location.empty()) {
        Logging::Log(Logging::Error, L"Location header is empty");
    } else if (location[0] == '/') {
        usable = target.Parse(request->GetUri().Format(false, false) + location);
        if (!usable)
            Logging::LogA(Logging::Error, ("Unable to parse relative URI in Location header: " + location).c_str());
    } else {
        usable = target.Parse(location);
        if (!usable)
            Logging::LogA(Logging::Error, ("Unable to parse absolute URI in Location header: " + location).c_str());
    }
    if (!usable) {
        Logging::LogA(Logging::Error,
                      ("Redirection response contains missing or invalid Location header: " + location).c_str());
        return response;
    }
    const CUri& current = request->GetUri();
    target.GetMaskedNames() = current.GetMaskedNames();
    Logging::LogA(Logging::Debug, ("Redirecting to: " + target.Format(false, false)).c_str());
    if (current.GetScheme() == UriSchemeHttps && target.GetScheme() != UriSchemeHttps) {
        Logging::LogA(Logging::Warning, ("Not following redirection to insecure URI: " + target.ToString()).c_str());
        return response;
    }
    if (target.IsSameServer(current)) {
        Logging::LogA(Logging::Warning, ("Not following circular redirection: " + target.ToString()).c_str());
        return response;
    }

    if (exchange.redirecting && *exchange.redirecting && !(*exchange.redirecting)(target))
        return response;
    return PerformRedirectedExchange(session, exchange, target);
}

std::shared_ptr<CHttpResponse> PerformRedirectedExchange(CHttpSession* session, const CExchangeContext& exchange,
                                                         const CUri& target)
{
    const auto& request = exchange.request;
    const CUri& current = request->GetUri();
    // Credentials were meant for the server that asked for them: another host
    // or port gets none, and the same host under https gets them afresh for
    // the new target.
    bool sameHost = _stricmp(target.GetHost().c_str(), current.GetHost().c_str()) == 0 &&
                    target.GetPort() == current.GetPort();
    request->RemoveHeaders("Authorization");
    request->SetUri(target);
    if (sameHost && session)
        session->AddAuthorization(*request);
    return PerformExchange(exchange);
}

std::shared_ptr<CHttpResponse> FollowRedirectionTo(const std::shared_ptr<CHttpSession>& session,
                                                   const std::shared_ptr<CHttpConnection>& connection,
                                                   const std::shared_ptr<CHttpRequest>& request,
                                                   const std::shared_ptr<IHttpResponseSink>& sink,
                                                   const std::atomic<bool>* canceled, const CUri& target)
{
    Logging::LogA(Logging::Debug, ("Following redirection to: " + target.Format(false, false)).c_str());
    const CExchangeContext exchange{connection, request, sink, canceled, nullptr};
    return PerformRedirectedExchange(session.get(), exchange, target);
}

} // namespace Quenzal::Net

#include "HttpExchange.h"

#include "ErrorReport.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "Logging.h"
#include "NameTables.h"

namespace Quenzal::Net {

namespace {

// The first challenge the session can answer; null when it can answer none.
// Throws when the response carries no challenge at all.
std::shared_ptr<CAuthenticationChallengeHeader> RespondToChallenges(CHttpSession& session, CHttpRequest& request,
                                                                    CHttpResponse& response)
{
    std::shared_ptr<CAuthenticationChallengeHeader> first;
    for (auto header = response.FindHeader("WWW-Authenticate"); header;
         header = response.FindHeader("WWW-Authenticate", header.get())) {
        auto challenge = std::dynamic_pointer_cast<CAuthenticationChallengeHeader>(header);
        if (!challenge)
            continue;
        if (!first)
            first = challenge;
        if (session.RespondToChallenge(request, *challenge))
            return challenge;
    }
    if (!first)
        QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                  CException(L"Received malformed authentication challenge: " +
                             StringW::FromAnsi(response.FormatStatusLine(), CP_ACP)));
    Logging::Log(Logging::Error, L"Unable to respond to authentication challenge");
    return nullptr;
}

// The first challenge of the response that this client can compute an
// answer to, else its first challenge; null when it carries none.
std::shared_ptr<CAuthenticationChallengeHeader> FindAnswerableChallenge(const CHttpResponse& response)
{
    std::shared_ptr<CAuthenticationChallengeHeader> first;
    for (auto header = response.FindHeader("WWW-Authenticate"); header;
         header = response.FindHeader("WWW-Authenticate", header.get())) {
        auto challenge = std::dynamic_pointer_cast<CAuthenticationChallengeHeader>(header);
        if (challenge && challenge->CanBeAnswered())
            return challenge;
        if (!first)
            first = challenge;
    }
    return first;
}

} // namespace

std::shared_ptr<CHttpResponse> Authenticate(CHttpSession* session, const CExchangeContext& exchange,
                                            std::shared_ptr<CHttpResponse> response)
{
    const auto& request = exchange.request;
    if (!session) {
        Logging::Log(Logging::Error, L"No session object available to respond to authentication challenge");
        return response;
    }
    auto challenge = RespondToChallenges(*session, *request, *response);
    if (challenge && challenge->GetScheme() == AuthenticationSchemeBasic) {
        response = PerformExchange(exchange);
    } else if (challenge && challenge->GetScheme() == AuthenticationSchemeDigest) {
        StringW nonce = challenge->GetNonce();
        for (int attempts = 0;;) {
            response = PerformExchange(exchange);
            if (response->GetStatus() != 401 || nonce.empty())
                break;
            auto next = FindAnswerableChallenge(*response);
            if (!next)
                QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                          CException(L"Received malformed authentication challenge: " +
                                     StringW::FromAnsi(response->FormatStatusLine(), CP_ACP)));
            if (next->GetNonce() == nonce)
                break;
            Logging::Log(Logging::Warning, L"Received authentication challenge with new nonce; assuming previous "
                                           L"nonce was stale and retrying request");
            if (!session->RespondToChallenge(*request, *next)) {
                Logging::Log(Logging::Error, L"Unable to respond to authentication challenge");
                break;
            }
            nonce = next->GetNonce();
            if (++attempts == 3)
                break;
        }
    }
    if (response->GetStatus() == 401)
        session->OnAuthenticationFailure(response);
    return response;
}

} // namespace Quenzal::Net

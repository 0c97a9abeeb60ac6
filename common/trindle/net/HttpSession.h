#pragma once
// What the requests of one HTTP client share: the credentials, the state of
// the last authentication challenge, whether redirections are followed, and
// the handler called when authentication finally fails.

#include "CriticalSection.h"
#include "StringW.h"
#include "Uri.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace Quenzal::Net {

class CAuthenticationChallengeHeader;
class CHttpRequest;
class CHttpResponse;

class CHttpSession {
public:
    using AuthenticationFailureHandler = std::function<void(const std::shared_ptr<CHttpResponse>&)>;

    CHttpSession();
    virtual ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // Setting the credentials already held keeps the challenge state; other
    // credentials clear it. An empty user leaves no credentials.
    virtual void SetBasicCredentials(const StringW& user, const StringW& password);
    virtual void SetDigestCredentials(const StringW& user, const StringW& password);
    // With a precomputed Digest H(A1) in place of the password.
    virtual void SetDigestCredentialsHash(const StringW& user, const StringW& passwordHash);
    virtual void ClearCredentials();
    virtual bool HasCredentials();
    // Takes over the challenge's state, from now on bound to the request's
    // server, and adds the answer to the request. False when there is
    // nothing to answer with. A challenge of another
    // scheme than the credentials were given for is refused and changes
    // nothing: Digest credentials must never go out as Basic. So is a challenge
    // this client cannot compute an answer to.
    virtual bool RespondToChallenge(CHttpRequest& request, const CAuthenticationChallengeHeader& challenge);
    // Adds the Authorization header when the session can: Basic only over
    // https, Digest only to the server (scheme, host and port) whose
    // challenge gave the nonce. An answer made for one server could be
    // replayed by another to it.
    virtual bool AddAuthorization(CHttpRequest& request);
    virtual void SetAuthenticationFailureHandler(AuthenticationFailureHandler handler);
    virtual void OnAuthenticationFailure(const std::shared_ptr<CHttpResponse>& response);
    virtual bool GetFollowRedirects() const;
    virtual void SetFollowRedirects(bool follow);

private:
    void SetCredentials(int32_t scheme, const StringW& user, const StringW& password, const StringW& passwordHash);

    Os::CCriticalSection m_lock;
    AuthenticationFailureHandler m_authenticationFailureHandler;
    std::atomic<bool> m_followRedirects{true};
    StringW m_user;
    StringW m_password;
    StringW m_passwordHash;
    int32_t m_scheme = -1;
    StringW m_realm;
    StringW m_nonce;
    uint32_t m_nonceCount = 1;
    StringW m_opaque;
    int32_t m_qop = -1;
    // The server that sent the challenge.
    CUri m_challenger;
};

} // namespace Quenzal::Net

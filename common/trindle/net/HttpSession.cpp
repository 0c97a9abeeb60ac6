#include "HttpSession.h"

#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "Logging.h"
#include "NameTables.h"

namespace Quenzal::Net {

using Os::CCriticalSectionLock;

namespace {

// The request's Authorization header as credentials, replacing one of another class.
std::shared_ptr<CAuthenticationCredentialsHeader> GetCredentialsHeader(CHttpRequest& request)
{
    auto header = std::dynamic_pointer_cast<CAuthenticationCredentialsHeader>(request.FindHeader("Authorization"));
    if (header)
        return header;
    request.RemoveHeaders("Authorization");
    return std::dynamic_pointer_cast<CAuthenticationCredentialsHeader>(request.CreateHeader("Authorization"));
}

} // namespace

CHttpSession::CHttpSession() = default;

CHttpSession::~CHttpSession() = default;

void CHttpSession::SetCredentials(int32_t scheme, const StringW& user, const StringW& password,
                                  const StringW& passwordHash)
{
    CCriticalSectionLock lock(m_lock);
    if (m_scheme == scheme && m_user == user && m_password == password && m_passwordHash == passwordHash)
        return;
    ClearCredentials();
    if (user.empty())
        return;
    m_scheme = scheme;
    m_user = user;
    m_password = password;
    m_passwordHash = passwordHash;
}

void CHttpSession::SetBasicCredentials(const StringW& user, const StringW& password)
{
    SetCredentials(AuthenticationSchemeBasic, user, password, StringW());
}

void CHttpSession::SetDigestCredentials(const StringW& user, const StringW& password)
{
    SetCredentials(AuthenticationSchemeDigest, user, password, StringW());
}

void CHttpSession::SetDigestCredentialsHash(const StringW& user, const StringW& passwordHash)
{
    SetCredentials(AuthenticationSchemeDigest, user, StringW(), passwordHash);
}

void CHttpSession::ClearCredentials()
{
    CCriticalSectionLock lock(m_lock);
    m_user.clear();
    m_password.clear();
    m_passwordHash.clear();
    m_realm.clear();
    m_nonce.clear();
    m_opaque.clear();
    m_challenger = CUri();
    m_scheme = -1;
    m_nonceCount = 1;
    m_qop = -1;
}

bool CHttpSession::HasCredentials()
{
    CCriticalSectionLock lock(m_lock);
    return !m_user.empty() && (!m_password.empty() || !m_passwordHash.empty());
}

bool CHttpSession::RespondToChallenge(CHttpRequest& request, const CAuthenticationChallengeHeader& challenge)
{
    CCriticalSectionLock lock(m_lock);
    // Answering a Basic challenge with Digest credentials would hand the
    // password itself to whoever sent the challenge.
    if (HasCredentials() && challenge.GetScheme() != m_scheme) {
        Logging::Log(Logging::Warning, L"Authentication challenge does not match the scheme of the credentials");
        return false;
    }
    // An answer computed some other way than the challenge asks for is no answer.
    if (!challenge.CanBeAnswered()) {
        Logging::Log(Logging::Warning, L"Authentication challenge asks for an algorithm or qop this client lacks");
        return false;
    }
    m_scheme = challenge.GetScheme();
    m_realm = challenge.GetRealm();
    if (challenge.GetNonce() != m_nonce) {
        m_nonce = challenge.GetNonce();
        m_nonceCount = 1;
    }
    m_opaque = challenge.GetOpaque();
    // The server alone: the request's query may hold secrets.
    m_challenger = CUri();
    m_challenger.SetScheme(request.GetUri().GetScheme());
    m_challenger.SetHost(request.GetUri().GetHost());
    m_challenger.SetPort(request.GetUri().GetPort());
    m_qop = challenge.GetQop().empty() ? -1 : GetDigestQopTable().LookupValue(challenge.GetQop());
    return AddAuthorization(request);
}

bool CHttpSession::AddAuthorization(CHttpRequest& request)
{
    CCriticalSectionLock lock(m_lock);
    if (!HasCredentials())
        return false;
    if (m_scheme == AuthenticationSchemeBasic) {
        if (request.GetUri().GetScheme() != UriSchemeHttps)
            return false;
    } else if (m_scheme == AuthenticationSchemeDigest) {
        if (m_nonce.empty() || !request.GetUri().IsSameServer(m_challenger))
            return false;
    } else {
        return false;
    }

    auto header = GetCredentialsHeader(request);
    if (!header)
        return false;
    header->SetUser(m_user);
    header->SetPassword(m_password);
    header->SetPasswordHash(m_passwordHash);
    header->SetMethod(request.GetMethod());
    header->SetUri(StringW::FromAnsi(request.FormatRequestTarget(), CP_ACP));
    header->SetScheme(m_scheme);
    header->SetRealm(m_realm);
    header->SetNonce(m_nonce);
    header->SetQop(m_qop);
    header->SetNonceCount(StringW::Format(L"%.8x", m_nonceCount++));
    header->SetOpaque(m_opaque);
    return true;
}

void CHttpSession::SetAuthenticationFailureHandler(AuthenticationFailureHandler handler)
{
    m_authenticationFailureHandler = std::move(handler);
}

void CHttpSession::OnAuthenticationFailure(const std::shared_ptr<CHttpResponse>& response)
{
    if (m_authenticationFailureHandler)
        m_authenticationFailureHandler(response);
}

bool CHttpSession::GetFollowRedirects() const
{
    return m_followRedirects.load();
}

void CHttpSession::SetFollowRedirects(bool follow)
{
    m_followRedirects.store(follow);
}

} // namespace Quenzal::Net

// The two requests of the authentication probe: asking the appliance to send
// a probe message, and confirming its token, which agrees the shared secret
// that later requests use as the Digest password.

#include "ClientId.h"
#include "ErrorReport.h"
#include "HttpRequest.h"
#include "Logging.h"
#include "NetEncoding.h"
#include "NxoApiClient.h"
#include "NxoApiError.h"
#include "NxoOutlookAddInConfig.h"
#include "Util.h"

using namespace Quenzal;

CNxoApiClient::ContextPtr CNxoApiClient::InitiateAuthenticationProbe(const std::wstring& identity,
                                                                     ProbeHandler handler)
{
    if (CNxoOutlookAddInConfig::GetInstance().IsAuthenticated())
        Logging::Log(Logging::Warning, L"User already authenticated; initiating authentication probe anyway");
    auto request = CreateApiRequest(NxoApiRequestAuthenticationProbe, std::wstring());
    AddRequestParameter(*request, L"user", identity, false);
    AddRequestParameter(*request, L"client_id", App::GetClientId(), false);
    return SubmitWithStatus(request, std::move(handler));
}

void CNxoApiClient::VerifyAuthenticationProbe(const std::wstring& identity, const std::wstring& token)
{
    // 170 random bytes: 228 Base64 characters, a new secret for every probe.
    const StringW secret(Net::Base64Encode(GenerateRandomData()));
    const StringW clientId = App::GetClientId();
    auto request = CreateApiRequest(NxoApiRequestAuthenticationConfirm, std::wstring());
    AddRequestParameter(*request, L"user", identity, false);
    AddRequestParameter(*request, L"client_id", clientId, false);
    AddRequestParameter(*request, L"token", token, false);
    AddRequestParameter(*request, L"shared_secret", secret, true);
    auto context = PerformApiRequest(request);
    if (!context->IsSuccessful())
        QZL_THROW(L"CNxoApiClient::VerifyAuthenticationProbe", CNxoApiError(context));

    Os::CCriticalSectionLock lock(m_lock);
    Logging::Log(Logging::Debug,
                 (L"Authentication probe verified successfully; user logged in as: " + identity).c_str());
    const StringW accountName = StringW::Format(L"%s===%s", identity.c_str(), clientId.c_str());
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    config.SetAccountName(accountName);
    config.SetAccountKey(secret);
    SetDigestCredentials(accountName, secret);
}

// Reporting a message's verdict to the appliance, and whitelisting addresses
// with it (each address only once, through the cached whitelist).

#include "HttpRequest.h"
#include "Logging.h"
#include "NameTables.h"
#include "NxoApiClient.h"
#include "NxoOutlookAddInConfig.h"

using namespace Quenzal;
using Os::CCriticalSectionLock;

namespace {

// Form data as a form decoder reads it back: '%', '+', '&', '=' and every
// byte outside printable ASCII percent-encoded, all else (the at sign, dots,
// the commas between addresses) as it is, so "a+b@x" arrives as itself.
std::string FormEncodeAddress(const std::string& address)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : address) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte > 0x7E || ch == '%' || ch == '+' || ch == '&' || ch == '=') {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0x0F]);
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

} // namespace

CNxoApiClient::ContextPtr CNxoApiClient::MarkMessage(const std::wstring& uri, const std::wstring& debugId, bool spam)
{
    auto request = CreateApiRequest(NxoApiRequestMark, uri);
    AddRequestParameter(*request, L"id", debugId, false);
    AddRequestParameter(*request, L"Spam", spam ? L"Y" : L"N", false);
    return SubmitWithStatus(request, [this, spam](const ContextPtr& context) {
        if (!context->IsSuccessful())
            return;
        CCriticalSectionLock lock(m_lock);
        CNxoOutlookAddInConfig::GetInstance().IncrementCounter(spam ? NxoSettings::SpamCount
                                                                    : NxoSettings::NotSpamCount);
    });
}

CNxoApiClient::ContextPtr CNxoApiClient::WhitelistAddresses(std::set<std::string>& addresses)
{
    // The cache keeps itself: no request waits for its files.
    Net::CUri appliance = CNxoOutlookAddInConfig::GetInstance().GetNxoUri();
    if (!appliance.GetHost().empty())
        m_cachedWhitelist.BindToAppliance(appliance);
    std::erase_if(addresses, [this](const std::string& address) { return m_cachedWhitelist.Contains(address); });
    if (addresses.empty()) {
        Logging::Log(Logging::Debug, L"All addresses in whitelist request are already whitelisted");
        return nullptr;
    }
    std::string joined, encoded;
    for (const std::string& address : addresses) {
        if (!joined.empty()) {
            joined.push_back(',');
            encoded.push_back(',');
        }
        joined.append(address);
        encoded.append(FormEncodeAddress(address));
    }
    Logging::LogFormat(Logging::Debug, L"Whitelisting %Iu address(es): %s", addresses.size(),
                       StringW(joined).c_str());
    auto request = CreateApiRequest(NxoApiRequestWhitelist, std::wstring());
    request->SetMethod(Net::HttpMethodPost);
    request->SetFormData("Addresses=" + encoded);
    // The answer belongs to the appliance the addresses were sent to,
    // whichever server a redirection took the request to.
    return SubmitWithStatus(request, [this, sentTo = request->GetUri(), sent = addresses](const ContextPtr& context) {
        if (context->IsSuccessful())
            m_cachedWhitelist.AddAddresses(sentTo, sent);
    });
}

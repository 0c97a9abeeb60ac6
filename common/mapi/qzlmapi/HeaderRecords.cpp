#include "HeaderRecords.h"

#include "ClientId.h"
#include "ErrorReport.h"
#include "Uri.h"

namespace Quenzal::Mapi {

bool AreQuenzalHeadersValid(const QuenzalHeaders& headers)
{
    return Net::IsValidUri(headers.Url.ToAnsi()) && !headers.DebugId.empty();
}

bool IsCompleteQuenzalMessageProps(const QuenzalMessageProps& props)
{
    if (!AreQuenzalHeadersValid({props.Url, props.DebugId}))
        return false;
    size_t at = props.ReceivedBySmtpAddress.find(L'@');
    return at != StringW::npos && at != 0 && at + 1 != props.ReceivedBySmtpAddress.size();
}

bool AreAuthenticationProbePropsValid(const AuthenticationProbeProps& props)
{
    if (props.ClientId.empty() || props.ValidationToken.empty())
        return false;
    if (props.ClientId != App::GetClientId())
        QZL_THROW(L"Quenzal::Mapi::AreAuthenticationProbePropsValid",
                  CException(L"Received authentication probe with unexpected client ID: " + props.ClientId));
    return true;
}

} // namespace Quenzal::Mapi

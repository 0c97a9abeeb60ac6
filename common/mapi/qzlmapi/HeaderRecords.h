#pragma once
// The records of the headers the appliance puts on the mail it delivers, and
// of the headers of its authentication probe, with the rules that make each
// record usable.

#include "StringW.h"

#include <array>

namespace Quenzal::Mapi {

// The appliance's own headers; both empty when constructed.
struct QuenzalHeaders {
    StringW Url;
    StringW DebugId;
};

struct QuenzalMessageProps {
    StringW Url;
    StringW DebugId;
    // The SMTP address at which the user received the message.
    StringW ReceivedBySmtpAddress;
};

struct AuthenticationProbeProps {
    StringW ClientId;
    StringW ValidationToken;
    // Only the exact value "Yes" turns stubbing on.
    bool StubbingEnabled = false;
};

// The header names in field order; both lookups go by this order.
inline constexpr std::array<const char*, 2> QuenzalHeaderNames = {"X-Quenzal-URL", "X-QRX-Debug-ID"};
inline constexpr std::array<const char*, 3> AuthenticationProbeHeaderNames = {
    "X-Quenzal-Client-ID", "X-Quenzal-Addin-Validation-Token", "X-Quenzal-Stubbing-Enabled"};

// The URL is a URI the network library can use and the debug id is present.
bool AreQuenzalHeadersValid(const QuenzalHeaders& headers);
// Valid headers, and a received-by address with text on both sides of its
// first '@'.
bool IsCompleteQuenzalMessageProps(const QuenzalMessageProps& props);
// False while the client id or the token is missing. A probe sent to
// another installation raises CException: it must not be taken for a
// missing one.
bool AreAuthenticationProbePropsValid(const AuthenticationProbeProps& props);

} // namespace Quenzal::Mapi

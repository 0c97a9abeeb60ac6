#pragma once
// The appliance's headers and the authentication probe's headers of a MAPI
// message. Each record is looked up first in the named internet-header
// properties the store keeps, then in the message's transport header block.

#include "HeaderRecords.h"
#include "MapiPointers.h"

namespace Quenzal::Mapi {

// With required, a record without a usable URI, debug id or received-by
// address raises CException "Message is missing required Quenzal headers";
// without it the caller gets whatever was found. The received-by address
// falls back to the user's own address.
QuenzalMessageProps GetQuenzalMessageProps(IMessage* message, bool required);
// Raises "Message is missing required headers" when the probe headers are
// incomplete, and the foreign-client exception when the transport headers
// name another installation.
AuthenticationProbeProps GetAuthenticationProbeProps(IMessage* message);
// Empty when the message has none or it cannot be read.
StringW GetMessageSubject(IMessage* message);

// The steps of the lookups, each usable on its own. The transport-header
// scans raise CMapiError for a message without transport headers.
QuenzalHeaders GetQuenzalHeaders(IMessage* message, bool required);
QuenzalHeaders QueryNamedQuenzalHeaders(IMessage* message);
QuenzalHeaders ParseQuenzalHeadersFromTransportHeaders(IMessage* message);
AuthenticationProbeProps QueryAuthenticationProbeProps(IMessage* message);
AuthenticationProbeProps ParseAuthenticationProbePropsFromTransportHeaders(IMessage* message);

} // namespace Quenzal::Mapi

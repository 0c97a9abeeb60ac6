#pragma once
// Name lookups that a connect can leave. The system's lookup blocks its
// thread, cannot be canceled and may take seconds to fail; a connect that
// made it itself could be neither canceled nor held to its deadline, and
// whoever waits for the request (a disconnection among them) would wait as
// long. The lookup runs on a pool thread instead, which holds the module
// until it has returned; the connect waits for it, its cancel event or its
// deadline, whichever comes first, and leaves a lookup it no longer needs to
// end by itself. Connects to one host share the lookup under way, so that
// requests given up on do not stack up threads on a host that never answers.

#include "IpAddress.h"

#include "Wait.h"

#include <windows.h>

#include <string>

namespace Quenzal::Net {

// The host's address with the port. A dotted address or an empty host is
// taken at once. Raises the lookup's own failure, or a CSocketError with
// ERROR_OPERATION_ABORTED when cancel is set first, or WSAETIMEDOUT when
// the time-out (zero: none) or the deadline passes first.
CIpAddress LookUpHost(const std::string& host, unsigned short port, HANDLE cancel,
                      const DateTimeSpan& timeout, const Os::CDeadline& deadline);

} // namespace Quenzal::Net

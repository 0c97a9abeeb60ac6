#pragma once
// Winsock start-up and the resolution of "host[:port]" texts.
// Winsock comes through <windows.h> (its winsock.h); <winsock2.h> would have to
// come before every <windows.h> and is not needed for IPv4 TCP.

#include "IpAddress.h"

#include "StringW.h"

namespace Quenzal::Net {

// Starts Winsock 2.0 once per process; later calls do nothing. Winsock is
// never cleaned up.
void InitializeSockets();

// "name", "name:port", "10.1.2.3:port" or "*" (any address) as an endpoint;
// without a port the default port is used.
CIpAddress ResolveHostname(const std::wstring& host, unsigned short defaultPort);

} // namespace Quenzal::Net

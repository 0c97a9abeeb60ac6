#pragma once
// An IPv4 endpoint: the system's address structure, and the host name it was
// resolved from (kept for the TLS server name and for display).

#include <windows.h>

#include <string>

namespace Quenzal::Net {

class CIpAddress {
public:
    // The empty endpoint: port 0, address 255.255.255.255, no host.
    CIpAddress();
    // Resolves host (a name or a dotted address; may carry ":port"); an empty
    // host gives the empty endpoint.
    CIpAddress(const std::string& host, unsigned short port);

    // Fills the endpoint from a name or a dotted address; raises when the name
    // does not resolve. A name is kept as the host text, a dotted address is not.
    void Resolve(const std::string& host, unsigned short port);

    // The dotted address ("*" for any), with ":port" when asked.
    std::string ToString(bool withPort) const;
    // The host text; without one, the dotted address of a usable endpoint.
    std::string GetHostText() const;

    const sockaddr_in& GetAddress() const { return m_address; }
    sockaddr_in& GetAddress() { return m_address; }
    const sockaddr* GetSockAddr() const { return reinterpret_cast<const sockaddr*>(&m_address); }
    // The port in host byte order.
    unsigned short GetPort() const;
    const std::string& GetHost() const { return m_host; }
    void SetHost(const std::string& host) { m_host = host; }

private:
    sockaddr_in m_address;
    std::string m_host;
};

} // namespace Quenzal::Net

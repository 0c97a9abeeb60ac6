#include "IpAddress.h"

#include "ErrorReport.h"
#include "SocketError.h"
#include "Net.h"

#include <cstring>

namespace Quenzal::Net {

CIpAddress::CIpAddress() : m_address{}
{
    m_address.sin_family = AF_INET;
    m_address.sin_port = 0;
    m_address.sin_addr.s_addr = INADDR_NONE;
}

CIpAddress::CIpAddress(const std::string& host, unsigned short port) : CIpAddress()
{
    if (host.empty())
        return;
    *this = ResolveHostname(StringW(host), port);
}

void CIpAddress::Resolve(const std::string& host, unsigned short port)
{
    unsigned long address = ::inet_addr(host.c_str());
    bool byName = address == INADDR_NONE;
    if (byName) {
        const hostent* entry = ::gethostbyname(host.c_str());
        if (entry == nullptr)
            QZL_THROW(QZL_FUNCTION, CSocketError(host.c_str()));
        if (entry->h_addrtype == AF_INET && entry->h_length == 4 && entry->h_addr_list[0] != nullptr)
            memcpy(&address, entry->h_addr_list[0], 4);
    }
    if (address == INADDR_NONE)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to resolve hostname: " + StringW(host)));
    m_address.sin_family = AF_INET;
    m_address.sin_addr.s_addr = address;
    m_address.sin_port = ::htons(port);
    // The name is what a TLS server expects to be asked for; a dotted address is
    // never sent as a server name.
    m_host = byName ? host : std::string();
}

std::string CIpAddress::ToString(bool withPort) const
{
    const char* dotted = "*";
    if (m_address.sin_addr.s_addr != INADDR_ANY)
        dotted = ::inet_ntoa(m_address.sin_addr);
    std::string text(dotted != nullptr ? dotted : "");
    if (withPort && !text.empty()) {
        text += ':';
        text += std::to_string(GetPort());
    }
    return text;
}

std::string CIpAddress::GetHostText() const
{
    if (m_host.empty() && m_address.sin_addr.s_addr != INADDR_NONE && m_address.sin_port != 0)
        return ToString(false);
    return m_host;
}

unsigned short CIpAddress::GetPort() const
{
    return ::ntohs(m_address.sin_port);
}

} // namespace Quenzal::Net

#include "Net.h"

#include "ErrorReport.h"

#include <atomic>

namespace Quenzal::Net {

namespace {

std::atomic<bool> g_socketsInitialized{false};

} // namespace

void InitializeSockets()
{
    if (g_socketsInitialized)
        return;
    WSADATA data;
    int result = ::WSAStartup(MAKEWORD(2, 0), &data);
    if (result != 0)
        QZL_THROW(L"Quenzal::Net::InitializeSockets", CWinError(static_cast<DWORD>(result), L""));
    g_socketsInitialized = true;
}

CIpAddress ResolveHostname(const std::wstring& hostText, unsigned short defaultPort)
{
    StringW host(hostText);
    unsigned short port = defaultPort;
    StringW portText = GetLastToken(hostText, L':', false);
    if (!portText.empty()) {
        port = static_cast<unsigned short>(_wtoi(portText.c_str()));
        if (port == 0)
            QZL_THROW(L"Quenzal::Net::ResolveHostname", CException(L"Invalid port in hostname: " + StringW(hostText)));
        host = StringW(hostText.substr(0, hostText.rfind(L':')));
    }

    CIpAddress endpoint;
    if (host == L"*") {
        sockaddr_in& address = endpoint.GetAddress();
        address.sin_family = AF_INET;
        address.sin_port = ::htons(port);
        address.sin_addr.s_addr = INADDR_ANY;
        return endpoint;
    }
    endpoint.Resolve(host.ToAnsi(), port);
    return endpoint;
}

} // namespace Quenzal::Net

#include "IpAddress.h"
#include "Net.h"
#include "SocketError.h"

#include "SocketTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Quenzal;
using namespace Quenzal::Net;

namespace {

class IpAddressTest : public QzlTest::CSocketFixture {};

std::wstring DescriptionOfResolving(const std::wstring& host, unsigned short port)
{
    try {
        ResolveHostname(host, port);
    } catch (const CException& e) {
        return e.GetDescription();
    }
    return L"(no exception)";
}

} // namespace

TEST_F(IpAddressTest, NameWithPortResolvesTheNameAlone)
{
    CIpAddress endpoint = ResolveHostname(L"localhost:8080", 80);
    EXPECT_EQ(endpoint.GetPort(), 8080);
    EXPECT_EQ(endpoint.ToString(true), "127.0.0.1:8080");
    EXPECT_EQ(endpoint.GetHostText(), "localhost");
    EXPECT_EQ(endpoint.GetAddress().sin_family, AF_INET);
    EXPECT_EQ(endpoint.GetAddress().sin_port, htons(8080));
}

TEST_F(IpAddressTest, NameWithoutPortTakesTheDefaultPort)
{
    CIpAddress endpoint = ResolveHostname(L"localhost", 80);
    EXPECT_EQ(endpoint.ToString(true), "127.0.0.1:80");
}

TEST_F(IpAddressTest, PortIsTakenModulo65536)
{
    EXPECT_EQ(ResolveHostname(L"localhost:65616", 443).GetPort(), 80);
}

TEST_F(IpAddressTest, PortZeroOrLettersAreRejectedWithTheWholeText)
{
    EXPECT_EQ(DescriptionOfResolving(L"localhost:0", 80), L"Invalid port in hostname: localhost:0");
    EXPECT_EQ(DescriptionOfResolving(L"localhost:http", 80), L"Invalid port in hostname: localhost:http");
    EXPECT_EQ(DescriptionOfResolving(L"localhost:65536", 80), L"Invalid port in hostname: localhost:65536");
}

TEST_F(IpAddressTest, AsteriskIsAnyAddressWithoutLookup)
{
    CIpAddress endpoint = ResolveHostname(L"*", 25);
    EXPECT_EQ(endpoint.GetAddress().sin_addr.s_addr, INADDR_ANY);
    EXPECT_EQ(endpoint.GetPort(), 25);
    EXPECT_EQ(endpoint.ToString(true), "*:25");
    EXPECT_EQ(endpoint.GetHost(), "");
}

TEST_F(IpAddressTest, DottedAddressKeepsNoHostName)
{
    CIpAddress endpoint = ResolveHostname(L"10.1.2.3:443", 80);
    EXPECT_EQ(endpoint.ToString(true), "10.1.2.3:443");
    EXPECT_EQ(endpoint.ToString(false), "10.1.2.3");
    EXPECT_EQ(endpoint.GetHost(), "");
    // Without a name the host text falls back to the dotted address.
    EXPECT_EQ(endpoint.GetHostText(), "10.1.2.3");
}

TEST_F(IpAddressTest, NarrowConstructorResolvesLikeResolveHostname)
{
    CIpAddress named("localhost:8443", 443);
    EXPECT_EQ(named.ToString(true), "127.0.0.1:8443");
    EXPECT_EQ(named.GetHostText(), "localhost");

    CIpAddress empty("", 443);
    EXPECT_EQ(empty.GetAddress().sin_addr.s_addr, INADDR_NONE);
    EXPECT_EQ(empty.GetPort(), 0);
    EXPECT_EQ(empty.GetHostText(), "");
}

TEST_F(IpAddressTest, UnknownNameRaisesSocketErrorWithTheName)
{
    QzlTest::CLogCapture log;
    try {
        CIpAddress endpoint("no-such-host.invalid", 80);
        FAIL() << "resolved " << endpoint.ToString(true);
    } catch (const CSocketError& e) {
        EXPECT_EQ(e.GetContext(), "no-such-host.invalid");
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetDescription(), CombineMessage(GetErrorText(e.GetErrorCode()), L"no-such-host.invalid"));
    }
    EXPECT_TRUE(log.Contains("Throwing exception at IpAddress.cpp, Quenzal::Net::CIpAddress::Resolve, line "));
}

TEST(SocketErrorTest, CodeZeroReadsAsResetByPeer)
{
    EXPECT_EQ(CSocketError(0, "10.1.2.3:80").GetDescription(), L"Connection reset by peer: 10.1.2.3:80");
    EXPECT_EQ(CSocketError(0, nullptr).GetDescription(), L"Connection reset by peer");
    EXPECT_EQ(CSocketError(WSAECONNREFUSED, "x").GetDescription(),
              CombineMessage(GetErrorText(WSAECONNREFUSED), L"x"));
    ::WSASetLastError(WSAEADDRINUSE);
    CSocketError fromLastError("y");
    EXPECT_EQ(fromLastError.GetErrorCode(), static_cast<DWORD>(WSAEADDRINUSE));
    EXPECT_EQ(fromLastError.GetHResult(), E_FAIL);
}

QZL_CHILD_CASE(InitializeSocketsTwice)
{
    // Libraries of the platform may have started Winsock for themselves.
    for (int i = 0; i < 100 && ::WSACleanup() == 0; ++i) {
    }
    InitializeSockets();
    InitializeSockets();
    // One clean-up undoes the one start: sockets can no longer be made.
    ::WSACleanup();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    return s == INVALID_SOCKET && ::WSAGetLastError() == WSANOTINITIALISED ? 0 : 1;
}

TEST(NetTest, InitializeSocketsStartsWinsockOnce)
{
    EXPECT_EQ(QzlTest::RunChildCase("InitializeSocketsTwice").exitCode, 0u);
}

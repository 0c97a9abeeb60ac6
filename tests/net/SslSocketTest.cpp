// Winsock 2 declares SD_SEND; it must come before <windows.h>.
#include <winsock2.h>

#include "Net.h"
#include "SslSocket.h"

#include "Util.h"

#include "SocketTestSupport.h"
#include "TestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::CTestServer;
using QzlTest::Pattern;
using QzlTest::ReceiveAtLeast;

namespace {

class SslSocketTest : public QzlTest::CSocketFixture {};

// Receives until the server ends the TLS session (a receive that appends nothing).
std::string ReceiveUntilClosed(CSocket& socket)
{
    std::string data;
    for (;;) {
        size_t before = data.size();
        socket.Receive(data);
        if (data.size() == before)
            return data;
    }
}

// Schannel on Windows answers a server that asks for an optional client
// certificate with SEC_I_INCOMPLETE_CREDENTIALS; Wine's never does.
class CAskedForACertificateSocket : public CSslSocket {
public:
    std::vector<ULONG> flags;

protected:
    SECURITY_STATUS ContinueClientHandshake(SecBufferDesc* input, ULONG requested, SecBufferDesc* output,
                                            ULONG& attributes) override
    {
        flags.push_back(requested);
        if (flags.size() == 1)
            return SEC_I_INCOMPLETE_CREDENTIALS;
        return CSslSocket::ContinueClientHandshake(input, requested, output, attributes);
    }
};

} // namespace

TEST_F(SslSocketTest, AServerThatAsksForAClientCertificateGetsNone)
{
    CTestServer server({"echo", "--tls"});
    CAskedForACertificateSocket socket;
    socket.Connect("localhost", server.Port());
    socket.Send("hello", 5);
    EXPECT_EQ(ReceiveAtLeast(socket, 5), "hello");
    ASSERT_GE(socket.flags.size(), 2u);
    EXPECT_EQ(socket.flags[0] & ISC_REQ_USE_SUPPLIED_CREDS, 0u);
    EXPECT_NE(socket.flags[1] & ISC_REQ_USE_SUPPLIED_CREDS, 0u);
}

TEST_F(SslSocketTest, NegotiatesTls12AndSendsTheHostNameAsServerName)
{
    CTestServer server({"info", "--tls"});
    CSslSocket socket;
    socket.Connect("localhost", server.Port());
    EXPECT_EQ(socket.GetState(), CSocket::Connected);
    EXPECT_EQ(ReceiveUntilClosed(socket), "version=TLSv1.2 sni=localhost\r\n");
    // After the close notification only the TCP close is left.
    std::string rest;
    EXPECT_THROW(socket.Receive(rest), CSocketError);
    EXPECT_TRUE(rest.empty());
    EXPECT_FALSE(socket.IsOpen());
}

TEST_F(SslSocketTest, AnAddressIsNeverSentAsServerName)
{
    CTestServer server({"info", "--tls"});
    CSslSocket socket;
    socket.Connect("127.0.0.1", server.Port());
    EXPECT_EQ(ReceiveUntilClosed(socket), "version=TLSv1.2 sni=none\r\n");
}

TEST_F(SslSocketTest, EchoesThroughTheStreamInterfaceAndClosesQuietly)
{
    CTestServer server({"echo", "--tls"});
    QzlTest::CLogCapture log;
    {
        CSslSocket socket;
        socket.Connect("localhost", server.Port());
        IOutStream& stream = socket;
        stream.Write("hello over TLS", 14);
        EXPECT_EQ(ReceiveAtLeast(socket, 14), "hello over TLS");
        socket.Close();
        EXPECT_FALSE(socket.IsOpen());
    }
    EXPECT_FALSE(log.Contains("Caught exception while closing"));
    EXPECT_FALSE(log.Contains("EXCEPTION"));
}

TEST_F(SslSocketTest, ACloseNotificationTheConnectionCannotTakeIsLeftOutQuietly)
{
    // The server reads nothing for a minute; the connection cannot take the
    // notification once its buffers are full (the deadline passed while the
    // close waited for room) or once it has been shut for sending.
    CTestServer server({"close", "--tls", "--greeting", "hi", "--delay", "60"});
    for (bool full : {true, false}) {
        QzlTest::CLogCapture log;
        CSslSocket socket;
        socket.Connect("localhost", server.Port());
        EXPECT_EQ(ReceiveAtLeast(socket, 2), "hi");
        const std::string filler(65536, 'f');
        while (full && ::send(socket.GetSocket(), filler.data(), static_cast<int>(filler.size()), 0) > 0) {
        }
        if (!full)
            ::shutdown(socket.GetSocket(), SD_SEND);
        socket.SetDeadline(Os::CDeadline::After(DateTimeSpan(0, 0, 0, 1, 0)));
        socket.Close();
        EXPECT_FALSE(socket.IsOpen());
        EXPECT_FALSE(log.Contains("closing SSL connection")) << log.Text();
        EXPECT_FALSE(log.Contains("EXCEPTION")) << log.Text();
    }
}

TEST_F(SslSocketTest, HandshakeAndRecordsCutInto100BytePieces)
{
    CTestServer server({"echo", "--tls", "--chunk", "100"});
    CSslSocket socket;
    socket.Connect("localhost", server.Port());
    std::string data = Pattern(5000);
    socket.Send(data.data(), data.size());
    EXPECT_EQ(ReceiveAtLeast(socket, data.size()), data);
}

TEST_F(SslSocketTest, DataInTheSegmentOfTheLastHandshakeMessageIsReceivedFirst)
{
    CTestServer server({"close", "--tls", "--greeting", "welcome\\r\\n"});
    CSslSocket socket;
    socket.Connect("localhost", server.Port());
    std::string data;
    socket.Receive(data);
    EXPECT_EQ(data, "welcome\r\n");
}

TEST_F(SslSocketTest, LargeTransfersInBothDirections)
{
    const size_t size = 3 * 1048576 + 5;
    std::string data = Pattern(size);
    {
        CTestServer server({"digest", "--tls", "--size", std::to_string(size)});
        CSslSocket socket;
        socket.Connect("localhost", server.Port());
        socket.Send(data.data(), data.size());
        std::string md5 = BytesToHex(CalculateMd5(data.data(), data.size()));
        EXPECT_EQ(ReceiveUntilClosed(socket), std::to_string(size) + " " + md5 + "\r\n");
    }
    {
        CTestServer server({"source", "--tls", "--size", std::to_string(size)});
        CSslSocket socket;
        socket.Connect("localhost", server.Port());
        std::string received = ReceiveUntilClosed(socket);
        EXPECT_EQ(received.size(), size);
        EXPECT_TRUE(received == data);
    }
}

TEST_F(SslSocketTest, EmptyRecordsAreNotTheEndOfTheStream)
{
    // A TLS 1.0 server with a CBC cipher puts an empty record before each
    // record of data, which decrypts to nothing.
    CTestServer server({"close", "--tls", "--max-tls", "1.0", "--greeting", "first"});
    CSslSocket socket;
    socket.Connect("localhost", server.Port());
    EXPECT_EQ(ReceiveUntilClosed(socket), "first");
}

TEST_F(SslSocketTest, HandshakeTimeOutIsReportedAsTimeOut)
{
    CTestServer server({"silent"});
    CSslSocket socket;
    socket.SetTimeout(DateTimeSpan(0, 0, 0, 1, 0));
    socket.Connect("localhost", server.Port());
    std::string data;
    try {
        socket.Receive(data);
        FAIL() << "no time-out";
    } catch (const CSocketError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(WSAETIMEDOUT));
    }
    EXPECT_EQ(socket.GetState(), CSocket::Connected);
}

TEST_F(SslSocketTest, PeerThatClosesDuringTheHandshakeRaises)
{
    CTestServer server({"close"});
    CSslSocket socket;
    socket.Connect("127.0.0.1", server.Port());
    std::string data;
    EXPECT_THROW(socket.Receive(data), CSocketError);
    EXPECT_FALSE(socket.IsOpen());
}

TEST_F(SslSocketTest, PeerResetAfterTheHandshakeRaises)
{
    CTestServer server({"reset", "--tls", "--delay", "0.3"});
    CSslSocket socket;
    socket.Connect("localhost", server.Port());
    std::string data;
    EXPECT_THROW(socket.Receive(data), CSocketError);
    EXPECT_TRUE(data.empty());
}

TEST_F(SslSocketTest, CertificateCheckWhenAskedRejectsAnUntrustedServer)
{
    CTestServer server({"echo", "--tls"});
    CSslSocket socket;
    socket.SetVerifyServerCertificate(true);
    socket.Connect("localhost", server.Port());
    QzlTest::CLogCapture log;
    try {
        socket.Send("x", 1);
        FAIL() << "an untrusted certificate was accepted";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), CERT_E_UNTRUSTEDROOT);
    }
    EXPECT_TRUE(log.Contains(
        "Throwing exception at SslSocket.cpp, Quenzal::Net::CSslSocket::VerifyServerCertificate, line "));
}

TEST_F(SslSocketTest, ServerSideNeedsACertificateOfItsName)
{
    CSslSocket listener;
    listener.SetServerName(L"no such certificate subject");
    try {
        listener.Listen(CIpAddress("127.0.0.1", 0), false, 5);
        FAIL() << "listened without a certificate";
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(CRYPT_E_NOT_FOUND));
    }
}

#include "Net.h"
#include "Socket.h"

#include "StreamingError.h"
#include "Util.h"

#include "SocketTestSupport.h"
#include "TestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::CTestServer;
using QzlTest::Pattern;
using QzlTest::ReceiveAtLeast;

namespace {

class SocketTest : public QzlTest::CSocketFixture {};

// Receives until the text holds a line end.
std::string ReceiveLine(CSocket& socket)
{
    std::string data;
    while (data.find("\r\n") == std::string::npos)
        socket.Receive(data);
    return data;
}

// Waits (boundedly) until the peer's close shows on the socket.
bool WaitUntilClosedByPeer(const CSocket& socket)
{
    for (int i = 0; i < 3000; ++i) {
        if (!socket.IsOpen())
            return true;
        ::Sleep(10);
    }
    return false;
}

DWORD ReceiveErrorCode(CSocket& socket, std::string& buffer)
{
    try {
        socket.Receive(buffer);
    } catch (const CSocketError& e) {
        return e.GetErrorCode();
    }
    return 0xFFFFFFFF;
}

} // namespace

TEST_F(SocketTest, ConnectsSendsAndReceivesAsAStream)
{
    CTestServer server({"echo"});
    CSocket socket;
    EXPECT_FALSE(socket.IsOpen());
    socket.Connect("127.0.0.1", server.Port());
    EXPECT_EQ(socket.GetState(), CSocket::Connected);
    EXPECT_EQ(socket.GetEndpoint().ToString(true), server.Address());
    EXPECT_TRUE(socket.IsOpen());

    IOutStream& stream = socket;
    stream.Write("hello, ", 7);
    stream.Write("world", 5);
    EXPECT_EQ(stream.GetBytesWritten(), 12u);
    EXPECT_EQ(ReceiveAtLeast(socket, 12), "hello, world");

    socket.Close();
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(socket.GetState(), CSocket::None);
    EXPECT_EQ(socket.GetSocket(), SOCKET(0));
}

TEST_F(SocketTest, ConnectsByNameAndCanBeReused)
{
    CTestServer server({"echo"});
    CSocket socket;
    socket.Connect("localhost", server.Port());
    socket.Send("one", 3);
    EXPECT_EQ(ReceiveAtLeast(socket, 3), "one");
    // A second connect closes the first connection and makes a new one.
    socket.Connect(CIpAddress("localhost", server.Port()));
    socket.Send("two", 3);
    EXPECT_EQ(ReceiveAtLeast(socket, 3), "two");
}

TEST_F(SocketTest, LargeSendArrivesWhole)
{
    const size_t size = 3 * 1048576 + 17;
    CTestServer server({"digest", "--size", std::to_string(size)});
    std::string data = Pattern(size);
    CSocket socket;
    socket.Connect("127.0.0.1", server.Port());
    socket.Send(data.data(), data.size());
    std::string md5 = BytesToHex(CalculateMd5(data.data(), data.size()));
    EXPECT_EQ(ReceiveLine(socket), std::to_string(size) + " " + md5 + "\r\n");
}

TEST_F(SocketTest, ReceiveReturnsAtMost8192BytesAndAppends)
{
    CTestServer server({"source", "--size", "100000"});
    CSocket socket;
    socket.Connect("127.0.0.1", server.Port());
    std::string data = "prefix";
    while (data.size() < 6 + 100000) {
        size_t before = data.size();
        socket.Receive(data);
        ASSERT_GT(data.size(), before);
        ASSERT_LE(data.size() - before, 8192u);
    }
    EXPECT_EQ(data, "prefix" + Pattern(100000));
}

TEST_F(SocketTest, PeerCloseRaisesResetByPeerAndClosesTheSocket)
{
    CTestServer server({"close", "--greeting", "bye"});
    CSocket socket;
    socket.Connect("127.0.0.1", server.Port());
    std::string data = ReceiveAtLeast(socket, 3);
    EXPECT_EQ(data, "bye");

    QzlTest::CLogCapture log;
    try {
        socket.Receive(data);
        FAIL() << "no error after the peer closed";
    } catch (const CSocketError& e) {
        EXPECT_EQ(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetDescription(), L"Connection reset by peer: Connection reset by peer");
    }
    // Nothing of the failed read stays in the buffer.
    EXPECT_EQ(data, "bye");
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(socket.GetState(), CSocket::None);
    EXPECT_TRUE(log.Contains("Throwing exception at Socket.cpp, Quenzal::Net::CSocket::Receive, line "));
}

TEST_F(SocketTest, WritingIntoAConnectionThePeerClosedFailsBeforeSending)
{
    CTestServer server({"close"});
    CSocket socket;
    socket.Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(WaitUntilClosedByPeer(socket));
    IOutStream& stream = socket;
    try {
        stream.Write("late", 4);
        FAIL() << "wrote into a closed connection";
    } catch (const CStreamWritingError& e) {
        EXPECT_EQ(e.GetDescription(), L"Operation cannot be performed on null stream");
    }
    EXPECT_EQ(stream.GetBytesWritten(), 0u);
}

TEST_F(SocketTest, PeerResetRaisesAndLeavesTheSocketUnusable)
{
    CTestServer server({"reset"});
    CSocket socket;
    socket.Connect("127.0.0.1", server.Port());
    std::string data = "kept";
    DWORD code = ReceiveErrorCode(socket, data);
    // A reset may read as a plain close.
    EXPECT_TRUE(code == 0 || code == WSAECONNRESET) << code;
    EXPECT_EQ(data, "kept");
    EXPECT_FALSE(socket.IsOpen());
}

TEST_F(SocketTest, ReceiveTimeOutIsReportedAsTimeOutAndKeepsTheConnection)
{
    CTestServer server({"slow", "--delay", "10"});
    CSocket socket;
    socket.SetTimeout(DateTimeSpan(0, 0, 0, 1, 0));
    socket.Connect("127.0.0.1", server.Port());
    socket.Send("late answer", 11);

    QzlTest::CLogCapture log;
    std::string data = "kept";
    try {
        socket.Receive(data);
        FAIL() << "no time-out";
    } catch (const CSocketError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(WSAETIMEDOUT));
        EXPECT_EQ(e.GetDescription(), GetErrorText(WSAETIMEDOUT));
    }
    EXPECT_EQ(data, "kept");
    EXPECT_FALSE(log.Contains("reset"));
    EXPECT_EQ(socket.GetState(), CSocket::Connected);

    // Without a time-out the receive waits for the slow answer.
    socket.SetTimeout(DateTimeSpan());
    EXPECT_EQ(ReceiveAtLeast(socket, 11), "late answer");
}

TEST_F(SocketTest, SendAndReceiveWithoutConnectionRaise)
{
    CSocket socket;
    std::string data;
    EXPECT_EQ(ReceiveErrorCode(socket, data), static_cast<DWORD>(WSAENOTSOCK));
    EXPECT_TRUE(data.empty());
    EXPECT_THROW(socket.Send("x", 1), CSocketError);
    EXPECT_NO_THROW(socket.Send(nullptr, 0));
}

TEST_F(SocketTest, RefusedConnectNamesTheEndpoint)
{
    // A bound socket that does not listen holds a port nobody accepts on.
    CSocket holder;
    holder.Create();
    holder.Bind(CIpAddress("127.0.0.1", 0));
    sockaddr_in bound = {};
    int size = sizeof(bound);
    ASSERT_EQ(::getsockname(holder.GetSocket(), reinterpret_cast<sockaddr*>(&bound), &size), 0);
    std::string endpoint = "127.0.0.1:" + std::to_string(ntohs(bound.sin_port));

    QzlTest::CLogCapture log;
    CSocket socket;
    try {
        socket.Connect("127.0.0.1", ntohs(bound.sin_port));
        FAIL() << "connected to " << endpoint;
    } catch (const CSocketError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(WSAECONNREFUSED));
        EXPECT_EQ(e.GetContext(), endpoint);
    }
    EXPECT_EQ(socket.GetState(), CSocket::None);
    EXPECT_EQ(socket.GetSocket(), SOCKET(0));
    EXPECT_TRUE(log.Contains("Throwing exception at Socket.cpp, Quenzal::Net::CSocket::Connect, line "));
}

TEST_F(SocketTest, ListensAndAccepts)
{
    CSocket listener;
    listener.Listen(CIpAddress("127.0.0.1", 0), false, 5);
    EXPECT_EQ(listener.GetState(), CSocket::Listening);
    sockaddr_in bound = {};
    int size = sizeof(bound);
    ASSERT_EQ(::getsockname(listener.GetSocket(), reinterpret_cast<sockaddr*>(&bound), &size), 0);
    unsigned short port = ntohs(bound.sin_port);

    // Nothing pending: a time-out gives no socket and no error.
    EXPECT_EQ(listener.Accept(DateTimeSpan(0, 0, 0, 1, 0)), nullptr);

    CSocket client;
    client.Connect("127.0.0.1", port);
    std::shared_ptr<CSocket> accepted = listener.Accept(DateTimeSpan(0, 0, 0, 10, 0));
    ASSERT_NE(accepted, nullptr);
    EXPECT_EQ(accepted->GetState(), CSocket::Accepted);
    EXPECT_EQ(accepted->GetEndpoint().ToString(false), "127.0.0.1");
    EXPECT_EQ(accepted->GetTimeout(), DateTimeSpan(0, 0, 0, 30, 0));

    client.Send("ping", 4);
    EXPECT_EQ(ReceiveAtLeast(*accepted, 4), "ping");
    accepted->Send("pong", 4);
    EXPECT_EQ(ReceiveAtLeast(client, 4), "pong");
}

TEST_F(SocketTest, ListenOnAUsedAddress)
{
    CSocket first;
    first.Listen(CIpAddress("127.0.0.1", 0), false, 5);
    sockaddr_in bound = {};
    int size = sizeof(bound);
    ASSERT_EQ(::getsockname(first.GetSocket(), reinterpret_cast<sockaddr*>(&bound), &size), 0);
    CIpAddress used("127.0.0.1", ntohs(bound.sin_port));

    CSocket second;
    try {
        second.Listen(used, false, 5);
        FAIL() << "listened twice on " << used.ToString(true);
    } catch (const CSocketError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(WSAEADDRINUSE));
        EXPECT_EQ(e.GetContext(), "127.0.0.1");
    }

    // Taking the address over is tried with SO_REUSEADDR on the same socket;
    // whether the system allows it is its own decision.
    QzlTest::CLogCapture log;
    try {
        second.Listen(used, true, 5);
        EXPECT_EQ(second.GetState(), CSocket::Listening);
    } catch (const CSocketError&) {
        EXPECT_EQ(second.GetState(), CSocket::None);
    }
    EXPECT_TRUE(log.Contains("WARNING: Address was in use; will try hijacking the address"));
}

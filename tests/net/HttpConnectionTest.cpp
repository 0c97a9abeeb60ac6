// HTTP connections against loopback servers: requests written and responses
// read in pieces, progress callbacks, time-outs, peer close and reset, TLS,
// the transaction log written while tracing, closing from another thread
// while the connection is being opened or is blocked in a call, and many TLS
// exchanges ended at once from both sides.

#include "HttpConnection.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Net.h"
#include "SocketError.h"

#include "Buffer.h"
#include "Logging.h"
#include "Os.h"
#include "StreamingError.h"
#include "Util.h"

#include "HttpTestSupport.h"
#include "SocketTestSupport.h"
#include "TestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <iphlpapi.h>

#include <atomic>
#include <future>
#include <regex>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::CTestServer;
using QzlTest::HeaderText;
using QzlTest::Pattern;
using QzlTest::Raised;

namespace {

constexpr uint32_t kUtf8 = 65001;

CUri ServerUri(const char* scheme, const CTestServer& server, const char* host = "127.0.0.1")
{
    CUri uri;
    EXPECT_TRUE(uri.Parse(std::string(scheme) + "://" + host + ":" + std::to_string(server.Port()) + "/"));
    return uri;
}

class CRecordingNotifier : public IHttpRequestNotifier {
public:
    void OnDataSent(const void*, uint64_t length) override { sent.push_back(length); }
    void OnDataReceived(const void* data, uint64_t length) override
    {
        received.append(static_cast<const char*>(data), static_cast<size_t>(length));
        ++receives;
    }

    std::vector<uint64_t> sent;
    std::string received;
    int receives = 0;
};

// Reads until the text holds a whole response (head and Content-Length bytes).
std::string ReadResponse(CHttpConnection& connection, int* reads = nullptr)
{
    std::string text;
    for (;;) {
        text += connection.Read();
        if (reads)
            ++*reads;
        const size_t headEnd = text.find("\r\n\r\n");
        if (headEnd == std::string::npos)
            continue;
        std::smatch length;
        const std::string head = text.substr(0, headEnd);
        if (!std::regex_search(head, length, std::regex("Content-Length: (\\d+)")))
            return text;
        if (text.size() >= headEnd + 4 + std::stoul(length[1]))
            return text;
    }
}

std::shared_ptr<CHttpResponse> Exchange(CHttpConnection& connection, const std::shared_ptr<CHttpRequest>& request)
{
    connection.Connect(request->GetUri());
    request->Format(connection, kUtf8);
    auto response = std::make_shared<CHttpResponse>(request);
    response->Parse(ReadResponse(connection));
    connection.Close();
    return response;
}

// Connections in SYN_SENT towards the port, as the system's TCP table shows them.
int ConnectsWaitingFor(unsigned short port)
{
    ULONG size = 0;
    ::GetTcpTable(nullptr, &size, FALSE);
    std::string buffer(size + 4096, '\0');
    auto* table = reinterpret_cast<MIB_TCPTABLE*>(buffer.data());
    size = static_cast<ULONG>(buffer.size());
    if (::GetTcpTable(table, &size, FALSE) != NO_ERROR)
        return 0;
    int count = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW& row = table->table[i];
        if (row.dwState == MIB_TCP_STATE_SYN_SENT && ntohs(static_cast<u_short>(row.dwRemotePort)) == port)
            ++count;
    }
    return count;
}

class TraceLogging {
public:
    explicit TraceLogging(bool on) : m_previous(Logging::EnableTraceLogging(on)) {}
    ~TraceLogging() { Logging::EnableTraceLogging(m_previous); }

private:
    bool m_previous;
};

// The transaction log a connection announced in the log.
StringW TransactionLogPath(const std::string& log)
{
    std::smatch match;
    if (!std::regex_search(log, match, std::regex("Logging HTTP transaction for '[^']*' to '([^']*)'"))) {
        ADD_FAILURE() << "no transaction log in: " << log;
        return StringW();
    }
    return StringW::FromAnsi(match[1], CP_UTF8);
}

// The socket error the body raised; the test fails when it raises nothing or
// something else.
template <class F>
CSocketError SocketErrorOf(F&& body)
{
    try {
        body();
        ADD_FAILURE() << "no exception";
    } catch (const CSocketError& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other exception: " << e.what();
    }
    return CSocketError(0, "");
}

class HttpConnectionTest : public QzlTest::CSocketFixture {};

} // namespace

TEST_F(HttpConnectionTest, NewConnectionIsClosedAndRefusesToReadAndWrite)
{
    auto notifier = std::make_shared<CRecordingNotifier>();
    CHttpConnection connection(notifier);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetNotifier(), notifier);
    EXPECT_EQ(connection.GetTimeout().GetSpan(), DateTimeSpan(0, 0, 1, 0, 0).GetSpan());

    QzlTest::CLogCapture log;
    connection.Close();
    connection.Close();
    EXPECT_EQ(log.Text(), "");

    EXPECT_STREQ(Raised([&] { connection.Read(); }).what(), "CHttpConnection::Read called on empty socket");
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Throwing exception at HttpConnection\\.cpp, "
                                                         "Quenzal::Net::CHttpConnection::Read, line \\d+: ")));
    EXPECT_STREQ(Raised<CStreamWritingError>([&] { connection.Write("x", 1); }).what(),
                 "Operation cannot be performed on null stream");
    EXPECT_TRUE(notifier->sent.empty());
}

TEST_F(HttpConnectionTest, WritesInNotifiedPiecesOf4096Bytes)
{
    const std::string data = Pattern(14096);
    CTestServer server({"digest", "--size", "14096"});
    auto notifier = std::make_shared<CRecordingNotifier>();
    CHttpConnection connection(notifier);
    connection.Connect(ServerUri("http", server));
    EXPECT_TRUE(connection.IsOpen());
    connection.Write(data.data(), 10000);
    connection.Write(data.data() + 10000, 4096);
    EXPECT_EQ(notifier->sent, (std::vector<uint64_t>{4096, 4096, 1808, 4096}));
    EXPECT_EQ(connection.GetBytesWritten(), 14096u);

    std::string answer;
    while (answer.find("\r\n") == std::string::npos)
        answer += connection.Read();
    EXPECT_EQ(answer, "14096 " + BytesToHex(CalculateMd5(data.data(), data.size())) + "\r\n");
    EXPECT_EQ(notifier->received, answer);
}

TEST_F(HttpConnectionTest, WithoutNotifierTheWholeBlockGoesOut)
{
    const std::string data = Pattern(3 * 1024 * 1024 + 5);
    CTestServer server({"digest", "--size", std::to_string(data.size())});
    CHttpConnection connection;
    connection.Connect(ServerUri("http", server));
    connection.Write(data.data(), data.size());
    std::string answer;
    while (answer.find("\r\n") == std::string::npos)
        answer += connection.Read();
    EXPECT_EQ(answer, std::to_string(data.size()) + " " + BytesToHex(CalculateMd5(data.data(), data.size())) + "\r\n");
}

TEST_F(HttpConnectionTest, ResponseSplitAcrossManyReadsIsReadWhole)
{
    // The server sends it five bytes at a time, far enough apart that a
    // reader held up on a busy machine still sees more than one.
    const char* response = "HTTP/1.1 200 OK\\r\\nContent-Type: text/plain\\r\\n"
                           "Content-Length: 11\\r\\n\\r\\nhello world";
    CTestServer server({"close", "--chunk", "5", "--pause", "0.1", "--greeting", response});
    auto notifier = std::make_shared<CRecordingNotifier>();
    CHttpConnection connection(notifier);
    auto request = std::make_shared<CHttpRequest>(ServerUri("http", server));
    connection.Connect(request->GetUri());

    int reads = 0;
    const std::string text = ReadResponse(connection, &reads);
    EXPECT_GT(reads, 1);
    EXPECT_EQ(notifier->receives, reads);
    EXPECT_EQ(notifier->received, text);
    CHttpResponse parsed(request);
    parsed.Parse(text);
    EXPECT_EQ(parsed.GetStatus(), 200);
    EXPECT_EQ(StreamToString(parsed.GetContentBody()), "hello world");
}

TEST_F(HttpConnectionTest, RequestGoesOutInItsWireForm)
{
    CTestServer server({"request"});
    CHttpConnection connection;
    auto request = std::make_shared<CHttpRequest>(ServerUri("http", server));
    request->SetMethod(HttpMethodPost);
    request->SetFormData("a=1&b=2");
    auto response = Exchange(connection, request);
    EXPECT_FALSE(connection.IsOpen());
    ASSERT_EQ(response->GetStatus(), 200) << StreamToString(response->GetContentBody());
    EXPECT_EQ(HeaderText(*response, "X-Framing"), "length");
    EXPECT_EQ(StreamToString(response->GetContentBody()),
              "POST / HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nHost: 127.0.0.1:" +
                  std::to_string(server.Port()) + "\r\nContent-Length: 7\r\n\r\na=1&b=2");

    // The same connection object connects again.
    EXPECT_EQ(Exchange(connection, request)->GetStatus(), 200);
}

TEST_F(HttpConnectionTest, SilentPeerTimesOutAndTheConnectionStaysOpen)
{
    CTestServer server({"silent"});
    CHttpConnection connection;
    connection.SetTimeout(DateTimeSpan(0, 0, 0, 1, 0));
    connection.Connect(ServerUri("http", server));
    CSocketError e = SocketErrorOf([&] { connection.Read(); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(WSAETIMEDOUT));
    EXPECT_TRUE(connection.IsOpen());
    // Past its time limit a connection reads no more, not even bytes that wait.
    CTestServer source({"source", "--size", "100"});
    connection.SetTimeLimit(DateTimeSpan(0, 0, 0, 5, 0));
    connection.Connect(ServerUri("http", source));
    ::Sleep(5500);
    EXPECT_EQ(SocketErrorOf([&] { connection.Read(); }).GetErrorCode(), static_cast<DWORD>(WSAETIMEDOUT));
}

TEST_F(HttpConnectionTest, PeerCloseAndResetFailTheRead)
{
    {
        CTestServer server({"close"});
        CHttpConnection connection;
        connection.Connect(ServerUri("http", server));
        EXPECT_STREQ(SocketErrorOf([&] { connection.Read(); }).what(),
                     "Connection reset by peer: Connection reset by peer");
    }
    {
        CTestServer server({"reset", "--delay", "0.2"});
        CHttpConnection connection;
        connection.Connect(ServerUri("http", server));
        SocketErrorOf([&] { connection.Read(); });
        connection.Close();
        EXPECT_FALSE(connection.IsOpen());
    }
    {
        // A TLS peer that ends its session sends close_notify: an empty read.
        CTestServer server({"close", "--tls"});
        CHttpConnection connection;
        connection.Connect(ServerUri("https", server, "localhost"));
        EXPECT_EQ(connection.Read(), "");
    }
}

TEST_F(HttpConnectionTest, HttpsSpeaksTls12WithTheHostName)
{
    CTestServer server({"info", "--tls"});
    CHttpConnection connection;
    connection.Connect(ServerUri("https", server, "localhost"));
    std::string answer;
    while (answer.find("\r\n") == std::string::npos)
        answer += connection.Read();
    EXPECT_EQ(answer, "version=TLSv1.2 sni=localhost\r\n");
}

TEST_F(HttpConnectionTest, WithoutTracingNoTransactionLogIsWritten)
{
    TraceLogging trace(false);
    QzlTest::CLogCapture log;
    CTestServer server({"request"});
    CHttpConnection connection;
    auto request = std::make_shared<CHttpRequest>(ServerUri("http", server));
    EXPECT_EQ(Exchange(connection, request)->GetStatus(), 200);
    EXPECT_FALSE(log.Contains("Logging HTTP transaction"));
}

TEST_F(HttpConnectionTest, TransactionLogHoldsTheBytesBothWaysWithoutSecrets)
{
    for (const char* scheme : {"http", "https"}) {
        SCOPED_TRACE(scheme);
        TraceLogging trace(true);
        QzlTest::CLogCapture log;
        CTestServer server(std::string(scheme) == "https" ? std::vector<std::string>{"request", "--tls"}
                                                          : std::vector<std::string>{"request"});
        CUri uri = ServerUri(scheme, server, "localhost");
        uri.GetQueryParameters().emplace("key", "secret");
        uri.GetMaskedNames().insert("key");
        auto request = std::make_shared<CHttpRequest>(uri);
        request->SetMethod(HttpMethodPost);
        auto credentials =
            std::dynamic_pointer_cast<CAuthenticationCredentialsHeader>(request->CreateHeader("Authorization"));
        ASSERT_TRUE(credentials);
        credentials->SetScheme(AuthenticationSchemeBasic);
        credentials->SetUser(L"Aladdin");
        credentials->SetPassword(L"open sesame");
        request->SetBody(CBuffer::Create("payload"));

        CHttpConnection connection;
        connection.Connect(uri);
        EXPECT_NE(log.Text().find("Logging HTTP transaction for '" + std::string(scheme) + "://localhost:" +
                                  std::to_string(server.Port()) + "/?key=********' to '"),
                  std::string::npos)
            << log.Text();
        const StringW path = TransactionLogPath(log.Text());
        EXPECT_NE(path.find(L"\\HTTP_"), std::wstring::npos);
        EXPECT_TRUE(std::regex_search(path.ToUtf8(), std::regex("HTTP_[0-9a-f]{32}\\.txt$"))) << path.ToUtf8();

        request->Format(connection, kUtf8);
        const std::string answer = ReadResponse(connection);
        connection.Close();

        auto response = std::make_shared<CHttpResponse>(request);
        response->Parse(answer);
        ASSERT_EQ(response->GetStatus(), 200);
        // What the server received, with the credentials and masked query values
        // hidden, then the answer.
        std::string sent = StreamToString(response->GetContentBody());
        const std::string secret = "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==";
        ASSERT_NE(sent.find(secret), std::string::npos);
        sent.replace(sent.find(secret), secret.size(), "********");
        ASSERT_EQ(sent.rfind("POST /?key=secret HTTP/1.1\r\n", 0), 0u) << sent;
        sent.replace(0, sent.find('\r'), "POST /?key=******** HTTP/1.1");
        const std::string logged = QzlTest::ReadWholeFile(path);
        EXPECT_EQ(logged, sent + answer);
        EXPECT_EQ(logged.substr(0, sent.size()).find("QWxhZGRp"), std::string::npos);
        ::DeleteFileW(path.c_str());
    }
}

// An upload with tracing on, in a process whose temporary folder is the TMP it
// was started with.
QZL_CHILD_CASE(TracedUpload)
{
    TraceLogging trace(true);
    CTestServer server({"request"});
    auto upload = std::make_shared<CHttpRequest>(ServerUri("http", server));
    upload->SetMethod(HttpMethodPost);
    upload->SetBody(CBuffer::Create(std::string(100000, 'u')));
    CHttpConnection connection;
    return Exchange(connection, upload)->GetStatus() == 200 ? 0 : 1;
}

TEST_F(HttpConnectionTest, TransactionLogsHoldABodysBeginningAndOnlyTheNewestAreKept)
{
    const StringW folder = QzlTest::UniqueTempPath(L"qzltrace") + L"\\";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    // Twelve logs of earlier runs, an hour apart, and a file of another program.
    std::vector<StringW> earlier;
    FILETIME now = {};
    ::GetSystemTimeAsFileTime(&now);
    for (int hour = 12; hour > 0; --hour) {
        earlier.push_back(folder + L"HTTP_" + StringW(32, L"0123456789abcdef"[hour]) + L".txt");
        Os::CHandle file(::CreateFileW(earlier.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        const ULONGLONG time = ((ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime) - hour * 36000000000ULL;
        const FILETIME written = {DWORD(time), DWORD(time >> 32)};
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &written));
    }
    ASSERT_TRUE(::CloseHandle(::CreateFileW((folder + L"HTTP_other.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_NEW, 0, nullptr)));
    wchar_t temporary[MAX_PATH + 1] = {};
    ::GetEnvironmentVariableW(L"TMP", temporary, MAX_PATH + 1);
    ::SetEnvironmentVariableW(L"TMP", folder.c_str());
    QzlTest::ChildResult result = QzlTest::RunChildCase("TracedUpload");
    ::SetEnvironmentVariableW(L"TMP", temporary);
    EXPECT_EQ(result.exitCode, 0u) << result.output;

    // The upload, and the server's echo of it, each up to 1024 bytes of its body.
    const std::string logged = QzlTest::ReadWholeFile(TransactionLogPath(result.output));
    const std::string cut = "\r\n[The rest of the body is not logged]\r\n";
    EXPECT_NE(logged.find("\r\n\r\n" + std::string(1024, 'u') + cut + "HTTP/1.1 200 OK\r\n"), std::string::npos);
    EXPECT_EQ(QzlTest::CountOf(logged, cut), 2u);
    EXPECT_LT(logged.size(), 3000u);
    for (size_t i = 0; i < earlier.size(); ++i)
        EXPECT_EQ(::GetFileAttributesW(earlier[i].c_str()) != INVALID_FILE_ATTRIBUTES, i >= 3) << i;
    EXPECT_NE(::GetFileAttributesW((folder + L"HTTP_other.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    Os::TryDeleteDirectory(folder);
}

TEST_F(HttpConnectionTest, CloseWhileConnectingMakesTheConnectFail)
{
    CTestServer server({"silent", "--stall"});
    const int waitingBefore = ConnectsWaitingFor(server.Port());
    CHttpConnection connection;
    auto connecting = std::async(std::launch::async, [&] { connection.Connect(ServerUri("http", server)); });

    // Close only once the connect is under way.
    for (int i = 0; i < 3000 && ConnectsWaitingFor(server.Port()) <= waitingBefore; ++i)
        ::Sleep(10);
    ASSERT_GT(ConnectsWaitingFor(server.Port()), waitingBefore);
    connection.Close();

    // The closing thread only woke the connecting one, which closed its socket itself.
    EXPECT_EQ(SocketErrorOf([&] { connecting.get(); }).GetErrorCode(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_STREQ(Raised([&] { connection.Read(); }).what(), "CHttpConnection::Read called on empty socket");
}

// A connect still waiting for its host's name ends at a Close from another
// thread; the lookup, which nothing can cancel, is left to end by itself.
TEST_F(HttpConnectionTest, CloseWhileLookingUpTheHostMakesTheConnectFail)
{
    static Os::CHandle held;
    static std::atomic<int> asked;
    held = Os::CreateManualResetEvent();
    asked = 0;
    struct Lookup {
        static hostent* WINAPI Held(const char*)
        {
            ++asked;
            Os::WaitForObject(held.Get(), DateTimeSpan());
            ::WSASetLastError(WSAHOST_NOT_FOUND);
            return nullptr;
        }
    };
    QzlTest::CImportRedirect redirect(::GetModuleHandleW(nullptr),
                                      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ws2_32.dll"), "gethostbyname")),
                                      reinterpret_cast<void*>(&Lookup::Held));
    ASSERT_TRUE(redirect.IsRedirected());
    CHttpConnection connection;
    CUri uri;
    ASSERT_TRUE(uri.Parse("http://held.invalid:80/"));
    auto connecting = std::async(std::launch::async, [&] { connection.Connect(uri); });
    for (int i = 0; i < 3000 && asked == 0; ++i)
        ::Sleep(10);
    ASSERT_EQ(asked, 1);
    connection.Close();
    const bool ended = connecting.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    ::SetEvent(held.Get());
    ASSERT_TRUE(ended);
    EXPECT_EQ(SocketErrorOf([&] { connecting.get(); }).GetErrorCode(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(HttpConnectionTest, CloseFromAnotherThreadEndsABlockedTlsRead)
{
    CTestServer server({"silent", "--tls"});
    CHttpConnection connection;
    connection.Connect(ServerUri("https", server, "localhost"));
    QzlTest::CLogCapture log;
    auto reading = std::async(std::launch::async, [&] { connection.Read(); });
    // Let the reader finish the handshake and block; a Close that comes first
    // is also a failure of the read, only a less interesting one.
    EXPECT_EQ(reading.wait_for(std::chrono::seconds(5)), std::future_status::timeout);
    connection.Close();
    EXPECT_EQ(SocketErrorOf([&] { reading.get(); }).GetErrorCode(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(connection.IsOpen());
    // The closing thread left the TLS session alone; the reader finished it
    // without trying to talk over the dead connection.
    EXPECT_FALSE(log.Contains("closing SSL connection")) << log.Text();
    EXPECT_STREQ(Raised([&] { connection.Read(); }).what(), "CHttpConnection::Read called on empty socket");
    connection.Close();
}



TEST_F(HttpConnectionTest, ManyTlsExchangesEndedTogetherFromBothSides)
{
    // Servers that hold back, end the session or reset; the client ends the
    // rest by the deadline or by a close from this thread, all at about once.
    CTestServer servers[] = {CTestServer({"silent", "--tls"}), CTestServer({"close", "--tls", "--delay", "0.2"}),
                             CTestServer({"reset", "--tls", "--delay", "0.2"})};
    QzlTest::CLogCapture log;
    constexpr size_t kExchanges = 48;
    for (int round = 0; round < 4; ++round) {
        std::vector<std::shared_ptr<CHttpConnection>> connections;
        std::vector<std::shared_ptr<QzlTest::CRecordingNotifier>> notifiers;
        std::vector<std::future<void>> exchanges;
        for (size_t i = 0; i < kExchanges; ++i) {
            notifiers.push_back(std::make_shared<QzlTest::CRecordingNotifier>());
            connections.push_back(std::make_shared<CHttpConnection>(notifiers[i]));
            connections[i]->SetTimeLimit(DateTimeSpan(0, 0, 0, i % 4 == 3 ? 1 : 30, 0));
            auto request = QzlTest::NewRequest("https://localhost:" + std::to_string(servers[i % 3].Port()) + "/");
            exchanges.push_back(std::async(std::launch::async, [connection = connections[i], request] {
                MakeHttpRequest(nullptr, connection, request);
            }));
        }
        // Closes once every exchange has its socket or has ended, so that none waits for its deadline.
        for (size_t i = 0; i < kExchanges; ++i) {
            while (notifiers[i]->Steps().size() < 2 &&
                   exchanges[i].wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
            }
        }
        for (size_t i = 0; i < kExchanges; ++i) {
            if (i % 4 != 3)
                connections[i]->Close();
        }
        for (size_t i = 0; i < kExchanges; ++i) {
            EXPECT_THROW(exchanges[i].get(), CException) << i;
            // The exchange's thread closed its socket itself, whichever way it ended.
            EXPECT_FALSE(connections[i]->IsOpen()) << i;
        }
    }
    // No thread spoke in a session that was over or that it did not own.
    EXPECT_FALSE(log.Contains("closing SSL connection")) << log.Text();
}

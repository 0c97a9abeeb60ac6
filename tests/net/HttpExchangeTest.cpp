#include "Http.h"

#include "File.h"
#include "HttpConnection.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "Logging.h"
#include "NameTables.h"
#include "Net.h"
#include "SocketError.h"
#include "Util.h"

#include "HttpTestSupport.h"
#include "SocketTestSupport.h"
#include "TestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::BodyOf;
using QzlTest::CLogCapture;
using QzlTest::CRecordingNotifier;
using QzlTest::CRecordingSink;
using QzlTest::CTestServer;
using QzlTest::HeaderText;
using QzlTest::NewRequest;
using QzlTest::ServerRequests;
using QzlTest::ServerUri;

namespace {

const wchar_t User[] = L"Mufasa";
const wchar_t Password[] = L"Circle Of Life";

// The text the server's coded and chunked routes carry.
std::string ServerText()
{
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "The quick brown fox jumps over the lazy dog. ";
    return text.substr(0, 1500);
}

class HttpExchangeTest : public QzlTest::CSocketFixture {
protected:
    std::shared_ptr<CHttpResponse> Perform(const std::shared_ptr<CHttpRequest>& request,
                                           const std::shared_ptr<IHttpResponseSink>& sink = nullptr)
    {
        return MakeHttpRequest(m_session, std::make_shared<CHttpConnection>(m_notifier), request, sink);
    }

    std::shared_ptr<CHttpResponse> Get(const std::string& uri) { return Perform(NewRequest(uri)); }

    // What the failure handler was given, in order.
    void CountFailures()
    {
        m_session->SetAuthenticationFailureHandler([this](const std::shared_ptr<CHttpResponse>& response) {
            m_failures.push_back(response ? response->GetStatus() : -1);
        });
    }

    std::shared_ptr<CHttpSession> m_session = std::make_shared<CHttpSession>();
    std::shared_ptr<CRecordingNotifier> m_notifier = std::make_shared<CRecordingNotifier>();
    std::vector<int32_t> m_failures;
};

std::string ExceptionText(const std::function<void()>& body)
{
    try {
        body();
    } catch (const CException& e) {
        return StringW(e.GetDescription()).ToUtf8();
    }
    return "(no exception)";
}

} // namespace

TEST_F(HttpExchangeTest, ExchangeReportsItsStepsInOrderAndLogsItsEnds)
{
    CTestServer server({"http"});
    CLogCapture log;
    auto response = Get(ServerUri(server, "/"));
    EXPECT_EQ(response->GetStatus(), 200);
    EXPECT_EQ(BodyOf(*response), "hello");
    EXPECT_EQ(response->GetContentTypeId(), ContentTypeTextPlain);

    std::vector<std::string> steps = m_notifier->Steps();
    ASSERT_GE(steps.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + 5),
              (std::vector<std::string>{"Connecting", "SendingRequest", "DataSent", "RequestSent", "DataReceived"}));
    EXPECT_EQ(steps[5], "ResponseHeaders");
    EXPECT_EQ(std::vector<std::string>(steps.end() - 2, steps.end()),
              (std::vector<std::string>{"ResponseReceived", "RequestCompleted"}));
    // The request's size is worked out only for debug logging.
    EXPECT_TRUE(log.Contains("Performing request: http://" + server.Address() + "/\r\n")) << log.Text();
    EXPECT_TRUE(log.Contains("Received response: HTTP/1.1 200 OK")) << log.Text();
    bool tracing = Logging::EnableTraceLogging(true);
    Get(ServerUri(server, "/"));
    Logging::EnableTraceLogging(tracing);
    EXPECT_TRUE(log.Contains("Performing request: http://" + server.Address() + "/ (")) << log.Text();
    const std::string text = log.Text();
    std::smatch transactionLog;
    if (std::regex_search(text, transactionLog, std::regex("Logging HTTP transaction for '[^']*' to '([^']*)'")))
        DeleteFileW(StringW::FromAnsi(transactionLog[1], CP_UTF8).c_str());
}

TEST_F(HttpExchangeTest, ChunkedBodyCutAcrossReadsIsJoined)
{
    CTestServer server({"http"});
    auto response = Get(ServerUri(server, "/chunked"));
    EXPECT_EQ(BodyOf(*response), ServerText());
}

TEST_F(HttpExchangeTest, ContentCodingsAreRemoved)
{
    CTestServer server({"http"});
    for (const char* path : {"/gzip", "/deflate", "/rawdeflate", "/chunked?gzip=1", "/chunked?te=gzip"}) {
        CLogCapture log;
        auto response = Get(ServerUri(server, path));
        EXPECT_EQ(BodyOf(*response), ServerText()) << path;
        EXPECT_FALSE(response->FindHeader("Content-Encoding")) << path;
        // Most servers send deflate with the zlib wrapper, which the raw
        // attempt turns away first.
        EXPECT_EQ(log.Contains("Failed to decompress HTTP response as deflate; retrying as zlib: "),
                  std::string(path) == "/deflate")
            << path;
    }
}

TEST_F(HttpExchangeTest, BodyWithoutLengthIsReadUntilTheServerCloses)
{
    for (bool tls : {false, true}) {
        CTestServer server(tls ? std::vector<std::string>{"http", "--tls"} : std::vector<std::string>{"http"});
        auto response = Get(ServerUri(server, "/nolength?size=300000", tls));
        std::string body = BodyOf(*response);
        EXPECT_EQ(body.size(), 300000u) << (tls ? "TLS" : "plain");
        EXPECT_TRUE(body == QzlTest::Pattern(body.size()));
    }
}

TEST_F(HttpExchangeTest, SurplusBeyondContentLengthIsDiscarded)
{
    CTestServer server({"http"});
    CLogCapture log;
    auto response = Get(ServerUri(server, "/overflow"));
    EXPECT_EQ(BodyOf(*response), "01234");
    EXPECT_TRUE(log.Contains("HTTP body length (10) exceeded declared content length (5); discarding overflow"))
        << log.Text();
}

TEST_F(HttpExchangeTest, InterimAnswersAreSkipped)
{
    CTestServer server({"http"});
    auto response = Get(ServerUri(server, "/continue"));
    EXPECT_EQ(response->GetStatus(), 200);
    EXPECT_EQ(BodyOf(*response), "final answer");
    EXPECT_FALSE(response->FindHeader("X-Interim"));
}

TEST_F(HttpExchangeTest, AnswerToHeadHasNoBody)
{
    CTestServer server({"http"});
    auto request = NewRequest(ServerUri(server, "/"));
    request->SetMethod(HttpMethodHead);
    auto response = Perform(request);
    EXPECT_EQ(response->GetStatus(), 200);
    EXPECT_EQ(HeaderText(*response, "Content-Length"), "5");
    EXPECT_EQ(BodyOf(*response), "");
}

TEST_F(HttpExchangeTest, OversizedAnswersAreRefused)
{
    CTestServer server({"http"});
    const std::string limit = "the limit of ";
    EXPECT_NE(ExceptionText([&] { Get(ServerUri(server, "/declare?length=1000000000")); }).find(limit),
              std::string::npos);
    EXPECT_NE(ExceptionText([&] { Get(ServerUri(server, "/hugechunk")); }).find(limit), std::string::npos);
    EXPECT_NE(ExceptionText([&] { Get(ServerUri(server, "/endlessheaders")); }).find(limit), std::string::npos);
    // A small gzip body that inflates past the limit.
    EXPECT_NE(ExceptionText([&] { Get(ServerUri(server, "/bomb?size=70000000")); }), "(no exception)");
    EXPECT_NE(ExceptionText([&] {
                  Get(ServerUri(server, "/nolength?size=" + std::to_string(MaximumResponseBodyLength + 1)));
              }).find(limit),
              std::string::npos);
    // A request may bind its answer tighter, as received and once inflated.
    auto small = NewRequest(ServerUri(server, "/bomb?size=1048577"));
    small->SetAnswerSizeLimit(1024 * 1024);
    EXPECT_EQ(ExceptionText([&] { Perform(small); }), "Decompressed data exceeds the limit of 1048576 bytes");
    // The same size may stream into a sink, which decides where it goes.
    auto sink = std::make_shared<CRecordingSink>();
    auto response =
        Perform(NewRequest(ServerUri(server, "/download?size=" + std::to_string(MaximumResponseBodyLength + 1))), sink);
    EXPECT_EQ(sink->Body().size(), MaximumResponseBodyLength + 1);
}

TEST_F(HttpExchangeTest, HeadsPastTheirBoundsAreRefusedAndLogFewWarnings)
{
    CTestServer server({"http"});
    const struct {
        const char* path;
        const char* outcome;
    } cases[] = {
        {"/head?fields=255&size=100", "(no exception)"},
        {"/head?fields=257", "HTTP response has more than 256 header fields"},
        {"/head?junk=200000", "HTTP response has more than 256 header fields"},
        {"/head?fields=1&size=40000", "HTTP response has a header field longer than 32.0K"},
        {"/head?interim=1&reason=2000", "HTTP response has a status line longer than 1.0K"},
        {"/head?interim=8&fields=100&size=200", "HTTP response headers exceed the limit of 128.0K"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(ExceptionText([&] { Get(ServerUri(server, row.path)); }), row.outcome) << row.path;
    // Lines that are no headers: the first few are told, the rest counted.
    CLogCapture log;
    EXPECT_EQ(BodyOf(*Get(ServerUri(server, "/head?junk=250"))), "ok");
    const std::string text = log.Text();
    const std::string warning = "Unable to parse MIME header";
    size_t told = 0;
    for (size_t at = text.find(warning); at != std::string::npos; at = text.find(warning, at + 1))
        ++told;
    EXPECT_EQ(told, 3u) << text;
    EXPECT_TRUE(log.Contains("Unable to parse 247 more MIME headers")) << text;
    Get(ServerUri(server, "/head?junk=1&size=30000"));
    EXPECT_TRUE(log.Contains("jjj... [29753 more bytes]\r\n")) << text;
    EXPECT_LT(log.Text().size(), text.size() + 4096);
}

TEST_F(HttpExchangeTest, AHeadInOneByteRecordsTakesLittleMoreWorkThanInOneWrite)
{
    // 120 KiB of head, each byte in a TLS record of its own; searched again at
    // each record, it took seconds of this thread's time, busy machine or not.
    CTestServer server({"http", "--tls"});
    const auto threadSeconds = [] {
        FILETIME times[4] = {};
        ::GetThreadTimes(::GetCurrentThread(), &times[0], &times[1], &times[2], &times[3]);
        return double((ULONGLONG(times[2].dwHighDateTime) << 32 | times[2].dwLowDateTime) +
                      (ULONGLONG(times[3].dwHighDateTime) << 32 | times[3].dwLowDateTime)) / 1e7;
    };
    const double before = threadSeconds();
    EXPECT_EQ(BodyOf(*Get(ServerUri(server, "/head?fields=120&size=1000&bytewise=1", true))), "ok");
    EXPECT_LT(threadSeconds() - before, 1.5);
}

TEST_F(HttpExchangeTest, BadChunkSizeLineIsReported)
{
    CTestServer server({"http", "--greeting",
                        "HTTP/1.1 200 OK\\r\\nTransfer-Encoding: chunked\\r\\n\\r\\nzz;x\\r\\n"});
    CLogCapture log;
    EXPECT_EQ(ExceptionText([&] { Get(ServerUri(server, "/")); }), "Unable to understand HTTP chunk length: zz;x\r\n");
    EXPECT_TRUE(log.Contains("HttpResponseReader.cpp, Quenzal::Net::ParseHttpResponseChunkHeader, line ")) << log.Text();
    // Line ends without end before a size line count towards its length.
    CTestServer blanks({"silent", "--greeting", "HTTP/1.1 200 OK\\r\\nTransfer-Encoding: chunked\\r\\n\\r\\n" +
                                                    std::string(5000, '\n')});
    EXPECT_EQ(ExceptionText([&] { Get(ServerUri(blanks, "/")); }), "Unable to understand HTTP chunk length: ");
}

TEST_F(HttpExchangeTest, SinkTakesTheBodyOfAMatchingAnswerOnly)
{
    CTestServer server({"http"});
    auto any = std::make_shared<CRecordingSink>();
    auto response = Perform(NewRequest(ServerUri(server, "/chunked")), any);
    EXPECT_EQ(any->Body(), ServerText());
    EXPECT_EQ(any->Calls().front(), 'B');
    EXPECT_EQ(any->Calls().back(), 'E');
    EXPECT_FALSE(response->HasContentBody() && !BodyOf(*response).empty());

    Logging::EnableTraceLogging(true);
    CLogCapture log;
    auto json = std::make_shared<CRecordingSink>(static_cast<uint32_t>(GetContentType(L"application/json")));
    auto request = NewRequest(ServerUri(server, "/"));
    response = Perform(request, json);
    Logging::EnableTraceLogging(false);
    EXPECT_EQ(json->Calls(), "");
    EXPECT_EQ(BodyOf(*response), "hello");
    EXPECT_EQ(HeaderText(*request, "Accept"), "application/json");
    EXPECT_TRUE(log.Contains("Unable to stream HTTP response body"));
}

TEST_F(HttpExchangeTest, RedirectionGoesToTheLocationWithoutTheCredentials)
{
    CTestServer server({"http"});
    // A Digest session that already knows a nonce sends Authorization at once.
    m_session->SetDigestCredentials(User, Password);
    auto seed = NewRequest(ServerUri(server, "/"));
    std::string challenge = "Digest realm=\"r\", nonce=\"n\"";
    CAuthenticationChallengeHeader header;
    header.Parse(challenge.data(), challenge.size());
    ASSERT_TRUE(m_session->RespondToChallenge(*seed, header));

    std::string other = "localhost:" + std::to_string(server.Port());
    auto response = Get(ServerUri(server, "/redirect?status=301&location=http://" + other + "/echo%3Fx%3D1"));
    EXPECT_EQ(response->GetStatus(), 200);
    std::string echo = BodyOf(*response);
    EXPECT_EQ(echo.rfind("GET /echo?x=1 HTTP/1.1\r\n", 0), 0u) << echo;
    EXPECT_NE(echo.find("Host: " + other), std::string::npos) << echo;
    EXPECT_EQ(echo.find("Authorization"), std::string::npos) << echo;
    auto seen = ServerRequests(server, "/redirect");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("|Digest "), std::string::npos) << seen[0];
}

TEST_F(HttpExchangeTest, SeeOtherTurnsAPostIntoAGetWithoutBody)
{
    CTestServer server({"http"});
    CLogCapture log;
    auto request = NewRequest(ServerUri(server, "/redirect?status=303&location=http://localhost:" +
                                                    std::to_string(server.Port()) + "/echo"));
    request->SetMethod(HttpMethodPost);
    request->SetFormData("secret=form");
    auto response = Perform(request);
    std::string echo = BodyOf(*response);
    EXPECT_EQ(echo.rfind("GET /echo HTTP/1.1\r\n", 0), 0u) << echo;
    EXPECT_EQ(echo.find("secret=form"), std::string::npos) << echo;
    EXPECT_EQ(echo.find("Content-Type"), std::string::npos) << echo;
    EXPECT_TRUE(log.Contains("Changing HTTP method to GET"));
}

TEST_F(HttpExchangeTest, RedirectionsThatAreNotFollowed)
{
    CTestServer server({"http"});
    std::string other = "http://localhost:" + std::to_string(server.Port()) + "/echo";
    {
        CLogCapture log;
        auto request = NewRequest(ServerUri(server, "/redirect?status=302&location=" + other));
        request->SetMethod(HttpMethodPost);
        EXPECT_EQ(Perform(request)->GetStatus(), 302);
        EXPECT_TRUE(log.Contains("Not following redirection on non-GET method"));
    }
    // 307 is not among the redirections followed.
    EXPECT_EQ(Get(ServerUri(server, "/redirect?status=307&location=" + other))->GetStatus(), 307);
    {
        CLogCapture log;
        EXPECT_EQ(Get(ServerUri(server, "/redirect?status=302&location=/echo"))->GetStatus(), 302);
        EXPECT_EQ(Get(ServerUri(server, "/redirect?status=301&location=" + ServerUri(server, "/echo")))->GetStatus(),
                  301);
        EXPECT_EQ(QzlTest::CountOf(log.Text(), "Not following circular redirection: " + ServerUri(server, "/echo")), 2u)
            << log.Text();
    }
    {
        CLogCapture log;
        EXPECT_EQ(Get(ServerUri(server, "/redirect?status=302&location="))->GetStatus(), 302);
        EXPECT_TRUE(log.Contains("Location header is empty"));
        EXPECT_TRUE(log.Contains("Redirection response contains missing or invalid Location header: "));
    }
    m_session->SetFollowRedirects(false);
    EXPECT_EQ(Get(ServerUri(server, "/redirect?status=301&location=" + other))->GetStatus(), 301);
    EXPECT_TRUE(ServerRequests(server, "/echo").empty());
}

TEST_F(HttpExchangeTest, RedirectionMayGoUpToHttpsButNeverDown)
{
    CTestServer plain({"http"});
    CTestServer secure({"http", "--tls"});
    auto response = Get(ServerUri(plain, "/redirect?status=302&location=" + ServerUri(secure, "/echo%3Fy%3D2", true)));
    EXPECT_EQ(BodyOf(*response).rfind("GET /echo?y=2 HTTP/1.1\r\n", 0), 0u);

    CLogCapture log;
    response = Get(ServerUri(secure, "/redirect?status=302&location=" + ServerUri(plain, "/echo"), true));
    EXPECT_EQ(response->GetStatus(), 302);
    EXPECT_TRUE(log.Contains("Not following redirection to insecure URI: " + ServerUri(plain, "/echo")));
    EXPECT_TRUE(ServerRequests(plain, "/echo").empty());
}

TEST_F(HttpExchangeTest, BasicCredentialsGoOnlyOverHttps)
{
    CountFailures();
    m_session->SetBasicCredentials(User, Password);
    CTestServer secure({"http", "--tls"});
    auto response = Get(ServerUri(secure, "/basic", true));
    EXPECT_EQ(BodyOf(*response), "basic ok");
    // Sent with the first request already: https is taken to be safe.
    EXPECT_EQ(ServerRequests(secure, "/basic", true).size(), 1u);

    CTestServer plain({"http"});
    response = Get(ServerUri(plain, "/basic"));
    EXPECT_EQ(response->GetStatus(), 401);
    auto seen = ServerRequests(plain, "/basic");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("|-|"), std::string::npos) << seen[0];
    EXPECT_EQ(m_failures, std::vector<int32_t>{401});
}

TEST_F(HttpExchangeTest, WrongBasicCredentialsAreTriedOnceMore)
{
    CountFailures();
    m_session->SetBasicCredentials(User, L"wrong");
    CTestServer secure({"http", "--tls"});
    EXPECT_EQ(Get(ServerUri(secure, "/basic", true))->GetStatus(), 401);
    EXPECT_EQ(ServerRequests(secure, "/basic", true).size(), 2u);
    EXPECT_EQ(m_failures, std::vector<int32_t>{401});
}

TEST_F(HttpExchangeTest, DigestCredentialsAreNeverSentAsBasic)
{
    CountFailures();
    m_session->SetDigestCredentials(User, Password);
    CTestServer secure({"http", "--tls"});
    EXPECT_EQ(Get(ServerUri(secure, "/basic", true))->GetStatus(), 401);
    auto seen = ServerRequests(secure, "/basic", true);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("|-|"), std::string::npos) << seen[0];
    EXPECT_EQ(m_failures, std::vector<int32_t>{401});
}

TEST_F(HttpExchangeTest, DigestNonceCountGrowsFromRequestToRequest)
{
    m_session->SetDigestCredentials(User, Password);
    CTestServer server({"http"});
    EXPECT_EQ(BodyOf(*Get(ServerUri(server, "/digest"))), "digest ok nc=00000001");
    EXPECT_EQ(BodyOf(*Get(ServerUri(server, "/digest"))), "digest ok nc=00000002");
    // The second request needed no challenge.
    EXPECT_EQ(ServerRequests(server, "/digest").size(), 3u);
}

TEST_F(HttpExchangeTest, DigestAnswersEveryQopOffer)
{
    m_session->SetDigestCredentials(User, Password);
    CTestServer server({"http"});
    EXPECT_EQ(BodyOf(*Get(ServerUri(server, "/digest?qop=both"))), "digest ok nc=00000001");
    m_session = std::make_shared<CHttpSession>();
    m_session->SetDigestCredentials(User, Password);
    EXPECT_EQ(BodyOf(*Get(ServerUri(server, "/digest?qop=none"))), "digest ok nc=-");
}

TEST_F(HttpExchangeTest, DigestChallengesTheClientCannotComputeAreNotAnswered)
{
    CountFailures();
    CTestServer server({"http"});
    // Of a SHA-256 and an MD5 challenge, the MD5 one is answered.
    m_session->SetDigestCredentials(User, Password);
    EXPECT_EQ(BodyOf(*Get(ServerUri(server, "/digest?algorithm=SHA-256,MD5"))), "digest ok nc=00000001");
    for (const char* path : {"/digest?algorithm=SHA-256", "/digest?qop=authint"}) {
        m_session = std::make_shared<CHttpSession>();
        m_session->SetDigestCredentials(User, Password);
        CountFailures();
        EXPECT_EQ(Get(ServerUri(server, path))->GetStatus(), 401) << path;
    }
    // A single exchange each, without an answer.
    auto seen = ServerRequests(server, "/digest");
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_NE(seen[2].find("|-|"), std::string::npos) << seen[2];
    EXPECT_NE(seen[3].find("|-|"), std::string::npos) << seen[3];
    EXPECT_EQ(m_failures, (std::vector<int32_t>{401, 401}));
}

TEST_F(HttpExchangeTest, StaleDigestNonceIsAnsweredAgain)
{
    CountFailures();
    m_session->SetDigestCredentials(User, Password);
    CTestServer server({"http"});
    EXPECT_EQ(Get(ServerUri(server, "/digest?nonce=once"))->GetStatus(), 200);
    // The second request brings the used nonce at once and is told it is stale.
    EXPECT_EQ(Get(ServerUri(server, "/digest?nonce=once"))->GetStatus(), 200);
    EXPECT_EQ(ServerRequests(server, "/digest").size(), 4u);
    EXPECT_TRUE(m_failures.empty());
}

TEST_F(HttpExchangeTest, EndlessNewNoncesEndAfterThreeAnswers)
{
    CountFailures();
    m_session->SetDigestCredentials(User, Password);
    CTestServer server({"http"});
    CLogCapture log;
    EXPECT_EQ(Get(ServerUri(server, "/digest?nonce=changing"))->GetStatus(), 401);
    EXPECT_EQ(ServerRequests(server, "/digest").size(), 4u);
    EXPECT_EQ(QzlTest::CountOf(log.Text(), "Received authentication challenge with new nonce; assuming previous "
                                           "nonce was stale and retrying request"),
              3u);
    EXPECT_EQ(m_failures, std::vector<int32_t>{401});
}

TEST_F(HttpExchangeTest, UnansweredChallengesAndTheirAbsence)
{
    CountFailures();
    CTestServer server({"http"});
    {
        CLogCapture log;
        EXPECT_EQ(Get(ServerUri(server, "/digest"))->GetStatus(), 401);
        EXPECT_TRUE(log.Contains("Unable to respond to authentication challenge"));
    }
    EXPECT_EQ(ExceptionText([&] { Get(ServerUri(server, "/status?code=401")); }),
              "Received malformed authentication challenge: HTTP/1.1 401 Unauthorized");
    m_session.reset();
    CLogCapture log;
    EXPECT_EQ(Get(ServerUri(server, "/digest"))->GetStatus(), 401);
    EXPECT_TRUE(log.Contains("No session object available to respond to authentication challenge"));
    EXPECT_EQ(m_failures, std::vector<int32_t>{401});
}

TEST_F(HttpExchangeTest, BodyFromAFileIsStreamedInPieces)
{
    StringW path = QzlTest::UniqueTempPath(L"upload");
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7) % 253);
    {
        Os::CFile file(path, Os::CFile::OpenWrite);
        file.Write(data.data(), data.size());
    }
    CTestServer server({"http"});
    auto request = NewRequest(ServerUri(server, "/upload"));
    request->SetMethod(HttpMethodPut);
    request->SetBody(std::make_shared<Os::CFile>(path, Os::CFile::OpenRead));
    auto response = Perform(request);
    std::string digest = BytesToHex(CalculateMd5(data.data(), data.size()));
    EXPECT_EQ(BodyOf(*response), std::to_string(data.size()) + " " + digest);
    EXPECT_GT(m_notifier->BytesSent(), data.size());
    ::DeleteFileW(path.c_str());
}

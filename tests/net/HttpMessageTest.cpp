// HTTP messages: request and status lines, the Host header, form data and
// multipart bodies, the wire form with its body framing (checked by a server
// that reads requests by the letter), and whole messages parsed from text.

#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "MemoryStream.h"
#include "MimeContainer.h"
#include "MimeContent.h"
#include "Net.h"
#include "NetEncoding.h"
#include "Socket.h"
#include "SocketError.h"

#include "Buffer.h"
#include "Util.h"

#include "HttpTestSupport.h"
#include "SocketTestSupport.h"
#include "TestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::CTestServer;
using QzlTest::HeaderText;
using QzlTest::Raised;

namespace {

constexpr uint32_t kUtf8 = 65001;

CUri MakeUri(const char* text)
{
    CUri uri;
    EXPECT_TRUE(uri.Parse(text)) << text;
    return uri;
}

std::string Wire(const CHttpMessage& message)
{
    CMemoryStream stream;
    message.Format(stream, kUtf8);
    return stream.GetData();
}

std::string HeadOf(const std::string& wire)
{
    return wire.substr(0, wire.find("\r\n\r\n") + 4);
}

std::string BodyOf(const std::string& wire)
{
    return wire.substr(wire.find("\r\n\r\n") + 4);
}

// Data that cannot tell its length before it is written, like a stream
// produced on the fly.
class CUnknownLengthData : public IStreamable {
public:
    explicit CUnknownLengthData(std::string data) : m_data(std::move(data)) {}
    uint64_t GetLength() const override { return UnknownLength; }
    void WriteTo(IOutStream& stream) const override { stream.Write(m_data.data(), m_data.size()); }

private:
    std::string m_data;
};

std::shared_ptr<CMimeContent> MakePart(int32_t contentType, std::shared_ptr<IStreamable> data)
{
    auto part = std::make_shared<CMimeContent>();
    part->SetContentType(contentType);
    part->SetData(std::move(data));
    return part;
}

// Undoes chunk framing; fails the test when the framing is broken.
std::string Unchunk(const std::string& framed)
{
    std::string data;
    size_t position = 0;
    for (;;) {
        const size_t lineEnd = framed.find("\r\n", position);
        if (lineEnd == std::string::npos) {
            ADD_FAILURE() << "chunk size line without end";
            return data;
        }
        const size_t size = std::stoul(framed.substr(position, lineEnd - position), nullptr, 16);
        position = lineEnd + 2;
        if (size == 0) {
            EXPECT_EQ(framed.substr(position), "\r\n");
            return data;
        }
        data += framed.substr(position, size);
        EXPECT_EQ(framed.substr(position + size, 2), "\r\n");
        position += size + 2;
    }
}

size_t HeaderCount(const CHttpMessage& message, const char* name)
{
    size_t count = 0;
    for (auto header = message.FindHeader(name); header; header = message.FindHeader(name, header.get()))
        ++count;
    return count;
}

} // namespace

TEST(HttpRequestTest, HostHeaderNamesThePortOnlyWhenItIsNotTheDefault)
{
    EXPECT_EQ(HeaderText(CHttpRequest(MakeUri("https://Appliance.example:443/x")), "Host"), "Appliance.example");
    EXPECT_EQ(HeaderText(CHttpRequest(MakeUri("https://appliance.example:8443/x")), "Host"),
              "appliance.example:8443");
    EXPECT_EQ(HeaderText(CHttpRequest(MakeUri("http://appliance.example/")), "Host"), "appliance.example");
    EXPECT_EQ(HeaderText(CHttpRequest(MakeUri("http://appliance.example:443/")), "Host"), "appliance.example:443");

    // A new URI replaces the host; an empty host leaves it alone.
    CHttpRequest request(MakeUri("http://first.example/"));
    request.SetUri(MakeUri("https://second.example:444/"));
    EXPECT_EQ(HeaderText(request, "Host"), "second.example:444");
    request.SetUri(CUri());
    EXPECT_EQ(HeaderText(request, "Host"), "second.example:444");
    EXPECT_EQ(HeaderCount(request, "Host"), 1u);
}

TEST(HttpRequestTest, GetWithoutBodyIsRequestLineHeadersAndOneEmptyLine)
{
    CUri uri = MakeUri("http://appliance.example:8080/cgi-mod/get_info.cgi?b=2&a=x%20y");
    CHttpRequest request(uri);
    EXPECT_EQ(request.GetMethod(), HttpMethodGet);
    EXPECT_EQ(request.GetVersion(), HttpVersion11);
    EXPECT_EQ(Wire(request), "GET /cgi-mod/get_info.cgi?a=x%20y&b=2 HTTP/1.1\r\n"
                             "Host: appliance.example:8080\r\n"
                             "\r\n");
}

TEST(HttpRequestTest, RequestTargetIsPathAndQueryUnmaskedWithoutBlanks)
{
    CUri uri = MakeUri("http://h/a b/c?key=secret");
    uri.GetMaskedNames().insert("key");
    CHttpRequest request(uri);
    request.SetMethod(HttpMethodPropfind);
    request.SetVersion(HttpVersion10);
    EXPECT_EQ(request.FormatRequestLine(), "PROPFIND /a%20b/c?key=secret HTTP/1.0");
}

TEST(HttpRequestTest, ControlCharactersNeverReachTheRequestLineOrAHeader)
{
    const std::string refused = "HTTP request holds a control character in its request line or a header";
    for (const char* path : {"/a\r\nX-Injected: 1", "/a\nb", "/a\x7f", "/tab\there"}) {
        CUri uri = MakeUri("http://h/");
        uri.SetPath(path);
        EXPECT_EQ(Raised([&] { Wire(CHttpRequest(uri)); }).what(), refused) << path;
    }
    CUri uri = MakeUri("http://h/");
    uri.GetQueryParameters().emplace("a\r\nb", "1");
    EXPECT_EQ(Raised([&] { Wire(CHttpRequest(uri)); }).what(), refused);
    uri = MakeUri("http://h/");
    uri.SetHost("h\x01");
    EXPECT_EQ(Raised([&] { Wire(CHttpRequest(uri)); }).what(), refused);
    CHttpRequest request(MakeUri("http://h/"));
    request.CreateHeader("X-Note")->SetValue(Value(std::wstring(L"one\x7ftwo")));
    EXPECT_EQ(Raised([&] { Wire(request); }).what(), refused);
}

TEST(HttpRequestTest, BodyOfKnownLengthGetsAContentLengthAfterTheOtherHeaders)
{
    CHttpRequest request(MakeUri("http://h/upload"));
    request.SetMethod(HttpMethodPost);
    request.CreateHeader("X-Zulu")->SetValue(Value(std::wstring(L"last by name")));
    request.SetBody(CBuffer::Create("0123456789"));
    EXPECT_EQ(request.GetBodyLength(kUtf8), 10u);

    const std::string wire = Wire(request);
    EXPECT_EQ(wire, "POST /upload HTTP/1.1\r\n"
                    "Host: h\r\n"
                    "X-Zulu: last by name\r\n"
                    "Content-Length: 10\r\n"
                    "\r\n"
                    "0123456789");
    // The length line is written, not kept.
    EXPECT_FALSE(request.FindHeader("Content-Length"));
}

TEST(HttpRequestTest, FormDataIsAnUrlEncodedBodyTakenAsItIs)
{
    CHttpRequest request(MakeUri("http://h/cgi-mod/whitelist.cgi"));
    request.SetMethod(HttpMethodPost);
    request.SetFormData("Addresses=a%40example.com%0Ab%40example.com");
    const std::string wire = Wire(request);
    EXPECT_NE(wire.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << wire;
    EXPECT_NE(wire.find("\r\nContent-Length: 43\r\n"), std::string::npos) << wire;
    EXPECT_EQ(BodyOf(wire), "Addresses=a%40example.com%0Ab%40example.com");
}

TEST(HttpRequestTest, BodiesCannotGoIntoAMultipartEntity)
{
    CHttpRequest request(MakeUri("http://h/"));
    request.SetMultipartFormData({MakePart(ContentTypeTextPlain, CBuffer::Create("x"))});
    EXPECT_FALSE(request.HasContentBody());
    QzlTest::CLogCapture log;
    EXPECT_STREQ(Raised([&] { request.SetFormData("a=1"); }).what(), "Unable to set form data");
    EXPECT_STREQ(Raised([&] { request.SetBody(CBuffer::Create("x")); }).what(),
                 "CHttpMessage::SetBody called with no entity");
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Throwing exception at HttpMessage\\.cpp, "
                                                         "Quenzal::Net::CHttpMessage::SetBody, line \\d+: ")));
}

TEST(HttpRequestTest, NoCacheTwiceLeavesOnePragmaAndCacheControlNoCache)
{
    CHttpRequest request(MakeUri("http://h/"));
    request.SetNoCache();
    request.SetNoCache();
    EXPECT_EQ(HeaderCount(request, "Pragma"), 1u);
    EXPECT_EQ(HeaderText(request, "Pragma"), "no-cache");
    EXPECT_EQ(HeaderCount(request, "Cache-Control"), 1u);
    EXPECT_EQ(HeaderText(request, "Cache-Control"), "no-cache");

    // A Pragma that already says no-cache in another case is enough.
    CHttpRequest other(MakeUri("http://h/"));
    other.CreateHeader("Pragma")->SetValue(Value(std::wstring(L"x-other")));
    other.CreateHeader("Pragma")->SetValue(Value(std::wstring(L"NO-CACHE")));
    other.SetNoCache();
    EXPECT_EQ(HeaderCount(other, "Pragma"), 2u);
}

TEST(HttpRequestTest, EncodedBodyDeclaresTheLengthOfTheBytesSent)
{
    // The declared length is that of the Base64 text that goes out, not of
    // the data before encoding.
    const std::string data(100, 'x');
    CHttpRequest request(MakeUri("http://h/"));
    request.SetMethod(HttpMethodPut);
    request.CreateHeader("Content-Transfer-Encoding")->SetValue(Value(std::wstring(L"base64")));
    request.SetBody(CBuffer::Create(data));
    const std::string encoded = Base64Encode(data, 78);
    EXPECT_EQ(request.GetBodyLength(kUtf8), encoded.size());

    QzlTest::CLogCapture log;
    const std::string wire = Wire(request);
    EXPECT_NE(wire.find("\r\nContent-Length: " + std::to_string(encoded.size()) + "\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(wire), encoded);
    EXPECT_FALSE(log.Contains("did not match declared content length")) << log.Text();
}

TEST(HttpRequestTest, ContentLengthThatDoesNotMatchTheBodyIsRefusedBeforeTheBody)
{
    CHttpRequest request(MakeUri("http://h/"));
    request.SetMethod(HttpMethodPost);
    request.SetBody(CBuffer::Create("12345"));
    request.CreateHeader("Content-Length")->SetValue(Value(std::wstring(L"9")));

    QzlTest::CLogCapture log;
    CMemoryStream stream;
    CException e = Raised([&] { request.Format(stream, kUtf8); });
    EXPECT_STREQ(e.what(), "HTTP message's body length (5) did not match declared content length (9)");
    EXPECT_EQ(stream.GetData(), "POST / HTTP/1.1\r\nContent-Length: 9\r\nHost: h\r\n");
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Quenzal::Net::CHttpMessage::Format, line \\d+: HTTP "
                                                         "message's body length \\(5\\)")));

    // A matching one is written with the other headers and no second one follows.
    request.FindHeader("Content-Length")->SetValue(Value(std::wstring(L"5")));
    EXPECT_EQ(Wire(request), "POST / HTTP/1.1\r\nContent-Length: 5\r\nHost: h\r\n\r\n12345");
}

TEST(HttpRequestTest, MultipartOfUnknownLengthWithoutChunkingFailsAfterTheHead)
{
    auto part = MakePart(ContentTypeApplicationOctetStream, CBuffer::Create("abc"));
    part->CreateHeader("Content-Transfer-Encoding")->SetValue(Value(std::wstring(L"base64")));
    CHttpRequest request(MakeUri("http://h/stub"));
    request.SetMethod(HttpMethodPost);
    request.SetMultipartFormData({part});
    EXPECT_FALSE(request.IsChunked());
    EXPECT_EQ(request.GetBodyLength(kUtf8), UnknownLength);

    CMemoryStream stream;
    CException e = Raised([&] { request.Format(stream, kUtf8); });
    EXPECT_STREQ(e.what(),
                 "HTTP message contains body of unknown length and chunked transfer encoding not specified");
    EXPECT_EQ(stream.GetData().rfind("POST /stub HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=", 0), 0u);
    EXPECT_EQ(stream.GetData().find("\r\n\r\n"), std::string::npos);
}

TEST(HttpRequestTest, MultipartWithAPartOfUnknownLengthIsSentInChunks)
{
    QzlTest::CLogCapture log;
    const std::string file(20000, 'f');
    auto text = MakePart(ContentTypeTextPlain, CBuffer::Create("first part"));
    auto stream = MakePart(ContentTypeApplicationOctetStream, std::make_shared<CUnknownLengthData>(file));
    CHttpRequest request(MakeUri("http://h/upload"));
    request.SetMethod(HttpMethodPost);
    request.SetMultipartFormData({text, stream});
    // A length of its own is no framing once the body goes in chunks.
    request.SetHeaderValue("Content-Length", Value(int64_t(12345)));
    EXPECT_TRUE(request.IsChunked());
    EXPECT_TRUE(log.Contains("Multipart HTTP message contains MIME entity of unknown length; using chunked "
                             "transfer encoding"));

    const std::string wire = Wire(request);
    EXPECT_NE(HeadOf(wire).find("\r\nTransfer-Encoding: chunked\r\n"), std::string::npos) << HeadOf(wire);
    EXPECT_EQ(HeadOf(wire).find("Content-Length"), std::string::npos);

    CMemoryStream expected;
    request.GetBody()->FormatBody(expected, kUtf8, false);
    EXPECT_NE(expected.GetData().find(file), std::string::npos);
    EXPECT_EQ(Unchunk(BodyOf(wire)), expected.GetData());
    EXPECT_FALSE(log.Contains("did not match"));
}

TEST(HttpResponseTest, StatusLineParsesVersionStatusAndReason)
{
    CHttpResponse response(nullptr);
    EXPECT_EQ(response.GetStatus(), -1);
    response.ParseStatusLine("HTTP/1.1 404 Not Found");
    EXPECT_EQ(response.GetVersion(), HttpVersion11);
    EXPECT_EQ(response.GetStatus(), 404);
    EXPECT_EQ(response.GetReason(), "Not Found");

    response.ParseStatusLine("http/1.0 200");
    EXPECT_EQ(response.GetVersion(), HttpVersion10);
    EXPECT_EQ(response.GetStatus(), 200);
    EXPECT_EQ(response.GetReason(), "");

    EXPECT_STREQ(Raised([&] { response.ParseStatusLine("HTTP/1.1 abc Not Found"); }).what(),
                 "HTTP status not understood: HTTP/1.1 abc Not Found");
    EXPECT_STREQ(Raised([&] { response.ParseStatusLine("HTTP/2 200 OK"); }).what(),
                 "HTTP version not understood: HTTP/2 200 OK");
}

TEST(HttpResponseTest, EmptyReasonIsFormattedAsTheStatusName)
{
    CHttpResponse response(nullptr);
    response.SetStatus(404);
    EXPECT_EQ(response.FormatStatusLine(), "HTTP/1.1 404 NOT FOUND");
    response.SetStatus(299);
    EXPECT_EQ(response.FormatStatusLine(), "HTTP/1.1 299 UNIDENTIFIED ERROR");
    response.SetReason("Fine");
    EXPECT_EQ(response.FormatStatusLine(), "HTTP/1.1 299 Fine");
}

TEST(HttpResponseTest, WholeResponseParsesIntoHeadersAndBodyAndFormatsBack)
{
    auto request = std::make_shared<CHttpRequest>(MakeUri("http://h/"));
    CHttpResponse response(request);
    const std::string text = "HTTP/1.1 200 OK\r\n"
                             "Content-Type: text/plain\r\n"
                             "Content-Length: 5\r\n"
                             "Transfer-Encoding: identity\r\n"
                             "\r\n"
                             "hello";
    response.Parse(text);
    EXPECT_EQ(response.GetRequest(), request);
    EXPECT_EQ(response.GetStatus(), 200);
    EXPECT_EQ(response.GetContentTypeId(), ContentTypeTextPlain);
    EXPECT_FALSE(response.IsChunked());
    EXPECT_EQ(StreamToString(response.GetContentBody()), "hello");
    EXPECT_EQ(Wire(response), text);

    EXPECT_STREQ(Raised([&] { response.Parse("HTTP/1.1 200 OK"); }).what(), "HTTP response malformed");
}

TEST(HttpResponseTest, MultipartResponseParsesIntoParts)
{
    CHttpResponse response(nullptr);
    response.Parse("HTTP/1.1 200 OK\r\n"
                   "Content-Type: multipart/mixed; boundary=B\r\n"
                   "\r\n"
                   "--B\r\nContent-Type: text/plain\r\n\r\nx\r\n--B\r\n\r\ny\r\n--B--\r\n");
    auto container = std::dynamic_pointer_cast<CMimeContainer>(response.GetBody());
    ASSERT_TRUE(container);
    ASSERT_EQ(container->GetParts().size(), 2u);
    EXPECT_FALSE(response.HasContentBody());
}

TEST(HttpRequestTest, WholeRequestParses)
{
    CHttpRequest request;
    request.Parse("post /cgi-mod/mark.cgi?id=7 HTTP/1.0\r\n"
                  "Host: appliance.example\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\n"
                  "\r\n"
                  "a=1\r\n");
    EXPECT_EQ(request.GetMethod(), HttpMethodPost);
    EXPECT_EQ(request.GetVersion(), HttpVersion10);
    EXPECT_EQ(request.GetUri().GetPath(), "/cgi-mod/mark.cgi");
    EXPECT_EQ(request.GetUri().FormatPathAndQuery(false), "/cgi-mod/mark.cgi?id=7");
    EXPECT_EQ(HeaderText(request, "Host"), "appliance.example");
    EXPECT_EQ(StreamToString(request.GetContentBody()), "a=1");

    request.ParseRequestLine("GET https://other.example:8443/x HTTP/1.1");
    EXPECT_EQ(request.GetUri().GetHost(), "other.example");
    EXPECT_EQ(request.GetUri().GetPort(), 8443);
}

TEST(HttpRequestTest, BadRequestLinesNameTheirFault)
{
    QzlTest::CLogCapture log;
    CHttpRequest request;
    EXPECT_STREQ(Raised([&] { request.ParseRequestLine("FETCH / HTTP/1.1"); }).what(),
                 "HTTP method not understood: FETCH / HTTP/1.1");
    EXPECT_STREQ(Raised([&] { request.ParseRequestLine("GET ftp://h/ HTTP/1.1"); }).what(),
                 "HTTP resource not understood: GET ftp://h/ HTTP/1.1");
    EXPECT_STREQ(Raised([&] { request.ParseRequestLine("GET /"); }).what(), "HTTP version not understood: GET /");
    EXPECT_STREQ(Raised([&] { request.Parse("GET / HTTP/1.1"); }).what(), "HTTP request malformed");
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Throwing exception at HttpRequest\\.cpp, "
                                                         "Quenzal::Net::CHttpRequest::ParseRequestLine, line \\d+: "
                                                         "HTTP method not understood")));
}

// The wire form as a server that reads requests by the letter sees it.
class HttpWireTest : public QzlTest::CSocketFixture {
protected:
    // Sends the request straight into a socket and returns the server's answer.
    std::shared_ptr<CHttpResponse> Send(const std::shared_ptr<CHttpRequest>& request)
    {
        CSocket socket;
        socket.SetTimeout(DateTimeSpan(0, 0, 0, 20, 0));
        socket.Connect("127.0.0.1", m_server.Port());
        request->Format(socket, kUtf8);
        std::string answer;
        try {
            for (;;)
                socket.Receive(answer);
        } catch (const CSocketError&) {
            // The server closes after its answer.
        }
        auto response = std::make_shared<CHttpResponse>(request);
        response->Parse(answer);
        return response;
    }

    CTestServer m_server{{"request"}};
};

TEST_F(HttpWireTest, BodyWithContentLengthArrivesWhole)
{
    auto request = std::make_shared<CHttpRequest>(MakeUri("http://127.0.0.1/cgi-mod/whitelist.cgi"));
    request->SetMethod(HttpMethodPost);
    request->SetFormData("Addresses=a%40example.com");
    auto response = Send(request);
    ASSERT_EQ(response->GetStatus(), 200) << StreamToString(response->GetContentBody());
    EXPECT_EQ(HeaderText(*response, "X-Framing"), "length");
    EXPECT_EQ(HeaderText(*response, "X-Body-Length"), "25");
    EXPECT_EQ(StreamToString(response->GetContentBody()), Wire(*request));
}

TEST_F(HttpWireTest, EncodedBodyIsFramedByItsEncodedLength)
{
    std::string data;
    for (int i = 0; i < 3000; ++i)
        data.push_back(static_cast<char>(i * 7));
    auto request = std::make_shared<CHttpRequest>(MakeUri("http://127.0.0.1/"));
    request->SetMethod(HttpMethodPut);
    request->CreateHeader("Content-Transfer-Encoding")->SetValue(Value(std::wstring(L"base64")));
    request->SetBody(CBuffer::Create(data));
    auto response = Send(request);
    ASSERT_EQ(response->GetStatus(), 200) << StreamToString(response->GetContentBody());
    const std::string encoded = Base64Encode(data, 78);
    EXPECT_EQ(HeaderText(*response, "X-Body-Length"), std::to_string(encoded.size()));
    EXPECT_EQ(HeaderText(*response, "X-Body-MD5"), BytesToHex(CalculateMd5(encoded.data(), encoded.size())));
}

TEST_F(HttpWireTest, ChunkedMultipartFollowsTheChunkSyntax)
{
    std::string file;
    for (int i = 0; i < 50000; ++i)
        file.push_back(static_cast<char>('a' + i % 26));
    auto request = std::make_shared<CHttpRequest>(MakeUri("http://127.0.0.1/cgi-mod/stub_attachment.cgi"));
    request->SetMethod(HttpMethodPost);
    request->SetMultipartFormData({MakePart(ContentTypeTextPlain, CBuffer::Create("name")),
                                   MakePart(ContentTypeApplicationOctetStream,
                                            std::make_shared<CUnknownLengthData>(file))});
    auto response = Send(request);
    ASSERT_EQ(response->GetStatus(), 200) << StreamToString(response->GetContentBody());
    EXPECT_EQ(HeaderText(*response, "X-Framing"), "chunked");
    CMemoryStream body;
    request->GetBody()->FormatBody(body, kUtf8, false);
    EXPECT_EQ(HeaderText(*response, "X-Body-Length"), std::to_string(body.GetData().size()));
    const std::string& bytes = body.GetData();
    EXPECT_EQ(HeaderText(*response, "X-Body-MD5"), BytesToHex(CalculateMd5(bytes.data(), bytes.size())));
}

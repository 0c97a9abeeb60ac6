// HTTP header classes: dates, comma lists, Basic and Digest authentication
// (RFC 2617 and RFC 7616 vectors), the Accept family and the HTTP factory.

#include "Charsets.h"
#include "CodecVectors.h"
#include "Exception.h"
#include "HttpHeaders.h"
#include "MemoryStream.h"
#include "NameTables.h"
#include "TestSupport.h"
#include "Util.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;

namespace {

std::shared_ptr<CMimeHeader> FromText(const char* name, const std::string& value)
{
    return CreateHeaderFromText(name, value.data(), value.size(), GetHttpHeaderFactory());
}

template <class T>
std::shared_ptr<T> Typed(const char* name, const std::string& value)
{
    auto header = std::dynamic_pointer_cast<T>(FromText(name, value));
    EXPECT_TRUE(header) << name << ": " << value;
    return header;
}

std::string Md5Hex(const std::string& text)
{
    return BytesToHex(CalculateMd5(text.data(), text.size()));
}

// The items of a formatted Digest value, in order: name, value and whether it was quoted.
struct Item {
    std::string name;
    std::string value;
    bool quoted = false;
};

std::vector<Item> SplitDigestItems(const std::string& text)
{
    EXPECT_EQ(text.rfind("Digest ", 0), 0u) << text;
    std::vector<Item> items;
    size_t i = 6;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '\r' || text[i] == '\n' ||
                                   text[i] == '\t'))
            ++i;
        if (i >= text.size())
            break;
        size_t equals = text.find('=', i);
        Item item;
        item.name = text.substr(i, equals - i);
        i = equals + 1;
        if (text[i] == '"') {
            item.quoted = true;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\')
                    ++i;
                item.value.push_back(text[i]);
            }
            ++i;
        } else {
            size_t end = text.find(',', i);
            item.value = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? text.size() : end;
        }
        items.push_back(item);
    }
    return items;
}

std::map<std::string, Item> ByName(const std::vector<Item>& items)
{
    std::map<std::string, Item> byName;
    for (const Item& item : items)
        byName[item.name] = item;
    return byName;
}

// The Digest vector records of the data file.
std::vector<std::map<std::string, std::string>> DigestVectors()
{
    std::vector<std::map<std::string, std::string>> records;
    for (const NetTest::Vector& vector : NetTest::ReadVectors("net/data/http/digest-vectors.txt")) {
        if (vector.input == "challenge")
            records.emplace_back();
        records.back()[vector.input] = vector.expected;
    }
    return records;
}

// Credentials as a client makes them from a parsed challenge.
std::shared_ptr<CAuthenticationCredentialsHeader> Answer(const CAuthenticationChallengeHeader& challenge,
                                                         const std::map<std::string, std::string>& vector)
{
    auto credentials = std::make_shared<CAuthenticationCredentialsHeader>();
    credentials->SetScheme(challenge.GetScheme());
    credentials->SetRealm(challenge.GetRealm());
    credentials->SetNonce(challenge.GetNonce());
    credentials->SetOpaque(challenge.GetOpaque());
    credentials->SetQop(GetDigestQopTable().LookupValue(challenge.GetQop()));
    credentials->SetUser(StringW(vector.at("user")));
    credentials->SetPassword(StringW(vector.at("password")));
    credentials->SetMethod(GetHttpMethodTable().LookupValue(StringW(vector.at("method"))));
    credentials->SetUri(StringW(vector.at("uri")));
    if (!vector.at("nc").empty())
        credentials->SetNonceCount(StringW(vector.at("nc")));
    return credentials;
}

} // namespace

TEST(DigestAuthentication, PublishedVectors)
{
    const auto vectors = DigestVectors();
    ASSERT_EQ(vectors.size(), 3u);
    for (const auto& vector : vectors) {
        SCOPED_TRACE(vector.at("challenge"));
        auto challenge = Typed<CAuthenticationChallengeHeader>("WWW-Authenticate", vector.at("challenge"));
        ASSERT_TRUE(challenge);
        EXPECT_EQ(challenge->GetScheme(), AuthenticationSchemeDigest);
        EXPECT_EQ(challenge->GetQop(), StringW(vector.at("qop")));
        EXPECT_EQ(challenge->GetAlgorithm(), L"MD5");

        auto credentials = Answer(*challenge, vector);
        const StringW ha1 = ComputeDigestHa1(challenge->GetRealm(), StringW(vector.at("user")),
                                             StringW(vector.at("password")));
        EXPECT_EQ(BytesToHex(credentials->ComputeDigestResponse(ha1, StringW(vector.at("cnonce")))),
                  vector.at("response"));

        // The formatted header: every field in its place, its response
        // right for the client nonce it carries.
        const std::string value = credentials->FormatValue(kNoCodePage, false);
        const std::vector<Item> items = SplitDigestItems(value);
        std::vector<std::string> names;
        for (const Item& item : items)
            names.push_back(item.name);
        const bool withQop = !vector.at("qop").empty();
        const std::vector<std::string> expectedNames =
            withQop ? std::vector<std::string>{"realm", "qop", "algorithm", "nonce", "opaque", "username", "uri",
                                               "cnonce", "nc", "response"}
                    : std::vector<std::string>{"realm", "algorithm", "nonce", "opaque", "username", "uri",
                                               "response"};
        EXPECT_EQ(names, expectedNames) << value;
        auto fields = ByName(items);
        for (const char* unquoted : {"qop", "nc", "algorithm"})
            EXPECT_FALSE(fields[unquoted].quoted) << unquoted;
        for (const char* quoted : {"realm", "nonce", "opaque", "username", "uri", "cnonce", "response"})
            EXPECT_TRUE(fields.count(quoted) == 0 || fields[quoted].quoted) << quoted;
        EXPECT_EQ(fields["realm"].value, challenge->GetRealm().ToAnsi());
        EXPECT_EQ(fields["username"].value, vector.at("user"));
        EXPECT_EQ(fields["uri"].value, vector.at("uri"));
        EXPECT_EQ(fields["opaque"].value, challenge->GetOpaque().ToAnsi());
        const std::string ha2 = Md5Hex(vector.at("method") + ":" + vector.at("uri"));
        std::string expected;
        if (withQop) {
            EXPECT_EQ(fields["qop"].value, "auth");
            EXPECT_EQ(fields["nc"].value, vector.at("nc"));
            EXPECT_TRUE(std::regex_match(fields["cnonce"].value, std::regex("[0-9a-f]{32}")));
            expected = Md5Hex(ha1.ToAnsi() + ":" + challenge->GetNonce().ToAnsi() + ":" + vector.at("nc") + ":" +
                              fields["cnonce"].value + ":auth:" + ha2);
        } else {
            expected = Md5Hex(ha1.ToAnsi() + ":" + challenge->GetNonce().ToAnsi() + ":" + ha2);
            EXPECT_EQ(expected, vector.at("response"));
        }
        EXPECT_EQ(fields["response"].value, expected);

        // A stored H(A1) stands in for the password.
        credentials->SetPassword(L"");
        credentials->SetPasswordHash(ha1);
        EXPECT_EQ(BytesToHex(credentials->ComputeDigestResponse(ha1, StringW(vector.at("cnonce")))),
                  vector.at("response"));
        EXPECT_EQ(SplitDigestItems(credentials->FormatValue(kNoCodePage, false)).size(), expectedNames.size());
    }
}

TEST(DigestAuthentication, ClientNoncesAreRandom)
{
    CAuthenticationCredentialsHeader credentials;
    credentials.SetScheme(AuthenticationSchemeDigest);
    credentials.SetUser(L"u");
    credentials.SetNonce(L"n");
    const std::string first = ByName(SplitDigestItems(credentials.FormatValue(kNoCodePage, false)))["cnonce"].value;
    const std::string second = ByName(SplitDigestItems(credentials.FormatValue(kNoCodePage, false)))["cnonce"].value;
    EXPECT_EQ(first.size(), 32u);
    EXPECT_NE(first, second);
    EXPECT_NE(CreateCnonce(), CreateCnonce());
}

TEST(DigestAuthentication, QuotedValuesAreEscapedAndLineBreaksRefused)
{
    CAuthenticationCredentialsHeader credentials;
    credentials.SetScheme(AuthenticationSchemeDigest);
    credentials.SetRealm(L"r\"1");
    credentials.SetUser(L"a\"b\\c");
    credentials.SetNonce(L"n");
    credentials.SetQop(-1);
    const std::string value = credentials.FormatValue(kNoCodePage, false);
    EXPECT_NE(value.find(" realm=\"r\\\"1\","), std::string::npos) << value;
    EXPECT_NE(value.find(" username=\"a\\\"b\\\\c\","), std::string::npos) << value;
    EXPECT_EQ(value.find("cnonce"), std::string::npos);

    // Read back by the tokenizer, the escaped text is the text again.
    CAuthenticationChallengeHeader challenge;
    const std::string text = "Digest realm=\"r\\\"1\", nonce=\"n\\\\\"";
    challenge.Parse(text.data(), text.size());
    EXPECT_EQ(challenge.GetRealm(), L"r\"1");
    EXPECT_EQ(challenge.GetNonce(), L"n\\");

    QzlTest::CLogCapture log;
    credentials.SetUser(L"a\r\nX-Injected: 1");
    EXPECT_THROW(credentials.Format(kNoCodePage, false), CException);
    credentials.SetUser(L"a");
    credentials.SetNonce(L"n\nX");
    EXPECT_THROW(credentials.Format(kNoCodePage, false), CException);
    EXPECT_TRUE(log.Contains("Line break in the value of header Authorization"));
    EXPECT_FALSE(log.Contains("X-Injected"));
}

TEST(DigestAuthentication, ChallengeParameters)
{
    auto challenge = Typed<CAuthenticationChallengeHeader>(
        "WWW-Authenticate", "Digest realm=\"x\", qop=\"auth-int\", domain=\"/a /b\", stale=true, algorithm=MD5-sess");
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->GetQop(), L"auth-int");
    EXPECT_EQ(challenge->GetDomain(), L"/a /b");
    EXPECT_TRUE(challenge->IsStale());
    EXPECT_EQ(challenge->GetAlgorithm(), L"MD5-sess");
    EXPECT_EQ(challenge->FormatValue(kNoCodePage, false),
              "Digest realm=\"x\", qop=\"auth-int\", algorithm=MD5-sess, domain=\"/a /b\", stale=\"TRUE\"");
    challenge = Typed<CAuthenticationChallengeHeader>("WWW-Authenticate", "Digest nonce=\"n\", stale=\"no\",");
    ASSERT_TRUE(challenge);
    EXPECT_FALSE(challenge->IsStale());
    EXPECT_EQ(challenge->GetQop(), L"");

    // Basic keeps its realm but is written as the bare word.
    auto basic = Typed<CAuthenticationChallengeHeader>("WWW-Authenticate", "Basic realm=\"WallyWorld\"");
    ASSERT_TRUE(basic);
    EXPECT_EQ(basic->GetScheme(), AuthenticationSchemeBasic);
    EXPECT_EQ(basic->GetRealm(), L"WallyWorld");
    EXPECT_EQ(basic->FormatValue(kNoCodePage, false), "Basic");

    QzlTest::CLogCapture log;
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(
        FromText("WWW-Authenticate", "Digest realm=\"x\",, nonce=\"n\"")));
    EXPECT_TRUE(log.Contains("Unable to parse MIME header: WWW-Authenticate"));
    EXPECT_TRUE(log.Contains("Quenzal::Net::CParameterizedHttpHeader::ParseTokens"));
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(FromText("WWW-Authenticate", "Digest realm=\"x\" nonce")));
    EXPECT_TRUE(log.Contains("Unable to parse HTTP header: WWW-Authenticate"));
    auto unknown = Typed<CAuthenticationChallengeHeader>("WWW-Authenticate", "Negotiate");
    EXPECT_EQ(unknown->GetScheme(), -1);
    EXPECT_TRUE(log.Contains("Unknown authentication scheme: Negotiate"));
    EXPECT_EQ(unknown->Format(kNoCodePage, false), "");
    EXPECT_TRUE(log.Contains("ERROR: Unknown authentication scheme"));
}

TEST(DigestAuthentication, FoldedItems)
{
    CAuthenticationCredentialsHeader credentials;
    credentials.SetScheme(AuthenticationSchemeDigest);
    credentials.SetRealm(L"testrealm@host.com");
    credentials.SetNonce(L"dcd98b7102dd2f0e8b11d0f600bfb0c093");
    credentials.SetOpaque(L"5ccc069c403ebaf9f0171e9517f40e41");
    credentials.SetUser(L"Mufasa");
    credentials.SetUri(L"/dir/index.html");
    const std::string line = credentials.Format(kNoCodePage, true);
    size_t start = 0;
    for (size_t end; (end = line.find("\r\n\t", start)) != std::string::npos; start = end + 3)
        EXPECT_LE(end - start, 78u) << line;
    EXPECT_NE(line.find("\r\n\t response="), std::string::npos) << line;
    EXPECT_NE(line.back(), ',');
    EXPECT_EQ(SplitDigestItems(line.substr(15)).size(), 10u);
}

TEST(BasicAuthentication, PublishedVectors)
{
    for (const NetTest::Vector& vector : NetTest::ReadVectors("net/data/http/basic-vectors.txt")) {
        const size_t colon = vector.input.find(':');
        CAuthenticationCredentialsHeader credentials;
        credentials.SetScheme(AuthenticationSchemeBasic);
        credentials.SetUser(StringW(vector.input.substr(0, colon)));
        credentials.SetPassword(StringW(vector.input.substr(colon + 1)));
        credentials.SetRealm(L"ignored");
        EXPECT_EQ(credentials.FormatValue(kNoCodePage, false), vector.expected);

        auto parsed = Typed<CAuthenticationCredentialsHeader>("Authorization", vector.expected);
        ASSERT_TRUE(parsed) << vector.expected;
        EXPECT_EQ(parsed->GetUser().ToAnsi(), vector.input.substr(0, colon));
        EXPECT_EQ(parsed->GetPassword().ToAnsi(), vector.input.substr(colon + 1));
    }
}

TEST(BasicAuthentication, OnlyBasicIsReadAndNothingSecretIsLogged)
{
    QzlTest::CLogCapture log;
    auto header = FromText("Authorization", "Digest username=\"Mufasa\", response=\"6629fae49393a05397450978507c4ef1\"");
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(header));
    EXPECT_TRUE(log.Contains("HTTP authentication method in Authorization header is not supported"));
    EXPECT_TRUE(log.Contains("Unable to parse header 'Authorization': ********"));
    EXPECT_FALSE(log.Contains("6629fae4")) << log.Text();
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(FromText("Authorization", "Basic a b")));
    EXPECT_TRUE(log.Contains("Unable to parse HTTP header: Authorization"));
}

TEST(HttpListHeaders, FirstKnownItemIsKept)
{
    auto cacheControl = Typed<CCacheControlHeader>("Cache-Control", "max-age=0, no-cache, no-store");
    EXPECT_EQ(cacheControl->GetId(), CacheControlNoCache);
    EXPECT_EQ(cacheControl->Format(kNoCodePage, false), "Cache-Control: no-cache");
    EXPECT_EQ(CCacheControlHeader().Format(kNoCodePage, false), "");

    EXPECT_EQ(Typed<CTransferEncodingHeader>("Transfer-Encoding", "identity, chunked")->GetId(), TransferCodingChunked);
    EXPECT_EQ(Typed<CTransferEncodingHeader>("Transfer-Encoding", "x-custom, gzip, chunked")->GetId(),
              TransferCodingGzip);
    auto contentEncoding = Typed<CContentEncodingHeader>("Content-Encoding", "GZIP");
    EXPECT_EQ(contentEncoding->GetId(), ContentCodingGzip);
    EXPECT_EQ(contentEncoding->FormatValue(kNoCodePage, false), "gzip");
    EXPECT_EQ(CContentEncodingHeader().FormatValue(kNoCodePage, false), "identity");

    CConnectionHeader connection;
    connection.SetId(ConnectionOptionClose);
    EXPECT_EQ(connection.Format(kNoCodePage, false), "Connection: close");
    EXPECT_EQ(Typed<CConnectionHeader>("Connection", "Upgrade, Keep-Alive")->GetId(), ConnectionOptionKeepAlive);
    EXPECT_THROW(connection.GetValue(), CException);
}

TEST(HttpAcceptHeaders, QualitiesParsedAndFormatted)
{
    auto accept = Typed<CAcceptContentTypeHeader>("Accept", "text/html;q=0.5, TEXT/HTML, */*; level=1; q=0.75");
    ASSERT_TRUE(accept);
    ASSERT_EQ(accept->GetItems().size(), 2u);
    EXPECT_EQ(accept->GetItems().at(L"text/html"), 1.0);
    EXPECT_EQ(accept->GetItems().at(L"*/*"), 0.75);
    EXPECT_EQ(accept->FormatValue(kNoCodePage, false), "*/*; q=0.8, text/html");

    CAcceptLanguageHeader language;
    for (int i = 0; i < 12; ++i)
        language.SetQuality(StringW::Format(L"language-%02d", i), i == 0 ? 1.0 : 0.5);
    const std::string folded = language.Format(kNoCodePage, true);
    EXPECT_NE(folded.find(", \r\n\tlanguage-"), std::string::npos) << folded;
    size_t start = 0;
    for (size_t end; (end = folded.find("\r\n\t", start)) != std::string::npos; start = end + 3)
        EXPECT_LE(end - start, 80u);

    QzlTest::CLogCapture log;
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(FromText("Accept-Charset", "utf-8; q=1 iso")));
    EXPECT_TRUE(log.Contains("Unable to parse HTTP header: Accept-Charset"));
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(FromText("Accept-Encoding", "gzip, , deflate")));
    EXPECT_TRUE(log.Contains("Unable to parse MIME header: Accept-Encoding"));
}

TEST(HttpDateHeaders, InternetDatesInUtc)
{
    auto date = Typed<CDateHttpHeader>("Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT");
    ASSERT_TRUE(date);
    EXPECT_EQ(date->GetName(), "Last-Modified");
    EXPECT_EQ(date->FormatValue(kNoCodePage, false), "Sun, 06 Nov 1994 08:49:37 GMT");
    Value value = date->GetValue();
    EXPECT_EQ(value.GetKind(), static_cast<uint32_t>(Value::KindDateTime));

    CDateHttpHeader copy("Date");
    copy.SetValue(value);
    EXPECT_EQ(copy.FormatValue(kNoCodePage, false), "Sun, 06 Nov 1994 08:49:37 GMT");
    copy.SetValue(Value(std::wstring(L"not a date")));
    EXPECT_TRUE(copy.GetDate().IsNull());
    EXPECT_EQ(copy.Format(kNoCodePage, false), "");

    CExpiresHeader expires;
    EXPECT_EQ(expires.Format(kNoCodePage, false), "Expires: -1");
    expires.SetValue(value);
    EXPECT_EQ(expires.FormatValue(kNoCodePage, false), "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(HttpHeaderFactory, ClassesByName)
{
    CMimeHeaderMap headers;
    const std::string block = QzlTest::ReadWholeFile(L"net/data/http/response-headers.txt");
    ASSERT_FALSE(block.empty());
    QzlTest::CLogCapture log;
    EXPECT_EQ(ParseHeaderBlock(block.data(), block.size(), headers, GetHttpHeaderFactory()), block.size());
    EXPECT_EQ(headers.GetHeaders().size(), 10u);
    // "-1" is no date: kept as text.
    EXPECT_TRUE(log.Contains("Unable to parse header 'Expires': -1"));
    CMemoryStream stream;
    headers.FormatHeaders(stream, kNoCodePage, false);
    EXPECT_EQ(stream.GetData() + "\r\n", block);

    EXPECT_TRUE(std::dynamic_pointer_cast<CDateHttpHeader>(headers.FindHeader("Date")));
    EXPECT_TRUE(std::dynamic_pointer_cast<CContentTypeHeader>(headers.FindHeader("Content-Type")));
    EXPECT_EQ(std::dynamic_pointer_cast<CTransferEncodingHeader>(headers.FindHeader("Transfer-Encoding"))->GetId(),
              TransferCodingChunked);
    EXPECT_EQ(std::dynamic_pointer_cast<CCacheControlHeader>(headers.FindHeader("Cache-Control"))->GetId(),
              CacheControlNoCache);
    auto challenge = std::dynamic_pointer_cast<CAuthenticationChallengeHeader>(headers.FindHeader("WWW-Authenticate"));
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->GetNonce(), L"dcd98b7102dd2f0e8b11d0f600bfb0c093");
    EXPECT_EQ(challenge->GetQop(), L"auth");
    EXPECT_EQ(std::dynamic_pointer_cast<CConnectionHeader>(headers.FindHeader("Connection"))->GetId(),
              ConnectionOptionClose);
    EXPECT_EQ(std::dynamic_pointer_cast<CContentEncodingHeader>(headers.FindHeader("Content-Encoding"))->GetId(),
              ContentCodingGzip);
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(headers.FindHeader("Expires")));
    EXPECT_EQ(headers.GetHeaderValue("Content-Length").GetInt64(), 1234);

    const CMimeHeaderFactory& factory = GetHttpHeaderFactory();
    EXPECT_EQ(MakeHeader(factory, "if-modified-since")->GetName(), "if-modified-since");
    EXPECT_EQ(MakeHeader(factory, "www-authenticate")->GetName(), "WWW-Authenticate");
    EXPECT_TRUE(std::dynamic_pointer_cast<CAuthenticationCredentialsHeader>(MakeHeader(factory, "AUTHORIZATION")));
    EXPECT_TRUE(std::dynamic_pointer_cast<CAcceptCharsetHeader>(MakeHeader(factory, "Accept-Charset")));
    EXPECT_TRUE(std::dynamic_pointer_cast<CWordMimeHeader>(MakeHeader(factory, "Mime-Version")));
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(MakeHeader(factory, "Host")));
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(MakeHeader(GetMimeHeaderFactory(), "Date")));
}

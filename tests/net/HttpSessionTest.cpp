#include "HttpSession.h"

#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "NameTables.h"
#include "Util.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace Quenzal;
using namespace Quenzal::Net;
namespace {

std::shared_ptr<CHttpRequest> NewRequest(const std::string& uri)
{
    CUri parsed;
    EXPECT_TRUE(parsed.Parse(uri)) << uri;
    return std::make_shared<CHttpRequest>(parsed);
}

const wchar_t User[] = L"Mufasa";
const wchar_t Password[] = L"Circle Of Life";
const char DigestChallenge[] = "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                               "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                               "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";

std::shared_ptr<CAuthenticationChallengeHeader> Challenge(const std::string& value)
{
    auto header = std::make_shared<CAuthenticationChallengeHeader>();
    header->Parse(value.data(), value.size());
    return header;
}

std::shared_ptr<CAuthenticationCredentialsHeader> Credentials(const CHttpRequest& request)
{
    return std::dynamic_pointer_cast<CAuthenticationCredentialsHeader>(request.FindHeader("Authorization"));
}

// The items of a formatted Digest answer, quotes removed.
std::map<std::string, std::string> DigestItems(const std::string& value)
{
    std::map<std::string, std::string> items;
    size_t i = value.find(' ');
    while (i != std::string::npos && i < value.size()) {
        while (i < value.size() && (value[i] == ' ' || value[i] == ',' || value[i] == '\r' || value[i] == '\n' ||
                                    value[i] == '\t'))
            ++i;
        size_t equals = value.find('=', i);
        if (equals == std::string::npos)
            break;
        std::string name = value.substr(i, equals - i);
        i = equals + 1;
        std::string text;
        if (i < value.size() && value[i] == '"') {
            size_t end = value.find('"', i + 1);
            text = value.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            size_t end = value.find(',', i);
            text = value.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end;
        }
        items[name] = text;
    }
    return items;
}

std::string Md5Hex(const std::string& text)
{
    return BytesToHex(CalculateMd5(text.data(), text.size()));
}

} // namespace

TEST(HttpSession, DigestNonceCountGrowsOnOneNonceAndRestartsWithANewOne)
{
    CHttpSession session;
    session.SetDigestCredentials(User, Password);
    auto first = NewRequest("http://127.0.0.1/dir/index.html");
    // Without a nonce there is nothing to answer with yet.
    EXPECT_FALSE(session.AddAuthorization(*first));
    EXPECT_FALSE(first->FindHeader("Authorization"));

    ASSERT_TRUE(session.RespondToChallenge(*first, *Challenge(DigestChallenge)));
    auto header = Credentials(*first);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->GetNonceCount(), L"00000001");
    EXPECT_EQ(header->GetNonce(), L"dcd98b7102dd2f0e8b11d0f600bfb0c093");
    EXPECT_EQ(header->GetQop(), L"auth");

    auto second = NewRequest("http://127.0.0.1/dir/index.html");
    ASSERT_TRUE(session.AddAuthorization(*second));
    EXPECT_EQ(Credentials(*second)->GetNonceCount(), L"00000002");
    // The same nonce again keeps counting; a new one starts over.
    ASSERT_TRUE(session.RespondToChallenge(*second, *Challenge(DigestChallenge)));
    EXPECT_EQ(Credentials(*second)->GetNonceCount(), L"00000003");
    auto third = NewRequest("http://127.0.0.1/other");
    ASSERT_TRUE(session.RespondToChallenge(*third, *Challenge("Digest realm=\"r\", nonce=\"fresh\"")));
    EXPECT_EQ(Credentials(*third)->GetNonceCount(), L"00000001");
    EXPECT_EQ(Credentials(*third)->GetNonce(), L"fresh");
}

TEST(HttpSession, DigestAnswerFollowsRfc2617WithPasswordOrItsHash)
{
    StringW ha1 = ComputeDigestHa1(L"testrealm@host.com", User, Password);
    for (bool withHash : {false, true}) {
        CHttpSession session;
        if (withHash)
            session.SetDigestCredentialsHash(User, ha1);
        else
            session.SetDigestCredentials(User, Password);
        auto request = NewRequest("http://127.0.0.1/dir/index.html?a=1");
        request->SetMethod(HttpMethodPost);
        ASSERT_TRUE(session.RespondToChallenge(*request, *Challenge(DigestChallenge)));
        auto items = DigestItems(Credentials(*request)->FormatValue(CP_UTF8, false));
        EXPECT_EQ(items["username"], "Mufasa");
        EXPECT_EQ(items["uri"], "/dir/index.html?a=1");
        EXPECT_EQ(items["opaque"], "5ccc069c403ebaf9f0171e9517f40e41");
        EXPECT_EQ(items["nc"], "00000001");
        std::string expected =
            Md5Hex(ha1.ToAnsi() + ":dcd98b7102dd2f0e8b11d0f600bfb0c093:00000001:" + items["cnonce"] + ":auth:" +
                   Md5Hex("POST:/dir/index.html?a=1"));
        EXPECT_EQ(items["response"], expected) << (withHash ? "hash" : "password");
    }
}

TEST(HttpSession, DigestAnswerGoesOnlyToTheServerThatChallenged)
{
    const struct {
        const char* uri;
        bool answered;
    } cases[] = {
        {"https://127.0.0.1:8443/other?x=1", true}, {"https://127.0.0.1:8443", true},
        {"http://127.0.0.1:8443/dir/index.html", false}, {"https://localhost:8443/dir/index.html", false},
        {"https://127.0.0.1:8444/dir/index.html", false}, {"https://127.0.0.1/dir/index.html", false},
    };
    for (const auto& c : cases) {
        CHttpSession session;
        session.SetDigestCredentials(User, Password);
        ASSERT_TRUE(session.RespondToChallenge(*NewRequest("https://127.0.0.1:8443/dir/index.html"),
                                               *Challenge(DigestChallenge)));
        auto request = NewRequest(c.uri);
        EXPECT_EQ(session.AddAuthorization(*request), c.answered) << c.uri;
        EXPECT_EQ(request->FindHeader("Authorization") != nullptr, c.answered) << c.uri;
        // Once it challenges itself, the other server gets its own answer.
        EXPECT_TRUE(session.RespondToChallenge(*request, *Challenge(DigestChallenge))) << c.uri;
    }
}

TEST(HttpSession, SameCredentialsKeepTheChallengeStateOthersClearIt)
{
    CHttpSession session;
    session.SetDigestCredentials(User, Password);
    auto request = NewRequest("http://127.0.0.1/");
    ASSERT_TRUE(session.RespondToChallenge(*request, *Challenge(DigestChallenge)));

    session.SetDigestCredentials(User, Password);
    auto again = NewRequest("http://127.0.0.1/");
    ASSERT_TRUE(session.AddAuthorization(*again));
    EXPECT_EQ(Credentials(*again)->GetNonceCount(), L"00000002");
    EXPECT_EQ(Credentials(*again)->GetRealm(), L"testrealm@host.com");

    session.SetDigestCredentials(User, L"another password");
    EXPECT_TRUE(session.HasCredentials());
    EXPECT_FALSE(session.AddAuthorization(*NewRequest("http://127.0.0.1/")));

    session.SetDigestCredentials(L"", Password);
    EXPECT_FALSE(session.HasCredentials());
    session.SetDigestCredentialsHash(User, L"");
    EXPECT_FALSE(session.HasCredentials());
}

TEST(HttpSession, BasicCredentialsGoOnlyToHttps)
{
    CHttpSession session;
    session.SetBasicCredentials(L"Aladdin", L"open sesame");
    auto plain = NewRequest("http://127.0.0.1/");
    EXPECT_FALSE(session.AddAuthorization(*plain));
    EXPECT_FALSE(session.RespondToChallenge(*plain, *Challenge("Basic realm=\"r\"")));
    EXPECT_FALSE(plain->FindHeader("Authorization"));

    auto secure = NewRequest("https://127.0.0.1/");
    ASSERT_TRUE(session.AddAuthorization(*secure));
    EXPECT_EQ(Credentials(*secure)->FormatValue(CP_UTF8, false), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(HttpSession, DigestCredentialsNeverAnswerABasicChallenge)
{
    CHttpSession session;
    session.SetDigestCredentials(User, Password);
    auto request = NewRequest("https://127.0.0.1/");
    QzlTest::CLogCapture log;
    EXPECT_FALSE(session.RespondToChallenge(*request, *Challenge("Basic realm=\"testrealm@host.com\"")));
    EXPECT_FALSE(request->FindHeader("Authorization"));
    EXPECT_FALSE(session.AddAuthorization(*request));
    EXPECT_TRUE(log.Contains("Authentication challenge does not match the scheme of the credentials"));
    // The refused challenge changed nothing: Digest still works.
    ASSERT_TRUE(session.RespondToChallenge(*request, *Challenge(DigestChallenge)));
    EXPECT_EQ(Credentials(*request)->GetScheme(), AuthenticationSchemeDigest);
}

TEST(HttpSession, BasicCredentialsNeverAnswerADigestChallenge)
{
    CHttpSession session;
    session.SetBasicCredentials(User, Password);
    auto request = NewRequest("https://127.0.0.1/");
    EXPECT_FALSE(session.RespondToChallenge(*request, *Challenge(DigestChallenge)));
    EXPECT_FALSE(request->FindHeader("Authorization"));
    ASSERT_TRUE(session.AddAuthorization(*request));
    EXPECT_EQ(Credentials(*request)->GetScheme(), AuthenticationSchemeBasic);
}

TEST(HttpSession, ChallengeWithoutQopIsAnsweredWithoutQop)
{
    CHttpSession session;
    session.SetDigestCredentials(User, Password);
    auto request = NewRequest("http://127.0.0.1/dir/index.html");
    ASSERT_TRUE(session.RespondToChallenge(*request, *Challenge("Digest realm=\"r\", nonce=\"n\"")));
    auto items = DigestItems(Credentials(*request)->FormatValue(CP_UTF8, false));
    EXPECT_EQ(items.count("qop"), 0u);
    EXPECT_EQ(items.count("nc"), 0u);
    StringW ha1 = ComputeDigestHa1(L"r", User, Password);
    EXPECT_EQ(items["response"], Md5Hex(ha1.ToAnsi() + ":n:" + Md5Hex("GET:/dir/index.html")));
}

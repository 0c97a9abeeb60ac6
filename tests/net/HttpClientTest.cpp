#include "HttpClient.h"

#include "AsyncHttpRequestContext.h"
#include "ClientId.h"
#include "DateTimeSpan.h"
#include "HttpConnection.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "NameTables.h"
#include "Net.h"
#include "Os.h"
#include "SystemInfo.h"

#include "HttpTestSupport.h"
#include "SocketTestSupport.h"
#include "TestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::BodyOf;
using QzlTest::CTestServer;
using QzlTest::HeaderText;
using QzlTest::NewRequest;
using QzlTest::ServerUri;

namespace {

class HttpClientTest : public QzlTest::CSocketFixture {};

std::string WindowsText()
{
    return StringW::Format(L"%s (%s)", Os::FormatWindowsVersion(false, false).c_str(),
                           Os::GetNativeProcessorArchitecture().c_str())
        .ToUtf8();
}

} // namespace

TEST_F(HttpClientTest, IdentityHeadersGoOnEveryRequestThatLacksThem)
{
    CHttpClient client(L"Quenzal Client", L"1.2", L"Outlook", L"16.0", L"x64");
    auto request = NewRequest("http://127.0.0.1/");
    client.PrepareRequest(*request);
    std::string windows = StringW(Os::FormatWindowsVersion(false, false)).ToUtf8();
    std::string architecture = StringW(Os::GetNativeProcessorArchitecture()).ToUtf8();
    EXPECT_EQ(HeaderText(*request, "Connection"), "close");
    EXPECT_EQ(HeaderText(*request, "X-Quenzal-Client-Version"), "Quenzal Client/1.2");
    EXPECT_EQ(HeaderText(*request, "X-Quenzal-OS-Version"), WindowsText());
    EXPECT_EQ(HeaderText(*request, "X-Quenzal-Application-Version"), "Outlook/16.0 (x64)");
    EXPECT_EQ(HeaderText(*request, "User-Agent"),
              "Quenzal Client/1.2 (" + windows + "; " + architecture + ") Outlook/16.0 (x64)");
    EXPECT_EQ(HeaderText(*request, "X-Quenzal-Client-ID"), StringW(App::GetClientId()).ToUtf8());
    EXPECT_EQ(client.GetTimeout(), DateTimeSpan(0, 0, 5, 0, 0));
    EXPECT_EQ(client.CreateConnection(nullptr)->GetTimeout(), DateTimeSpan(0, 0, 5, 0, 0));

    // The request's own headers win.
    auto own = NewRequest("http://127.0.0.1/");
    own->SetHeaderValue("User-Agent", Value(std::wstring(L"Mine/1.0")));
    std::dynamic_pointer_cast<CConnectionHeader>(own->CreateHeader("Connection"))->SetId(ConnectionOptionKeepAlive);
    client.PrepareRequest(*own);
    EXPECT_EQ(HeaderText(*own, "User-Agent"), "Mine/1.0");
    EXPECT_EQ(HeaderText(*own, "Connection"), "keep-alive");
    EXPECT_EQ(HeaderText(*own, "X-Quenzal-Client-Version"), "Quenzal Client/1.2");
}

TEST_F(HttpClientTest, ApplicationNamedLikeTheClientIsLeftOut)
{
    CHttpClient client(L"Quenzal Client", L"1.2", L"QUENZAL CLIENT", L"3.4");
    auto request = NewRequest("http://127.0.0.1/");
    client.PrepareRequest(*request);
    EXPECT_FALSE(request->FindHeader("X-Quenzal-Application-Version"));
    EXPECT_EQ(HeaderText(*request, "User-Agent").find("QUENZAL"), std::string::npos);

    CHttpClient withoutVersion(L"Quenzal Client", L"1.2", L"Outlook", L"");
    auto other = NewRequest("http://127.0.0.1/");
    withoutVersion.PrepareRequest(*other);
    EXPECT_FALSE(other->FindHeader("X-Quenzal-Application-Version"));
}

TEST_F(HttpClientTest, RequestsOnTheCallingThreadAndOnThePoolShareTheSession)
{
    CTestServer server({"http"});
    CHttpClient client(L"Quenzal Client", L"1.2", L"Outlook", L"16.0");
    client.SetDigestCredentials(L"Mufasa", L"Circle Of Life");
    EXPECT_TRUE(client.HasCredentials());
    auto response = client.PerformRequest(NewRequest(ServerUri(server, "/digest")), nullptr, nullptr);
    EXPECT_EQ(BodyOf(*response), "digest ok nc=00000001");

    std::atomic<int> handled{0};
    auto context = client.SendRequest(NewRequest(ServerUri(server, "/digest")), nullptr, nullptr,
                                      [&handled] { ++handled; });
    ASSERT_TRUE(Os::WaitForObject(context->GetCompletionEvent(), DateTimeSpan(0, 0, 0, 30, 0)));
    EXPECT_EQ(BodyOf(*context->GetResponse()), "digest ok nc=00000002");
    EXPECT_EQ(handled.load(), 1);
    // The identity headers were stamped on the queued request too.
    EXPECT_EQ(HeaderText(*context->GetRequest(), "X-Quenzal-Client-Version"), "Quenzal Client/1.2");

    client.ClearCredentials();
    EXPECT_FALSE(client.HasCredentials());
    std::atomic<int> failures{0};
    client.SetAuthenticationFailureHandler([&failures](const std::shared_ptr<CHttpResponse>&) { ++failures; });
    EXPECT_EQ(client.PerformRequest(NewRequest(ServerUri(server, "/digest")), nullptr, nullptr)->GetStatus(), 401);
    EXPECT_EQ(failures.load(), 1);
}

TEST_F(HttpClientTest, ContextIsMadeUnqueuedAndQueuedOnlyOnce)
{
    CTestServer server({"http"});
    CHttpClient client(L"Quenzal Client", L"1.2", L"", L"");
    auto context = client.CreateAsyncRequest(NewRequest(ServerUri(server, "/echo")), nullptr, nullptr, nullptr);
    EXPECT_FALSE(context->IsStarted());
    EXPECT_FALSE(context->GetRequest()->FindHeader("Connection"));
    client.SubmitAsyncRequest(context);
    ASSERT_TRUE(Os::WaitForObject(context->GetCompletionEvent(), DateTimeSpan(0, 0, 0, 30, 0)));
    std::string echo = BodyOf(*context->GetResponse());
    EXPECT_NE(echo.find("Connection: close"), std::string::npos) << echo;
    EXPECT_NE(echo.find("User-Agent: Quenzal Client/1.2 ("), std::string::npos) << echo;
    EXPECT_THROW(client.SubmitAsyncRequest(context), CException);
}

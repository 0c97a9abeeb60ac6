#include "AsyncHttpRequestContext.h"

#include "DateTimeSpan.h"
#include "Http.h"
#include "HttpConnection.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "NameTables.h"
#include "Net.h"
#include "Os.h"
#include "SocketError.h"

#include "HttpTestSupport.h"
#include "SocketTestSupport.h"
#include "TestServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::CRecordingNotifier;
using QzlTest::CSignal;
using QzlTest::CTestServer;
using QzlTest::NewRequest;
using QzlTest::ServerRequests;
using QzlTest::ServerUri;

namespace {

const DateTimeSpan ThirtySeconds(0, 0, 0, 30, 0);

std::shared_ptr<CAsyncHttpRequestContext> NewContext(const std::string& uri,
                                                     const std::shared_ptr<IHttpRequestNotifier>& notifier = nullptr)
{
    return std::make_shared<CAsyncHttpRequestContext>(std::make_shared<CHttpSession>(),
                                                      std::make_shared<CHttpConnection>(notifier), NewRequest(uri),
                                                      nullptr);
}

bool WaitForCompletion(const CAsyncHttpRequestContext& context)
{
    return Os::WaitForObject(context.GetCompletionEvent(), ThirtySeconds);
}

// What GetResponse gives: "response <status>", or the failure's text.
std::string Outcome(const CAsyncHttpRequestContext& context)
{
    try {
        auto response = context.GetResponse();
        return response ? "response " + std::to_string(response->GetStatus()) : "no response";
    } catch (const CException& e) {
        return "failure " + StringW(e.GetDescription()).ToUtf8();
    }
}

class AsyncHttpRequestContextTest : public QzlTest::CSocketFixture {};

} // namespace

TEST_F(AsyncHttpRequestContextTest, SeveralRequestsRunAtOnce)
{
    CTestServer server({"http"});
    constexpr int Count = 8;
    std::atomic<int> sent{0};
    std::atomic<int> handled{0};
    CSignal allSent;
    std::vector<std::shared_ptr<CAsyncHttpRequestContext>> contexts;
    for (int i = 0; i < Count; ++i) {
        auto notifier = std::make_shared<CRecordingNotifier>();
        // Each request waits, once sent, until all are: only requests that
        // run side by side get past this.
        notifier->SetHook([&](const std::string& step) {
            if (step != "RequestSent")
                return;
            if (++sent == Count)
                allSent.Set();
            allSent.Wait();
        });
        auto context = NewContext(ServerUri(server, "/slow?delay=0.2"), notifier);
        context->AddCompletionHandler([&handled] { ++handled; });
        Os::QueueThreadPoolWork(context);
        contexts.push_back(context);
    }
    for (const auto& context : contexts) {
        ASSERT_TRUE(WaitForCompletion(*context));
        EXPECT_EQ(Outcome(*context), "response 200");
        EXPECT_TRUE(context->IsSuccessful());
    }
    EXPECT_EQ(sent.load(), Count);
    EXPECT_EQ(handled.load(), Count);
}

TEST_F(AsyncHttpRequestContextTest, CancelAtEveryStep)
{
    CTestServer server({"http"});
    // Its connects are never answered: a cancel before the socket exists must
    // not be lost.
    CTestServer stalled({"silent", "--stall"});
    struct Stage {
        const char* step;
        bool responseKept;
    };
    // The request is held at the step while another thread cancels it.
    const Stage stages[] = {
        {"Connecting", false},    {"SendingRequest", false},   {"RequestSent", false},
        {"ResponseHeaders", false}, {"DataReceived", false},    {"ResponseReceived", true},
        {"RequestCompleted", true},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.step);
        auto notifier = std::make_shared<CRecordingNotifier>();
        CSignal reached, resume;
        std::atomic<bool> held{false};
        bool inBody = std::string(stage.step) == "DataReceived";
        std::atomic<bool> headersSeen{false};
        notifier->SetHook([&](const std::string& step) {
            if (step == "ResponseHeaders")
                headersSeen = true;
            if (step != stage.step || (inBody && !headersSeen) || held.exchange(true))
                return;
            reached.Set();
            resume.Wait();
        });
        auto context = NewContext(stage.step == std::string("Connecting") ? ServerUri(stalled, "/")
                                                                          : ServerUri(server, "/download?size=2000000"),
                                  notifier);
        Os::QueueThreadPoolWork(context);
        ASSERT_TRUE(reached.Wait());
        context->Cancel();
        resume.Set();
        ASSERT_TRUE(WaitForCompletion(*context));
        EXPECT_EQ(context->GetStatusCode(), 0xFFFFFFFFu);
        EXPECT_EQ(context->GetStatusText(), L"");
        EXPECT_EQ(context->GetContentType(), 0xFFFFFFFFu);
        EXPECT_FALSE(context->IsSuccessful());
        std::string outcome = Outcome(*context);
        if (stage.responseKept)
            EXPECT_EQ(outcome, "response 200");
        else
            EXPECT_EQ(outcome.rfind("failure ", 0), 0u) << outcome;
    }
}

TEST_F(AsyncHttpRequestContextTest, CancelBeforeOrAfterTheRun)
{
    CTestServer server({"http"});
    auto early = NewContext(ServerUri(server, "/"));
    early->Cancel();
    Os::QueueThreadPoolWork(early);
    ASSERT_TRUE(WaitForCompletion(*early));
    EXPECT_EQ(Outcome(*early), "failure HTTP request was canceled");
    EXPECT_TRUE(ServerRequests(server, "/").empty());

    auto late = NewContext(ServerUri(server, "/"));
    Os::QueueThreadPoolWork(late);
    ASSERT_TRUE(WaitForCompletion(*late));
    EXPECT_EQ(late->GetStatusCode(), 200u);
    QzlTest::CLogCapture log;
    late->Cancel();
    EXPECT_TRUE(log.Contains("Canceling asynchronous HTTP request: " + ServerUri(server, "/")));
    EXPECT_EQ(late->GetStatusCode(), 0xFFFFFFFFu);
    EXPECT_EQ(Outcome(*late), "response 200");
}

TEST_F(AsyncHttpRequestContextTest, ErrorAnswerIsAResponseAndNetworkFailureAnError)
{
    CTestServer server({"http"});
    auto missing = NewContext(ServerUri(server, "/no/such/page"));
    EXPECT_EQ(missing->GetName(), "HTTP request: http://" + server.Address());
    // The name becomes the pool thread's name: neither user information nor
    // query values belong there.
    auto secret = NewContext("https://user:p@ss@appliance:8443/api?key=s3cret");
    EXPECT_EQ(secret->GetName(), "HTTP request: https://appliance:8443");
    CAsyncHttpRequestContext empty(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(empty.GetName(), "HTTP request: ");
    Os::QueueThreadPoolWork(missing);
    ASSERT_TRUE(WaitForCompletion(*missing));
    EXPECT_EQ(Outcome(*missing), "response 404");
    EXPECT_EQ(missing->GetStatusCode(), 404u);
    EXPECT_EQ(missing->GetStatusText(), L"404 Not Found");
    EXPECT_EQ(missing->GetContentType(), static_cast<uint32_t>(ContentTypeTextPlain));
    EXPECT_FALSE(missing->IsSuccessful());
    EXPECT_FALSE(CAsyncHttpRequestContext::IsSocketError(missing->GetException()));

    // A port nobody listens on: the one a closed listener had.
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    int length = sizeof(address);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(listener);
    auto refused = NewContext("http://127.0.0.1:" + std::to_string(::ntohs(address.sin_port)) + "/");
    Os::QueueThreadPoolWork(refused);
    ASSERT_TRUE(WaitForCompletion(*refused));
    EXPECT_TRUE(CAsyncHttpRequestContext::IsSocketError(refused->GetException()));
    EXPECT_EQ(refused->GetStatusCode(), 0xFFFFFFFFu);

    auto malformed = NewContext(ServerUri(server, "/status?code=401"));
    Os::QueueThreadPoolWork(malformed);
    ASSERT_TRUE(WaitForCompletion(*malformed));
    EXPECT_TRUE(malformed->HasException());
    EXPECT_FALSE(CAsyncHttpRequestContext::IsSocketError(malformed->GetException()));
    EXPECT_FALSE(CAsyncHttpRequestContext::IsSocketError(nullptr));
}

// Termination refuses requests for good, so it runs in a process of its own.
QZL_CHILD_CASE(TerminationAwaitsEveryLiveRequest)
{
    InitializeSockets();
    CTestServer server({"http"});
    // More requests than one wait can take, all blocked on a slow answer.
    constexpr int Blocked = 70;
    std::atomic<int> sent{0};
    CSignal allSent;
    auto notifier = std::make_shared<CRecordingNotifier>();
    notifier->SetHook([&](const std::string& step) {
        if (step == "RequestSent" && ++sent == Blocked)
            allSent.Set();
    });
    std::vector<std::shared_ptr<CAsyncHttpRequestContext>> contexts;
    for (int i = 0; i < Blocked; ++i) {
        contexts.push_back(NewContext(ServerUri(server, "/slow?delay=120"), notifier));
        Os::QueueThreadPoolWork(contexts.back());
    }
    // And one whose completion handler is still at work when termination begins.
    CSignal inHandler;
    std::atomic<bool> handlerDone{false};
    auto quick = NewContext(ServerUri(server, "/"));
    quick->AddCompletionHandler([&] {
        inHandler.Set();
        // Held until the termination below has begun and counted this request.
        for (int i = 0; i < 3000 && !quick->IsCanceled(); ++i)
            ::Sleep(10);
        // A handler may end every request too; its own is not waited for.
        CAsyncHttpRequestContext::TerminateAsynchronousHttpRequests();
        handlerDone = true;
    });
    Os::QueueThreadPoolWork(quick);
    if (!allSent.Wait(60000) || !inHandler.Wait(60000))
        return 1;

    CAsyncHttpRequestContext::TerminateAsynchronousHttpRequests();
    if (!handlerDone)
        return 2;
    for (const auto& context : contexts) {
        if (!context->IsComplete())
            return 3;
        if (Outcome(*context).rfind("failure ", 0) != 0)
            return 4;
    }

    auto refused = NewContext(ServerUri(server, "/echo"));
    try {
        Os::QueueThreadPoolWork(refused);
        return 5;
    } catch (const CException& e) {
        if (e.GetDescription() != L"CAsyncHttpRequestContext thread pool has been terminated")
            return 6;
    }
    ::Sleep(200);
    if (!ServerRequests(server, "/echo").empty() || refused->IsStarted())
        return 7;
    // Nothing is live any more: this one returns at once.
    CAsyncHttpRequestContext::TerminateAsynchronousHttpRequests();
    std::fflush(stdout);
    return 0;
}

TEST_F(AsyncHttpRequestContextTest, TerminationAwaitsEveryLiveRequest)
{
    QzlTest::ChildResult result = QzlTest::RunChildCase("TerminationAwaitsEveryLiveRequest", 180000);
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    EXPECT_EQ(QzlTest::CountOf(result.output, "Terminating asynchronous HTTP requests"), 3u);
    // The request still in its handler was found and awaited as well.
    EXPECT_EQ(QzlTest::CountOf(result.output, "Canceling asynchronous HTTP request: "), 71u);
    EXPECT_EQ(QzlTest::CountOf(result.output, "AsyncHttpRequestContext.cpp, "
                                              "Quenzal::Net::CAsyncHttpRequestContext::OnExecutionStarting, line "),
              1u);
}

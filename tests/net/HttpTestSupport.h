#pragma once
// Helpers for the HTTP client's tests: requests to a loopback server, a
// notifier that records the exchange (and can stop it at any step), a sink
// that keeps what it is given, and what the server saw.

#include "Http.h"
#include "HttpConnection.h"
#include "HttpRequest.h"
#include "HttpResponse.h"

#include "TestServer.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace QzlTest {

std::shared_ptr<Quenzal::Net::CHttpRequest> NewRequest(const std::string& uri);
// "http://127.0.0.1:<port><path>", or https with tls.
std::string ServerUri(const CTestServer& server, const std::string& path, bool tls = false);
std::string BodyOf(const Quenzal::Net::CHttpResponse& response);
// The text of the first header of the name; empty when there is none.
std::string HeaderText(const Quenzal::Net::IMimeHeaderContainer& container, const char* name);

// The requests the server saw for the path, one line each:
// "<method> <target>|<Authorization or ->|<Host>" (asked over a plain socket,
// so the client under test is not involved).
std::vector<std::string> ServerRequests(const CTestServer& server, const std::string& path, bool tls = false);

// Records the steps of the exchanges it sees; the hook runs at each step on
// the thread of the exchange.
class CRecordingNotifier : public Quenzal::Net::IHttpRequestNotifier {
public:
    using Hook = std::function<void(const std::string& step)>;

    void OnConnecting(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request,
                      Quenzal::Net::CHttpConnection& connection) override;
    void OnSendingRequest(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request) override;
    void OnDataSent(const void* data, uint64_t length) override;
    void OnRequestSent(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request) override;
    void OnResponseHeaders(const std::shared_ptr<Quenzal::Net::CHttpResponse>& response) override;
    void OnDataReceived(const void* data, uint64_t length) override;
    void OnResponseReceived(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request,
                            Quenzal::Net::CHttpConnection& connection) override;
    void OnRequestCompleted(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request,
                            const std::shared_ptr<Quenzal::Net::CHttpResponse>& response) override;

    void SetHook(Hook hook) { m_hook = std::move(hook); }
    // The steps in order, a run of the same step counted once.
    std::vector<std::string> Steps() const;
    uint64_t BytesSent() const;

private:
    void Record(const std::string& step);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_steps;
    uint64_t m_bytesSent = 0;
    Hook m_hook;
};

// Keeps what it is given, in order.
class CRecordingSink : public Quenzal::Net::IHttpResponseSink {
public:
    explicit CRecordingSink(uint32_t contentType = AnyContentType) : m_contentType(contentType) {}

    uint32_t GetContentType() override { return m_contentType; }
    void BeginBody() override { m_calls += "B"; }
    void WriteBody(const void* data, size_t length) override
    {
        m_calls += "W";
        m_body.append(static_cast<const char*>(data), length);
    }
    void EndBody() override { m_calls += "E"; }

    const std::string& Body() const { return m_body; }
    // "B", "W" per piece and "E", in the order they came.
    const std::string& Calls() const { return m_calls; }

private:
    uint32_t m_contentType;
    std::string m_body;
    std::string m_calls;
};

// A manual-reset event for handing a step from one thread to another.
class CSignal {
public:
    CSignal();
    ~CSignal();
    CSignal(const CSignal&) = delete;
    CSignal& operator=(const CSignal&) = delete;
    void Set();
    // False when it did not come within the time.
    bool Wait(DWORD milliseconds = 30000);

private:
    HANDLE m_event;
};

} // namespace QzlTest

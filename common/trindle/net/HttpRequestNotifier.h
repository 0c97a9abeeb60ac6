#pragma once
// Callbacks on the progress of one HTTP exchange, told by the connection and
// the exchange on the thread that performs it. Every operation does nothing
// here; a derived class overrides what it wants to hear of (an upload's
// progress, for instance).

#include <cstdint>
#include <memory>

namespace Quenzal::Net {

class CHttpConnection;
class CHttpRequest;
class CHttpResponse;

class IHttpRequestNotifier {
public:
    virtual ~IHttpRequestNotifier() = default;

    // Before the connection's socket is connected.
    virtual void OnConnecting(const std::shared_ptr<CHttpRequest>& /*request*/, CHttpConnection& /*connection*/) {}
    // Before the request is written.
    virtual void OnSendingRequest(const std::shared_ptr<CHttpRequest>& /*request*/) {}
    // After each piece written to the socket.
    virtual void OnDataSent(const void* /*data*/, uint64_t /*length*/) {}
    // After the whole request is written.
    virtual void OnRequestSent(const std::shared_ptr<CHttpRequest>& /*request*/) {}
    // After each read while the response's head is read.
    virtual void OnResponseHeaders(const std::shared_ptr<CHttpResponse>& /*response*/) {}
    // After each receive from the socket.
    virtual void OnDataReceived(const void* /*data*/, uint64_t /*length*/) {}
    // Once the whole response is read.
    virtual void OnResponseReceived(const std::shared_ptr<CHttpRequest>& /*request*/,
                                    CHttpConnection& /*connection*/)
    {
    }
    // After the connection is closed.
    virtual void OnRequestCompleted(const std::shared_ptr<CHttpRequest>& /*request*/,
                                    const std::shared_ptr<CHttpResponse>& /*response*/)
    {
    }
};

} // namespace Quenzal::Net

#include "Http.h"

#include "ErrorReport.h"
#include "HttpConnection.h"
#include "HttpExchange.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "Logging.h"
#include "MemoryStream.h"
#include "NameTables.h"
#include "Util.h"

#include <cstring>

namespace Quenzal::Net {

namespace {

// Gathers the many small writes of a request's wire form (each header line,
// each piece a file body is read in) into large writes to the connection:
// every write there is a socket call with a wait in front of it.
class CGatheringStream : public IOutStream {
public:
    explicit CGatheringStream(CHttpConnection& target) : m_target(target) {}

    bool IsOpen() const override { return m_target.IsOpen(); }

    void Flush()
    {
        if (m_buffer.empty())
            return;
        m_target.Write(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }

protected:
    void DoWrite(const void* data, uint64_t length) override
    {
        if (m_buffer.size() + length > Capacity)
            Flush();
        if (length >= Capacity) {
            m_target.Write(data, length);
            return;
        }
        if (m_buffer.capacity() < Capacity)
            m_buffer.reserve(Capacity);
        m_buffer.append(static_cast<const char*>(data), static_cast<size_t>(length));
    }

private:
    // As much as one socket send takes.
    static constexpr size_t Capacity = 1024 * 1024;

    CHttpConnection& m_target;
    std::string m_buffer;
};

void LogResponse(const CHttpResponse& response)
{
    int32_t status = response.GetStatus();
    Logging::Severity severity = Logging::Error;
    if (status >= 200 && status < 300)
        severity = Logging::Debug;
    else if ((status >= 300 && status < 400) || status == 401)
        severity = Logging::Warning;
    Logging::LogA(severity, ("Received response: " + response.FormatStatusLine()).c_str());
}

// The bytes the request will put on the wire, worked out without formatting
// its body; empty when the body's length is not known beforehand.
StringW FormatRequestSize(CHttpRequest& request)
{
    uint64_t bodyLength = request.GetBodyLength(CP_UTF8);
    if (request.IsChunked() || bodyLength == UnknownLength)
        return L"unknown size";
    CNullStream head;
    request.FormatHead(head, CP_UTF8);
    uint64_t total = head.GetBytesWritten() + 2 + bodyLength;
    if (!request.FindHeader("Content-Length") && bodyLength != 0)
        total += std::strlen("Content-Length: \r\n") + std::to_string(bodyLength).size();
    return FormatByteSize(total);
}

} // namespace

std::shared_ptr<CHttpResponse> PerformExchange(const CExchangeContext& exchange)
{
    const auto& connection = exchange.connection;
    const auto& request = exchange.request;
    auto notifier = connection->GetNotifier();
    if (notifier)
        notifier->OnConnecting(request, *connection);
    connection->Connect(request->GetUri());
    if (exchange.canceled && exchange.canceled->load()) {
        connection->Close();
        QZL_THROW(L"Quenzal::Net::MakeHttpRequest", CException(L"HTTP request was canceled"));
    }
    std::shared_ptr<CHttpResponse> response;
    try {
        if (notifier)
            notifier->OnSendingRequest(request);
        CGatheringStream gathering(*connection);
        request->Format(gathering, CP_UTF8);
        gathering.Flush();
        // A body that keeps moving may take its time; an answer that trickles may not.
        connection->LimitRemainingTime(request->GetAnswerTimeLimit());
        if (notifier)
            notifier->OnRequestSent(request);
        response = ReadHttpResponse(request, exchange.sink, notifier, *connection);
    } catch (...) {
        // This thread owns the socket and its TLS session: it closes them
        // itself, never leaving them to whichever thread drops the connection.
        connection->Close();
        throw;
    }
    if (notifier)
        notifier->OnResponseReceived(request, *connection);
    connection->Close();
    if (notifier)
        notifier->OnRequestCompleted(request, response);
    LogResponse(*response);
    return response;
}

std::shared_ptr<CHttpResponse> MakeHttpRequest(const std::shared_ptr<CHttpSession>& session,
                                               const std::shared_ptr<CHttpConnection>& connection,
                                               const std::shared_ptr<CHttpRequest>& request,
                                               const std::shared_ptr<IHttpResponseSink>& sink,
                                               const std::atomic<bool>* canceled,
                                               const RedirectionGate& redirecting)
{
    // The size costs a second formatting of the head and a look at the body's
    // length: only debug logging (the trace switch) asks for it.
    if (Logging::IsTraceEnabled())
        Logging::LogFormatA(Logging::Debug, "Performing request: %s (%s)", request->GetUri().ToString().c_str(),
                            FormatRequestSize(*request).ToUtf8().c_str());
    else
        Logging::LogA(Logging::Debug, ("Performing request: " + request->GetUri().ToString()).c_str());
    if (session)
        session->AddAuthorization(*request);
    if (sink && sink->GetContentType() != IHttpResponseSink::AnyContentType) {
        auto accept = request->FindHeaderAs<CAcceptContentTypeHeader>("Accept");
        if (!accept)
            accept = std::dynamic_pointer_cast<CAcceptContentTypeHeader>(request->CreateHeader("Accept"));
        if (accept)
            accept->SetQuality(GetContentTypeName(static_cast<int32_t>(sink->GetContentType())), 1.0);
    }

    const CExchangeContext exchange{connection, request, sink, canceled, &redirecting};
    auto response = PerformExchange(exchange);
    int32_t status = response->GetStatus();
    if (status >= 301 && status <= 303)
        return FollowRedirection(session.get(), exchange, response);
    if (status == 401)
        return Authenticate(session.get(), exchange, response);
    return response;
}

} // namespace Quenzal::Net

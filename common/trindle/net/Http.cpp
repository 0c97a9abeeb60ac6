#include "Http.h"

#include "Buffer.h"
#include "ErrorReport.h"
#include "HttpConnection.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "Logging.h"
#include "MemoryStream.h"
#include "MimeContent.h"
#include "NameTables.h"
#include "SocketError.h"
#include "Util.h"

#include <cstring>

namespace Quenzal::Net {

namespace {

constexpr char HeaderBlockEnd[] = "\r\n\r\n";
// Longer lines are no chunk-size lines; waiting for their end would let a
// server fill memory.
constexpr size_t MaximumChunkLineLength = 4096;

template <class T>
std::shared_ptr<T> FindHeaderAs(IMimeHeaderContainer& container, const char* name)
{
    for (auto header = container.FindHeader(name); header; header = container.FindHeader(name, header.get())) {
        if (auto typed = std::dynamic_pointer_cast<T>(header))
            return typed;
    }
    return nullptr;
}

// The value of a free-text header as it was sent.
std::string GetHeaderText(IMimeHeaderContainer& container, const char* name, bool& present)
{
    auto header = container.FindHeader(name);
    present = header != nullptr;
    if (!present)
        return std::string();
    if (auto text = std::dynamic_pointer_cast<CUnstructuredMimeHeader>(header))
        return text->GetText().ToAnsi();
    return header->FormatValue(CP_ACP, false);
}

[[noreturn]] void ThrowBodyTooLarge(const wchar_t* function)
{
    QZL_THROW(function, CException(StringW::Format(L"HTTP response body exceeds the limit of %s",
                                                   FormatByteSize(MaximumResponseBodyLength).c_str())));
}

// The length of a chunk from its size line; extensions after the digits are
// ignored. A line without hexadecimal digits, or a size that no body could
// have, is refused.
uint64_t ParseHttpResponseChunkHeader(const std::string& line)
{
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    uint64_t size = 0;
    size_t digits = 0;
    for (; i < line.size(); ++i, ++digits) {
        char ch = line[i];
        unsigned value;
        if (ch >= '0' && ch <= '9')
            value = static_cast<unsigned>(ch - '0');
        else if (ch >= 'a' && ch <= 'f')
            value = static_cast<unsigned>(ch - 'a' + 10);
        else if (ch >= 'A' && ch <= 'F')
            value = static_cast<unsigned>(ch - 'A' + 10);
        else
            break;
        if (size > (MaximumResponseBodyLength >> 4))
            ThrowBodyTooLarge(L"Quenzal::Net::ParseHttpResponseChunkHeader");
        size = (size << 4) | value;
    }
    if (digits == 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to understand HTTP chunk length: " + StringW::FromAnsi(line, CP_ACP)));
    if (size > MaximumResponseBodyLength)
        ThrowBodyTooLarge(L"Quenzal::Net::ParseHttpResponseChunkHeader");
    return size;
}

// Reads one response from a connection: the head (interim 1xx answers are
// skipped), then the body by its framing, into memory or into the sink.
class CResponseReader {
public:
    CResponseReader(const std::shared_ptr<CHttpRequest>& request, const std::shared_ptr<IHttpResponseSink>& sink,
                    const std::shared_ptr<IHttpRequestNotifier>& notifier, CHttpConnection& connection)
        : m_request(request), m_sink(sink), m_notifier(notifier), m_connection(connection)
    {
    }

    std::shared_ptr<CHttpResponse> Read()
    {
        m_response = std::make_shared<CHttpResponse>(m_request, std::string());
        ReadHead();
        RouteBody();
        ReadBody();
        FinishBody();
        return m_response;
    }

private:
    // One receive appended to data; false when the peer has ended the
    // connection: a plain socket raises a reset (code 0) then, a TLS socket
    // returns nothing after the peer's close notification.
    bool Receive(std::string& data)
    {
        try {
            const std::string& received = m_connection.Read();
            if (received.empty())
                return false;
            data.append(received);
            return true;
        } catch (const CSocketError& e) {
            if (e.GetErrorCode() != 0)
                throw;
            return false;
        }
    }

    // A receive where the response is not complete yet: an end is a failure.
    void ReceiveOrThrow(std::string& data)
    {
        const std::string& received = m_connection.Read();
        if (received.empty())
            QZL_THROW(L"Quenzal::Net::MakeHttpRequest", CSocketError(0, nullptr));
        data.append(received);
    }

    void ReadHead()
    {
        for (;;) {
            ReceiveOrThrow(m_head);
            bool complete = ParseHead();
            if (m_notifier)
                m_notifier->OnResponseHeaders(m_response);
            if (complete)
                return;
            if (m_head.size() > MaximumResponseHeaderLength)
                QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                          CException(StringW::Format(L"HTTP response headers exceed the limit of %s",
                                                     FormatByteSize(MaximumResponseHeaderLength).c_str())));
        }
    }

    // True once the head of a final response is parsed; what follows it is
    // left in m_pending.
    bool ParseHead()
    {
        for (;;) {
            size_t end = m_head.find(HeaderBlockEnd);
            if (end == std::string::npos)
                return false;
            size_t lineEnd = m_head.find('\n');
            StringW statusLine = StringW::FromAnsi(m_head.substr(0, lineEnd), CP_ACP).Trimmed();
            m_response->ParseStatusLine(statusLine.ToAnsi());
            size_t blockStart = lineEnd + 1;
            size_t blockEnd = end + std::strlen(HeaderBlockEnd);
            ParseHeaderBlock(m_head.data() + blockStart, blockEnd - blockStart, *m_response, GetHttpHeaderFactory());
            int32_t status = m_response->GetStatus();
            if (status >= 100 && status < 200) {
                // An interim answer; the final one follows on the same connection.
                Logging::LogA(Logging::Debug, ("Skipping interim response: " + m_response->FormatStatusLine()).c_str());
                m_head.erase(0, blockEnd);
                continue;
            }
            m_pending = m_head.substr(blockEnd);
            m_head.clear();
            return true;
        }
    }

    void RouteBody()
    {
        if (!m_sink)
            return;
        uint32_t wanted = m_sink->GetContentType();
        m_toSink = m_response->GetStatus() == 200 &&
                   (wanted == IHttpResponseSink::AnyContentType ||
                    wanted == static_cast<uint32_t>(m_response->GetContentTypeId()));
        if (!m_toSink)
            Logging::Log(Logging::Trace, L"Unable to stream HTTP response body");
    }

    bool HasBody() const
    {
        int32_t status = m_response->GetStatus();
        return m_request->GetMethod() != HttpMethodHead && status != 204 && status != 304;
    }

    void ReadBody()
    {
        if (!HasBody())
            return;
        auto transferEncoding = FindHeaderAs<CTransferEncodingHeader>(*m_response, "Transfer-Encoding");
        if (transferEncoding && transferEncoding->GetId() == TransferCodingChunked) {
            ReadChunkedBody();
            return;
        }
        bool present = false;
        std::string lengthText = GetHeaderText(*m_response, "Content-Length", present);
        if (!present) {
            // Without a length the body ends where the server closes the
            // connection; the request asked it to.
            ReadBodyUntilClose();
            return;
        }
        uint64_t length = 0;
        if (!ParseLength(lengthText, length))
            QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                      CException(L"HTTP response has an invalid Content-Length: " +
                                 StringW::FromAnsi(lengthText, CP_ACP)));
        ReadCountedBody(length);
    }

    static bool ParseLength(const std::string& text, uint64_t& length)
    {
        StringW trimmed = StringW::FromAnsi(text, CP_ACP).Trimmed();
        if (trimmed.empty() || trimmed.size() > 19)
            return false;
        length = 0;
        for (wchar_t ch : trimmed) {
            if (ch < L'0' || ch > L'9')
                return false;
            length = length * 10 + static_cast<uint64_t>(ch - L'0');
        }
        return true;
    }

    void ReadCountedBody(uint64_t length)
    {
        if (!m_toSink && length > MaximumResponseBodyLength)
            ThrowBodyTooLarge(L"Quenzal::Net::MakeHttpRequest");
        uint64_t received = m_pending.size();
        PassUpTo(m_pending, length);
        m_pending.clear();
        std::string data;
        while (m_passed < length) {
            data.clear();
            ReceiveOrThrow(data);
            received += data.size();
            PassUpTo(data, length);
        }
        if (received > length)
            Logging::LogFormat(Logging::Warning,
                               L"HTTP body length (%llu) exceeded declared content length (%llu); discarding overflow",
                               static_cast<unsigned long long>(received), static_cast<unsigned long long>(length));
    }

    void PassUpTo(const std::string& data, uint64_t length)
    {
        uint64_t room = length - m_passed;
        Pass(data.data(), static_cast<size_t>(std::min<uint64_t>(room, data.size())));
    }

    void ReadBodyUntilClose()
    {
        Pass(m_pending.data(), m_pending.size());
        m_pending.clear();
        std::string data;
        for (;;) {
            data.clear();
            if (!Receive(data))
                return;
            Pass(data.data(), data.size());
        }
    }

    void ReadChunkedBody()
    {
        size_t start = 0;
        for (;;) {
            // The size line: CR and LF bytes before it are skipped.
            size_t lineEnd;
            for (;;) {
                while (start < m_pending.size() && (m_pending[start] == '\r' || m_pending[start] == '\n'))
                    ++start;
                lineEnd = m_pending.find('\n', start);
                if (lineEnd != std::string::npos)
                    break;
                if (m_pending.size() - start > MaximumChunkLineLength)
                    QZL_THROW(L"Quenzal::Net::ParseHttpResponseChunkHeader",
                              CException(L"Unable to understand HTTP chunk length: " +
                                         StringW::FromAnsi(m_pending.substr(start, 64), CP_ACP)));
                Compact(start);
                ReceiveOrThrow(m_pending);
            }
            uint64_t size = ParseHttpResponseChunkHeader(m_pending.substr(start, lineEnd + 1 - start));
            start = lineEnd + 1;
            if (size == 0)
                return;
            if (!m_toSink && m_passed + size > MaximumResponseBodyLength)
                ThrowBodyTooLarge(L"Quenzal::Net::MakeHttpRequest");
            // A chunk is passed on only when it has arrived whole.
            while (m_pending.size() - start < size) {
                Compact(start);
                ReceiveOrThrow(m_pending);
            }
            Pass(m_pending.data() + start, static_cast<size_t>(size));
            start += static_cast<size_t>(size);
        }
    }

    void Compact(size_t& start)
    {
        m_pending.erase(0, start);
        start = 0;
    }

    void Pass(const char* data, size_t length)
    {
        if (length == 0)
            return;
        if (m_toSink) {
            if (!m_bodyBegun) {
                m_bodyBegun = true;
                m_sink->BeginBody();
            }
            m_sink->WriteBody(data, length);
        } else {
            if (m_body.size() + length > MaximumResponseBodyLength)
                ThrowBodyTooLarge(L"Quenzal::Net::MakeHttpRequest");
            m_body.append(data, length);
        }
        m_passed += length;
    }

    void FinishBody()
    {
        if (!m_toSink && !m_body.empty()) {
            DecodeHttpResponseBody(*m_response, m_body);
            m_response->SetBody(std::make_shared<CBuffer>(std::move(m_body)));
        }
        if (m_toSink && m_bodyBegun)
            m_sink->EndBody();
    }

    std::shared_ptr<CHttpRequest> m_request;
    std::shared_ptr<IHttpResponseSink> m_sink;
    std::shared_ptr<IHttpRequestNotifier> m_notifier;
    CHttpConnection& m_connection;
    std::shared_ptr<CHttpResponse> m_response;
    bool m_toSink = false;
    bool m_bodyBegun = false;
    std::string m_head;
    // Bytes received after the head and not yet passed on.
    std::string m_pending;
    std::string m_body;
    uint64_t m_passed = 0;
};

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

// What every exchange of one call shares.
struct CExchangeContext {
    std::shared_ptr<CHttpConnection> connection;
    std::shared_ptr<CHttpRequest> request;
    std::shared_ptr<IHttpResponseSink> sink;
    const std::atomic<bool>* canceled;
};

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
    if (notifier)
        notifier->OnSendingRequest(request);
    CGatheringStream gathering(*connection);
    request->Format(gathering, CP_UTF8);
    gathering.Flush();
    if (notifier)
        notifier->OnRequestSent(request);
    CResponseReader reader(request, exchange.sink, notifier, *connection);
    auto response = reader.Read();
    if (notifier)
        notifier->OnResponseReceived(request, *connection);
    connection->Close();
    if (notifier)
        notifier->OnRequestCompleted(request, response);
    LogResponse(*response);
    return response;
}

// The first challenge the session can answer; null when it can answer none.
// Throws when the response carries no challenge at all.
std::shared_ptr<CAuthenticationChallengeHeader> RespondToChallenges(CHttpSession& session, CHttpRequest& request,
                                                                    CHttpResponse& response)
{
    std::shared_ptr<CAuthenticationChallengeHeader> first;
    for (auto header = response.FindHeader("WWW-Authenticate"); header;
         header = response.FindHeader("WWW-Authenticate", header.get())) {
        auto challenge = std::dynamic_pointer_cast<CAuthenticationChallengeHeader>(header);
        if (!challenge)
            continue;
        if (!first)
            first = challenge;
        if (session.RespondToChallenge(request, *challenge))
            return challenge;
    }
    if (!first)
        QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                  CException(L"Received malformed authentication challenge: " +
                             StringW::FromAnsi(response.FormatStatusLine(), CP_ACP)));
    Logging::Log(Logging::Error, L"Unable to respond to authentication challenge");
    return nullptr;
}

std::shared_ptr<CHttpResponse> FollowRedirection(CHttpSession* session, const CExchangeContext& exchange,
                                                 const std::shared_ptr<CHttpResponse>& response)
{
    const auto& request = exchange.request;
    if (session && !session->GetFollowRedirects())
        return response;
    int32_t status = response->GetStatus();
    int32_t method = request->GetMethod();
    if (method != HttpMethodGet && method != HttpMethodHead) {
        if (status != 303) {
            Logging::Log(Logging::Warning, L"Not following redirection on non-GET method");
            return response;
        }
        Logging::Log(Logging::Debug, L"Changing HTTP method to GET");
        request->SetMethod(HttpMethodGet);
        // The body belonged to the method that was turned away.
        request->SetEntity(std::make_shared<CMimeContent>());
        for (const char* name : {"Content-Length", "Content-Type", "Transfer-Encoding", "Content-Encoding"})
            request->RemoveHeaders(name);
    }

    bool present = false;
    std::string location = GetHeaderText(*response, "Location", present);
    CUri target;
    bool usable = false;
    if (location.empty()) {
        Logging::Log(Logging::Error, L"Location header is empty");
    } else if (location[0] == '/') {
        usable = target.Parse(request->GetUri().Format(false, false) + location);
        if (!usable)
            Logging::LogA(Logging::Error, ("Unable to parse relative URI in Location header: " + location).c_str());
    } else {
        usable = target.Parse(location);
        if (!usable)
            Logging::LogA(Logging::Error, ("Unable to parse absolute URI in Location header: " + location).c_str());
    }
    if (!usable) {
        Logging::LogA(Logging::Error,
                      ("Redirection response contains missing or invalid Location header: " + location).c_str());
        return response;
    }
    const CUri& current = request->GetUri();
    target.GetMaskedNames() = current.GetMaskedNames();
    Logging::LogA(Logging::Debug, ("Redirecting to: " + target.Format(false, false)).c_str());
    if (current.GetScheme() == UriSchemeHttps && target.GetScheme() != UriSchemeHttps) {
        Logging::LogA(Logging::Warning, ("Not following redirection to insecure URI: " + target.ToString()).c_str());
        return response;
    }
    if (target.IsSameServer(current)) {
        Logging::LogA(Logging::Warning, ("Not following circular redirection: " + target.ToString()).c_str());
        return response;
    }

    // Credentials were meant for the server that asked for them: another host
    // or port gets none, and the same host under https gets them afresh for
    // the new target.
    bool sameHost = _stricmp(target.GetHost().c_str(), current.GetHost().c_str()) == 0 &&
                    target.GetPort() == current.GetPort();
    request->RemoveHeaders("Authorization");
    request->SetUri(target);
    if (sameHost && session)
        session->AddAuthorization(*request);
    return PerformExchange(exchange);
}

std::shared_ptr<CHttpResponse> Authenticate(CHttpSession* session, const CExchangeContext& exchange,
                                            std::shared_ptr<CHttpResponse> response)
{
    const auto& request = exchange.request;
    if (!session) {
        Logging::Log(Logging::Error, L"No session object available to respond to authentication challenge");
        return response;
    }
    auto challenge = RespondToChallenges(*session, *request, *response);
    if (challenge && challenge->GetScheme() == AuthenticationSchemeBasic) {
        response = PerformExchange(exchange);
    } else if (challenge && challenge->GetScheme() == AuthenticationSchemeDigest) {
        StringW nonce = challenge->GetNonce();
        for (int attempts = 0;;) {
            response = PerformExchange(exchange);
            if (response->GetStatus() != 401 || nonce.empty())
                break;
            auto next = FindHeaderAs<CAuthenticationChallengeHeader>(*response, "WWW-Authenticate");
            if (!next)
                QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                          CException(L"Received malformed authentication challenge: " +
                                     StringW::FromAnsi(response->FormatStatusLine(), CP_ACP)));
            if (next->GetNonce() == nonce)
                break;
            Logging::Log(Logging::Warning, L"Received authentication challenge with new nonce; assuming previous "
                                           L"nonce was stale and retrying request");
            if (!session->RespondToChallenge(*request, *next)) {
                Logging::Log(Logging::Error, L"Unable to respond to authentication challenge");
                break;
            }
            nonce = next->GetNonce();
            if (++attempts == 3)
                break;
        }
    }
    if (response->GetStatus() == 401)
        session->OnAuthenticationFailure(response);
    return response;
}

} // namespace

std::shared_ptr<CHttpResponse> MakeHttpRequest(const std::shared_ptr<CHttpSession>& session,
                                               const std::shared_ptr<CHttpConnection>& connection,
                                               const std::shared_ptr<CHttpRequest>& request,
                                               const std::shared_ptr<IHttpResponseSink>& sink,
                                               const std::atomic<bool>* canceled)
{
    Logging::LogFormatA(Logging::Debug, "Performing request: %s (%s)", request->GetUri().ToString().c_str(),
                        FormatRequestSize(*request).ToUtf8().c_str());
    if (session)
        session->AddAuthorization(*request);
    if (sink && sink->GetContentType() != IHttpResponseSink::AnyContentType) {
        auto accept = FindHeaderAs<CAcceptContentTypeHeader>(*request, "Accept");
        if (!accept)
            accept = std::dynamic_pointer_cast<CAcceptContentTypeHeader>(request->CreateHeader("Accept"));
        if (accept)
            accept->SetQuality(GetContentTypeName(static_cast<int32_t>(sink->GetContentType())), 1.0);
    }

    const CExchangeContext exchange{connection, request, sink, canceled};
    auto response = PerformExchange(exchange);
    int32_t status = response->GetStatus();
    if (status >= 301 && status <= 303)
        return FollowRedirection(session.get(), exchange, response);
    if (status == 401)
        return Authenticate(session.get(), exchange, response);
    return response;
}

void DecodeHttpResponseBody(CHttpResponse& response, std::string& body)
{
    auto header = FindHeaderAs<CContentEncodingHeader>(response, "Content-Encoding");
    int32_t coding = header ? header->GetId() : ContentCodingIdentity;
    switch (coding) {
    case ContentCodingIdentity:
        return;
    case ContentCodingGzip:
        body = Decompress(body.data(), body.size(), CompressionGZip, MaximumResponseBodyLength);
        break;
    case ContentCodingDeflate:
        try {
            body = Decompress(body.data(), body.size(), CompressionDeflate, MaximumResponseBodyLength);
        } catch (const CException& e) {
            StringW text = L"Failed to decompress HTTP response as deflate; retrying as zlib: " + e.GetDescription();
            Logging::Log(Logging::Warning, text.c_str());
            body = Decompress(body.data(), body.size(), CompressionZLib, MaximumResponseBodyLength);
        }
        break;
    default:
        QZL_THROW(QZL_FUNCTION,
                  CException(L"HTTP response's content transfer encoding not understood"));
    }
    response.RemoveHeaders("Content-Encoding");
}

} // namespace Quenzal::Net

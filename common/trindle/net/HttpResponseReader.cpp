#include "HttpExchange.h"

#include "Buffer.h"
#include "ErrorReport.h"
#include "Http.h"
#include "HttpConnection.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Logging.h"
#include "NameTables.h"
#include "SocketError.h"
#include "Util.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Quenzal::Net {

namespace {

constexpr char HeaderBlockEnd[] = "\r\n\r\n";
// Longer lines are no chunk-size lines; waiting for their end would let a
// server fill memory.
constexpr size_t MaximumChunkLineLength = 4096;
// A server may answer with a few interim heads before the final one; one that
// sends them without end would hold the exchange, which reads on, forever.
constexpr unsigned MaximumInterimResponses = 16;

[[noreturn]] void ThrowBodyTooLarge(const wchar_t* function, uint64_t limit)
{
    QZL_THROW(function, CException(StringW::Format(L"HTTP response body exceeds the limit of %s",
                                                   FormatByteSize(limit).c_str())));
}

// The length of a chunk from its size line; extensions after the digits are
// ignored. A line without hexadecimal digits, or a size that no body could
// have, is refused.
uint64_t ParseHttpResponseChunkHeader(const std::string& line, uint64_t limit)
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
        if (size > (limit >> 4))
            ThrowBodyTooLarge(L"Quenzal::Net::ParseHttpResponseChunkHeader", limit);
        size = (size << 4) | value;
    }
    if (digits == 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to understand HTTP chunk length: " + StringW::FromAnsi(line, CP_ACP)));
    if (size > limit)
        ThrowBodyTooLarge(L"Quenzal::Net::ParseHttpResponseChunkHeader", limit);
    return size;
}

[[noreturn]] void ThrowHeadTooLarge(const wchar_t* what, size_t limit)
{
    QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
              CException(StringW::Format(what, FormatByteSize(limit).c_str())));
}

// Refuses a head whose status line or fields go past their bounds while it
// arrives, before its fields are parsed. It keeps its counts between calls, so
// a head that comes a byte at a time is still looked at once.
class CHeadBounds {
public:
    // The head's first length bytes; those seen by an earlier call are the
    // same bytes, and length shrinks only to where the head turns out to end.
    void Check(const char* data, size_t length)
    {
        m_searched = std::min(m_searched, length);
        for (;;) {
            const void* lineFeed = std::memchr(data + m_searched, '\n', length - m_searched);
            if (!lineFeed) {
                m_searched = length;
                CheckLine(data, length, false);
                return;
            }
            const size_t end = static_cast<size_t>(static_cast<const char*>(lineFeed) - data) + 1;
            m_searched = end;
            CheckLine(data, end, true);
            m_lineStart = end;
        }
    }

private:
    // The line from m_lineStart to end; one still arriving is checked as far
    // as it goes, and counted for good once it has ended.
    void CheckLine(const char* data, size_t end, bool ended)
    {
        const size_t start = m_lineStart;
        // A lone CR still arriving begins the head's empty line, not a field.
        if (start == end || (!ended && start > 0 && end - start == 1 && data[start] == '\r'))
            return;
        size_t fields = m_fields;
        size_t fieldStart = m_fieldStart;
        if (start == 0) {
            if (end > MaximumResponseStatusLineLength)
                ThrowHeadTooLarge(L"HTTP response has a status line longer than %s", MaximumResponseStatusLineLength);
        } else if (fields == 0 || (data[start] != ' ' && data[start] != '\t')) {
            if (++fields > MaximumResponseHeaderFields)
                QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                          CException(StringW::Format(L"HTTP response has more than %u header fields",
                                                     static_cast<unsigned>(MaximumResponseHeaderFields))));
            fieldStart = start;
        }
        if (fields > 0 && end - fieldStart > MaximumResponseHeaderFieldLength)
            ThrowHeadTooLarge(L"HTTP response has a header field longer than %s", MaximumResponseHeaderFieldLength);
        if (ended) {
            m_fields = fields;
            m_fieldStart = fieldStart;
        }
    }

    // Where the line not yet ended begins, and how far line ends were sought.
    size_t m_lineStart = 0;
    size_t m_searched = 0;
    size_t m_fields = 0;
    size_t m_fieldStart = 0;
};

// Undoes one coding (a ContentCoding id; -1 for one without a name there);
// inflating stops once the result would grow past the limit.
void Decode(std::string& body, int32_t coding, uint64_t limit)
{
    switch (coding) {
    case ContentCodingIdentity:
        return;
    case ContentCodingGzip:
        body = Decompress(body.data(), body.size(), CompressionGZip, limit);
        break;
    case ContentCodingDeflate:
        try {
            body = Decompress(body.data(), body.size(), CompressionDeflate, limit);
        } catch (const CException& e) {
            StringW text = L"Failed to decompress HTTP response as deflate; retrying as zlib: " + e.GetDescription();
            Logging::Log(Logging::Warning, text.c_str());
            body = Decompress(body.data(), body.size(), CompressionZLib, limit);
        }
        break;
    default:
        QZL_THROW(L"Quenzal::Net::DecodeHttpResponseBody",
                  CException(L"HTTP response's content transfer encoding not understood"));
    }
}

// Reads one response; see ReadHttpResponse.
class CResponseReader {
public:
    CResponseReader(const std::shared_ptr<CHttpRequest>& request, const std::shared_ptr<IHttpResponseSink>& sink,
                    const std::shared_ptr<IHttpRequestNotifier>& notifier, CHttpConnection& connection)
        : m_request(request), m_sink(sink), m_notifier(notifier), m_connection(connection),
          m_limit(request->GetAnswerSizeLimit())
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
        }
    }

    // True once the head of a final response is parsed; what follows it is
    // left in m_pending.
    bool ParseHead()
    {
        for (;;) {
            // Only what came since the last receive is searched, and the part
            // of the end that may have come then.
            size_t end = m_head.find(HeaderBlockEnd, m_headSearched);
            const size_t headLength = end == std::string::npos ? m_head.size() : end + std::strlen(HeaderBlockEnd);
            if (m_headBytes + headLength > MaximumResponseHeaderLength)
                ThrowHeadTooLarge(L"HTTP response headers exceed the limit of %s", MaximumResponseHeaderLength);
            // The bounds see the last field's line end, not the empty line.
            m_headBounds.Check(m_head.data(), end == std::string::npos ? m_head.size() : end + 2);
            if (end == std::string::npos) {
                m_headSearched = m_head.size() - std::min<size_t>(m_head.size(), std::strlen(HeaderBlockEnd) - 1);
                return false;
            }
            size_t lineEnd = m_head.find('\n');
            StringW statusLine = StringW::FromAnsi(m_head.substr(0, lineEnd), CP_ACP).Trimmed();
            m_response->ParseStatusLine(statusLine.ToAnsi());
            size_t blockStart = lineEnd + 1;
            size_t blockEnd = end + std::strlen(HeaderBlockEnd);
            ParseHeaderBlock(m_head.data() + blockStart, blockEnd - blockStart, *m_response, GetHttpHeaderFactory());
            int32_t status = m_response->GetStatus();
            if (status >= 100 && status < 200) {
                // An interim answer; the final one follows on the same connection.
                if (++m_interimResponses > MaximumInterimResponses)
                    QZL_THROW(L"Quenzal::Net::MakeHttpRequest",
                              CException(StringW::Format(L"HTTP response has more than %u interim answers",
                                                         MaximumInterimResponses)));
                Logging::LogA(Logging::Debug, ("Skipping interim response: " + m_response->FormatStatusLine()).c_str());
                m_headBytes += blockEnd;
                m_head.erase(0, blockEnd);
                m_headSearched = 0;
                m_headBounds = CHeadBounds();
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
        // Chunked framing comes last; the codings before it are undone once the
        // body is whole.
        std::vector<int32_t> codings;
        for (auto header = m_response->FindHeader("Transfer-Encoding"); header;
             header = m_response->FindHeader("Transfer-Encoding", header.get())) {
            if (auto transferEncoding = std::dynamic_pointer_cast<CTransferEncodingHeader>(header))
                codings.insert(codings.end(), transferEncoding->GetCodings().begin(),
                               transferEncoding->GetCodings().end());
        }
        const bool chunked = !codings.empty() && codings.back() == TransferCodingChunked;
        if (chunked)
            codings.pop_back();
        std::erase(codings, TransferCodingIdentity);
        m_transferCodings = codings;
        if (chunked) {
            ReadChunkedBody();
            return;
        }
        bool present = false;
        std::string lengthText = m_response->GetHeaderText("Content-Length", present);
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
        if (!m_toSink && length > m_limit)
            ThrowBodyTooLarge(L"Quenzal::Net::MakeHttpRequest", m_limit);
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
            // The size line: CR and LF bytes before it are skipped, but count
            // towards its length, or a server could send them without end.
            size_t lineEnd;
            size_t skipped = 0;
            // A line that comes a byte at a time is searched once.
            size_t searched = start;
            for (;;) {
                while (start < m_pending.size() && (m_pending[start] == '\r' || m_pending[start] == '\n')) {
                    ++start;
                    ++skipped;
                }
                lineEnd = m_pending.find('\n', std::max(searched, start));
                if (lineEnd != std::string::npos)
                    break;
                if (skipped + m_pending.size() - start > MaximumChunkLineLength)
                    QZL_THROW(L"Quenzal::Net::ParseHttpResponseChunkHeader",
                              CException(L"Unable to understand HTTP chunk length: " +
                                         StringW::FromAnsi(m_pending.substr(start, 64), CP_ACP)));
                searched = m_pending.size() - start;
                Compact(start);
                ReceiveOrThrow(m_pending);
            }
            uint64_t size = ParseHttpResponseChunkHeader(m_pending.substr(start, lineEnd + 1 - start),
                                                         m_toSink ? MaximumResponseBodyLength : m_limit);
            start = lineEnd + 1;
            if (size == 0)
                return;
            if (!m_toSink && m_passed + size > m_limit)
                ThrowBodyTooLarge(L"Quenzal::Net::MakeHttpRequest", m_limit);
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
        if (m_toSink && m_transferCodings.empty()) {
            if (!m_bodyBegun) {
                m_bodyBegun = true;
                m_sink->BeginBody();
            }
            m_sink->WriteBody(data, length);
        } else {
            if (m_body.size() + length > m_limit)
                ThrowBodyTooLarge(L"Quenzal::Net::MakeHttpRequest", m_limit);
            m_body.append(data, length);
        }
        m_passed += length;
    }

    void FinishBody()
    {
        // Codings were applied in the order listed and come off in reverse.
        for (auto coding = m_transferCodings.rbegin(); coding != m_transferCodings.rend(); ++coding)
            Decode(m_body, GetContentCodingTable().LookupValue(GetTransferCodingTable().LookupName(*coding)), m_limit);
        if (m_toSink && !m_transferCodings.empty() && !m_body.empty()) {
            m_transferCodings.clear();
            Pass(m_body.data(), m_body.size());
        }
        if (!m_toSink && !m_body.empty()) {
            DecodeHttpResponseBody(*m_response, m_body, m_limit);
            m_response->SetBody(std::make_shared<CBuffer>(std::move(m_body)));
        }
        if (m_toSink && m_bodyBegun)
            m_sink->EndBody();
    }

    std::shared_ptr<CHttpRequest> m_request;
    std::shared_ptr<IHttpResponseSink> m_sink;
    std::shared_ptr<IHttpRequestNotifier> m_notifier;
    CHttpConnection& m_connection;
    const uint64_t m_limit;
    std::shared_ptr<CHttpResponse> m_response;
    unsigned m_interimResponses = 0;
    // The bytes of the interim heads already passed.
    size_t m_headBytes = 0;
    bool m_toSink = false;
    bool m_bodyBegun = false;
    std::string m_head;
    // Where the search for the head's end goes on, and the head's bounds so far.
    size_t m_headSearched = 0;
    CHeadBounds m_headBounds;
    // Bytes received after the head and not yet passed on.
    std::string m_pending;
    std::string m_body;
    uint64_t m_passed = 0;
    // Transfer codings other than chunked; the body waits in memory for them.
    std::vector<int32_t> m_transferCodings;
};

} // namespace

std::shared_ptr<CHttpResponse> ReadHttpResponse(const std::shared_ptr<CHttpRequest>& request,
                                                const std::shared_ptr<IHttpResponseSink>& sink,
                                                const std::shared_ptr<IHttpRequestNotifier>& notifier,
                                                CHttpConnection& connection)
{
    return CResponseReader(request, sink, notifier, connection).Read();
}

void DecodeHttpResponseBody(CHttpResponse& response, std::string& body, uint64_t limit)
{
    auto header = response.FindHeaderAs<CContentEncodingHeader>("Content-Encoding");
    if (!header || header->GetId() == ContentCodingIdentity)
        return;
    Decode(body, header->GetId(), limit);
    response.RemoveHeaders("Content-Encoding");
}

} // namespace Quenzal::Net

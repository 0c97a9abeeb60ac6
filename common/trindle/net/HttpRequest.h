#pragma once
// An HTTP request: the target URI and the method, with the request line and
// the Host header that follow from them, and the bodies the add-in sends
// (form data, multipart uploads).

#include "Http.h"
#include "HttpMessage.h"
#include "Uri.h"

#include "DateTimeSpan.h"

#include <algorithm>
#include <string>

namespace Quenzal::Net {

class CHttpRequest : public CHttpMessage {
public:
    // A GET of the URI with an empty body.
    explicit CHttpRequest(const CUri& uri = CUri());
    ~CHttpRequest() override;

    // A whole request in text: the request line, then headers and body.
    void Parse(const std::string& text) override;
    // The request line, then the header lines.
    void FormatHead(IOutStream& stream, uint32_t codePage) const override;

    // Takes the URI and sets the Host header from it (an empty host leaves the
    // header alone).
    void SetUri(const CUri& uri);
    const CUri& GetUri() const { return m_uri; }
    int32_t GetMethod() const { return m_method; }
    void SetMethod(int32_t method) { m_method = method; }

    // An application/x-www-form-urlencoded body of the text, already encoded.
    void SetFormData(const std::string& text);
    // Cache-Control: no-cache, and a Pragma: no-cache unless one is there.
    void SetNoCache();

    // The request, its redirection and authentication rounds included, is
    // over within this span from when a client takes it on; zero (the
    // default) sets no limit, and only a wait without progress ends it.
    void SetTimeLimit(const DateTimeSpan& limit) { m_timeLimit = limit; }
    const DateTimeSpan& GetTimeLimit() const { return m_timeLimit; }
    // Each answer, once the request is on the wire, is read within this span
    // (and within the time limit); zero (the default) sets no limit of its own.
    void SetAnswerTimeLimit(const DateTimeSpan& limit) { m_answerTimeLimit = limit; }
    const DateTimeSpan& GetAnswerTimeLimit() const { return m_answerTimeLimit; }
    // The most bytes an answer's body kept in memory may have, as received
    // and once decoded; a body that grows past it ends the exchange. It is
    // never above MaximumResponseBodyLength, and a body streamed into a sink
    // is not bound by it.
    void SetAnswerSizeLimit(uint64_t limit) { m_answerSizeLimit = std::min(limit, MaximumResponseBodyLength); }
    uint64_t GetAnswerSizeLimit() const { return m_answerSizeLimit; }

    // "GET /path?query HTTP/1.1"
    std::string FormatRequestLine() const;
    // The target of the request line: the URI's path and query.
    std::string FormatRequestTarget() const;
    // Method, resource and version separated by single spaces.
    void ParseRequestLine(const std::string& line);

private:
    CUri m_uri;
    int32_t m_method = HttpMethodGet;
    DateTimeSpan m_timeLimit;
    DateTimeSpan m_answerTimeLimit;
    uint64_t m_answerSizeLimit = MaximumResponseBodyLength;
};

} // namespace Quenzal::Net

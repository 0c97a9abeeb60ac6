#pragma once
// An HTTP response: the request it answers, the status code and the reason
// phrase, with the status line.

#include "HttpMessage.h"
#include "HttpRequest.h"

#include <memory>
#include <string>

namespace Quenzal::Net {

class CHttpResponse : public CHttpMessage {
public:
    // Status -1 until a status line is read.
    explicit CHttpResponse(const std::shared_ptr<CHttpRequest>& request, const std::string& reason = std::string());
    ~CHttpResponse() override;

    // A whole response in text: the status line, then headers and body.
    void Parse(const std::string& text) override;
    // The status line, then the header lines.
    void FormatHead(IOutStream& stream, uint32_t codePage) const override;

    // "HTTP/1.1 404 Not Found"; the standard name of the status stands in for
    // an empty reason phrase.
    std::string FormatStatusLine() const;
    // Version, status code and reason phrase (the rest of the line).
    void ParseStatusLine(const std::string& line);

    const std::shared_ptr<CHttpRequest>& GetRequest() const { return m_request; }
    int32_t GetStatus() const { return m_status; }
    void SetStatus(int32_t status) { m_status = status; }
    const std::string& GetReason() const { return m_reason; }
    void SetReason(const std::string& reason) { m_reason = reason; }

private:
    std::shared_ptr<CHttpRequest> m_request;
    int32_t m_status = -1;
    std::string m_reason;
};

} // namespace Quenzal::Net

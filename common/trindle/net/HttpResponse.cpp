#include "HttpResponse.h"

#include "ErrorReport.h"

#include <cstdlib>

namespace Quenzal::Net {

namespace {

CException NotUnderstood(const wchar_t* what, const std::string& line)
{
    return CException(StringW(what) + StringW::FromAnsi(line, CP_ACP));
}

} // namespace

CHttpResponse::CHttpResponse(const std::shared_ptr<CHttpRequest>& request, const std::string& reason)
    : m_request(request), m_reason(reason)
{
}

CHttpResponse::~CHttpResponse() = default;

std::string CHttpResponse::FormatStatusLine() const
{
    const std::string reason = m_reason.empty() ? GetHttpStatusName(m_status).GetAnsi(CP_ACP) : m_reason;
    return FormatVersion() + " " + std::to_string(m_status) + " " + reason;
}

void CHttpResponse::FormatHead(IOutStream& stream, uint32_t codePage) const
{
    const std::string line = FormatStatusLine() + "\r\n";
    stream.Write(line.data(), line.size());
    CHttpMessage::FormatHead(stream, codePage);
}

void CHttpResponse::ParseStatusLine(const std::string& line)
{
    const size_t versionEnd = line.find(' ');
    if (!ParseVersion(line.substr(0, versionEnd)))
        QZL_THROW(QZL_FUNCTION,
                  NotUnderstood(L"HTTP version not understood: ", line));

    const size_t statusStart = versionEnd == std::string::npos ? line.size() : versionEnd + 1;
    const size_t statusEnd = line.find(' ', statusStart);
    m_status = atoi(line.substr(statusStart, statusEnd == std::string::npos ? std::string::npos
                                                                             : statusEnd - statusStart)
                        .c_str());
    if (m_status == 0)
        QZL_THROW(QZL_FUNCTION,
                  NotUnderstood(L"HTTP status not understood: ", line));

    m_reason = statusEnd == std::string::npos ? std::string() : line.substr(statusEnd + 1);
}

void CHttpResponse::Parse(const std::string& text)
{
    std::string startLine;
    std::string rest;
    if (!SplitStartLine(text, startLine, rest))
        QZL_THROW(QZL_FUNCTION, CException(L"HTTP response malformed"));
    ParseStatusLine(startLine);
    CMimeMessage::Parse(rest);
}

} // namespace Quenzal::Net

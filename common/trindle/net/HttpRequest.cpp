#include "HttpRequest.h"

#include "Buffer.h"
#include "ErrorReport.h"
#include "HttpHeaders.h"
#include "MemoryStream.h"
#include "MimeContent.h"

#include <algorithm>

namespace Quenzal::Net {

namespace {

// The text from position up to the next space (or the end); position moves
// past that space.
std::string NextField(const std::string& line, size_t& position)
{
    if (position >= line.size())
        return std::string();
    const size_t space = line.find(' ', position);
    const size_t end = space == std::string::npos ? line.size() : space;
    std::string field = line.substr(position, end - position);
    position = space == std::string::npos ? line.size() : space + 1;
    return field;
}

// Lines that each end in CR LF and hold no other control character but the
// tab a header's value may hold.
bool IsCleanHead(const std::string& head)
{
    for (size_t start = 0; start < head.size();) {
        const size_t end = head.find("\r\n", start);
        if (end == std::string::npos)
            return false;
        if (std::any_of(head.begin() + start, head.begin() + end,
                        [](char ch) { return IsControlCharacter(ch) && ch != '\t'; }))
            return false;
        start = end + 2;
    }
    return true;
}

CException NotUnderstood(const wchar_t* what, const std::string& line)
{
    return CException(StringW(what) + StringW::FromAnsi(line, CP_ACP));
}

} // namespace

CHttpRequest::CHttpRequest(const CUri& uri)
{
    SetUri(uri);
}

CHttpRequest::~CHttpRequest() = default;

void CHttpRequest::SetUri(const CUri& uri)
{
    m_uri = uri;
    StringW host = StringW::FromAnsi(m_uri.GetHost(), CP_ACP);
    const uint16_t defaultPort = m_uri.GetScheme() == UriSchemeHttps ? 443 : 80;
    // Port 0 is a URI that names no port, which means the default one.
    if (!host.empty() && m_uri.GetPort() != 0 && m_uri.GetPort() != defaultPort)
        host.AppendFormat(L":%d", static_cast<int>(m_uri.GetPort()));
    if (!host.empty())
        SetHeaderText("Host", host);
}

void CHttpRequest::SetFormData(const std::string& text)
{
    auto content = std::dynamic_pointer_cast<CMimeContent>(GetBody());
    if (!content)
        QZL_THROW(QZL_FUNCTION, CException(L"Unable to set form data"));
    SetContentType(ContentTypeApplicationXWwwFormUrlencoded);
    content->SetData(CBuffer::Create(text));
}

void CHttpRequest::SetNoCache()
{
    auto cacheControl = std::dynamic_pointer_cast<CCacheControlHeader>(FindHeader("Cache-Control"));
    if (!cacheControl) {
        RemoveHeaders("Cache-Control");
        cacheControl = std::dynamic_pointer_cast<CCacheControlHeader>(CreateHeader("Cache-Control"));
    }
    cacheControl->SetId(CacheControlNoCache);
    cacheControl->SetRawLine(std::string());

    for (HeaderPtr pragma = FindHeader("Pragma"); pragma; pragma = FindHeader("Pragma", pragma.get())) {
        if (_wcsicmp(pragma->GetValue().GetStringW().c_str(), L"no-cache") == 0)
            return;
    }
    CreateHeader("Pragma")->SetValue(Value(std::wstring(L"no-cache")));
}

std::string CHttpRequest::FormatRequestTarget() const
{
    std::string target = m_uri.FormatPathAndQuery(false);
    std::replace(target.begin(), target.end(), ' ', '+');
    return target;
}

std::string CHttpRequest::FormatRequestLine() const
{
    const std::string method = StringW(GetHttpMethodTable().LookupName(m_method)).GetAnsi(CP_ACP);
    return method + " " + FormatRequestTarget() + " " + FormatVersion();
}

void CHttpRequest::FormatHead(IOutStream& stream, uint32_t codePage) const
{
    // CR or LF from a URI's parts or a header's value would start lines of the
    // sender's choosing: the head goes out only when it holds none.
    const std::string requestLine = FormatRequestLine();
    CMemoryStream head;
    head.Write(requestLine + "\r\n");
    CHttpMessage::FormatHead(head, codePage);
    if (std::any_of(requestLine.begin(), requestLine.end(), IsControlCharacter) || !IsCleanHead(head.GetData()))
        QZL_THROW(QZL_FUNCTION,
                  CException(L"HTTP request holds a control character in its request line or a header"));
    stream.Write(head.GetData());
}

void CHttpRequest::ParseRequestLine(const std::string& line)
{
    size_t position = 0;
    const int32_t method = GetHttpMethodTable().LookupValue(StringW::FromAnsi(NextField(line, position), CP_ACP));
    if (method == -1)
        QZL_THROW(QZL_FUNCTION,
                  NotUnderstood(L"HTTP method not understood: ", line));
    m_method = method;

    const std::string resource = NextField(line, position);
    bool parsed = false;
    if (!resource.empty() && resource[0] == '/') {
        // The usual form names only path and query; the server stays as it was.
        m_uri.SetPathAndQuery(resource);
        parsed = true;
    } else {
        parsed = m_uri.Parse(resource);
    }
    if (!parsed || m_uri.GetPath().empty())
        QZL_THROW(QZL_FUNCTION,
                  NotUnderstood(L"HTTP resource not understood: ", line));

    if (!ParseVersion(NextField(line, position)))
        QZL_THROW(QZL_FUNCTION,
                  NotUnderstood(L"HTTP version not understood: ", line));
}

void CHttpRequest::Parse(const std::string& text)
{
    std::string startLine;
    std::string rest;
    if (!SplitStartLine(text, startLine, rest))
        QZL_THROW(QZL_FUNCTION, CException(L"HTTP request malformed"));
    ParseRequestLine(startLine);
    CMimeMessage::Parse(rest);
}

} // namespace Quenzal::Net

#include "HttpTestSupport.h"

#include "HttpHeaders.h"
#include "MimeHeader.h"
#include "OutStream.h"

#include <stdexcept>

namespace QzlTest {

using namespace Quenzal;
using namespace Quenzal::Net;

std::shared_ptr<CHttpRequest> NewRequest(const std::string& uri)
{
    CUri parsed;
    if (!parsed.Parse(uri))
        throw std::runtime_error("bad test URI " + uri);
    return std::make_shared<CHttpRequest>(parsed);
}

std::string ServerUri(const CTestServer& server, const std::string& path, bool tls)
{
    return (tls ? "https://" : "http://") + server.Address() + path;
}

std::string BodyOf(const CHttpResponse& response)
{
    return StreamToString(response.GetContentBody());
}

std::string HeaderText(const IMimeHeaderContainer& container, const char* name)
{
    auto header = container.FindHeader(name);
    return header ? header->FormatValue(CP_UTF8, false) : std::string();
}

namespace {

// One HTTP/1.0 GET over a plain socket; the whole answer.
std::string RawGet(unsigned short port, const std::string& target)
{
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    if (s == INVALID_SOCKET || ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::closesocket(s);
        throw std::runtime_error("cannot reach the test server");
    }
    std::string request = "GET " + target + " HTTP/1.0\r\nConnection: close\r\n\r\n";
    ::send(s, request.data(), static_cast<int>(request.size()), 0);
    std::string answer;
    char buffer[4096];
    for (int received; (received = ::recv(s, buffer, sizeof(buffer), 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(received));
    ::closesocket(s);
    return answer;
}

} // namespace

std::vector<std::string> ServerRequests(const CTestServer& server, const std::string& path, bool tls)
{
    if (tls) {
        // The routes answer over TLS only; ask through the client itself.
        auto request = NewRequest(ServerUri(server, "/requests?path=" + path, true));
        auto response = MakeHttpRequest(nullptr, std::make_shared<CHttpConnection>(nullptr), request);
        std::string text = BodyOf(*response);
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    std::string answer = RawGet(server.Port(), "/requests?path=" + path);
    size_t body = answer.find("\r\n\r\n");
    if (body == std::string::npos)
        throw std::runtime_error("no answer from /requests");
    std::vector<std::string> lines;
    std::string text = answer.substr(body + 4);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

void CRecordingNotifier::Record(const std::string& step)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_steps.push_back(step);
    }
    if (m_hook)
        m_hook(step);
}

void CRecordingNotifier::OnConnecting(const std::shared_ptr<CHttpRequest>&, CHttpConnection&)
{
    Record("Connecting");
}

void CRecordingNotifier::OnSendingRequest(const std::shared_ptr<CHttpRequest>&)
{
    Record("SendingRequest");
}

void CRecordingNotifier::OnDataSent(const void*, uint64_t length)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytesSent += length;
    }
    Record("DataSent");
}

void CRecordingNotifier::OnRequestSent(const std::shared_ptr<CHttpRequest>&)
{
    Record("RequestSent");
}

void CRecordingNotifier::OnResponseHeaders(const std::shared_ptr<CHttpResponse>&)
{
    Record("ResponseHeaders");
}

void CRecordingNotifier::OnDataReceived(const void*, uint64_t)
{
    Record("DataReceived");
}

void CRecordingNotifier::OnResponseReceived(const std::shared_ptr<CHttpRequest>&, CHttpConnection&)
{
    Record("ResponseReceived");
}

void CRecordingNotifier::OnRequestCompleted(const std::shared_ptr<CHttpRequest>&, const std::shared_ptr<CHttpResponse>&)
{
    Record("RequestCompleted");
}

std::vector<std::string> CRecordingNotifier::Steps() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> steps;
    for (const std::string& step : m_steps) {
        if (steps.empty() || steps.back() != step)
            steps.push_back(step);
    }
    return steps;
}

uint64_t CRecordingNotifier::BytesSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytesSent;
}

CSignal::CSignal() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CSignal::~CSignal()
{
    ::CloseHandle(m_event);
}

void CSignal::Set()
{
    ::SetEvent(m_event);
}

bool CSignal::Wait(DWORD milliseconds)
{
    return ::WaitForSingleObject(m_event, milliseconds) == WAIT_OBJECT_0;
}

} // namespace QzlTest

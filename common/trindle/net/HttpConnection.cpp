#include "HttpConnection.h"

#include "HttpTransactionLogs.h"
#include "NameTables.h"
#include "Socket.h"
#include "SslSocket.h"

#include "ErrorReport.h"
#include "Guid.h"
#include "Logging.h"
#include "Os.h"

#include <algorithm>
#include <cstring>

namespace Quenzal::Net {

// How another thread stops a socket call that blocks the exchange's thread:
// it sets the event the socket waits on. It never touches the handle, which
// the exchange's thread alone closes.
struct CSocketAbort {
    Os::CHandle event = Os::CreateManualResetEvent();

    void Abort() { ::SetEvent(event.Get()); }
    bool IsAborted() const { return Os::IsObjectSignaled(event.Get()); }
};

namespace {

constexpr size_t kNotifiedPiece = 4096;
// A trace shows how a body begins; the rest of an upload is the user's file.
constexpr size_t kLoggedBodyBytes = 1024;
// A head that long without its end is no head the log needs whole.
constexpr size_t kLoggedResponseHeadBytes = 16 * 1024;
constexpr size_t kKeptTransactionLogs = 10;

// A plain or TLS socket that gives up its calls once its abort event is set.
template <class TSocket>
class CAbortableSocket final : public TSocket {
public:
    explicit CAbortableSocket(std::shared_ptr<CSocketAbort> abort) : m_abort(std::move(abort))
    {
        this->SetCancelEvent(m_abort->event.Get());
    }
    ~CAbortableSocket() override { CAbortableSocket::Close(); }

    void Close() override
    {
        // An aborted socket has no connection left to say goodbye on.
        if (m_abort->IsAborted())
            CSocket::Close();
        else
            TSocket::Close();
    }

private:
    const std::shared_ptr<CSocketAbort> m_abort;
};

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const size_t length = strlen(prefix);
    return text.size() >= length && _strnicmp(text.c_str(), prefix, length) == 0;
}

// A request target as the request line writes it.
std::string FormatRequestTarget(const CUri& uri, bool masked)
{
    std::string target = uri.FormatPathAndQuery(masked);
    std::replace(target.begin(), target.end(), ' ', '+');
    return target;
}

// A header line of the request with the value of a credentials header hidden.
std::string MaskCredentials(const std::string& line)
{
    for (const char* name : {"Authorization:", "Proxy-Authorization:"}) {
        if (StartsWithNoCase(line, name)) {
            const size_t end = line.find_last_not_of("\r\n") + 1;
            return line.substr(0, strlen(name)) + " ********" + line.substr(end);
        }
    }
    return line;
}

} // namespace

CHttpConnection::CHttpConnection(const std::shared_ptr<IHttpRequestNotifier>& notifier)
    : m_timeout(0, 0, 1, 0, 0), m_notifier(notifier)
{
}

CHttpConnection::~CHttpConnection()
{
    Close();
}

bool CHttpConnection::IsOpen() const
{
    Os::CCriticalSectionLock hold(m_lock);
    return m_socket != nullptr;
}

void CHttpConnection::Connect(const CUri& uri)
{
    auto abort = std::make_shared<CSocketAbort>();
    std::shared_ptr<CSocket> socket;
    if (uri.GetScheme() == UriSchemeHttps)
        socket = std::make_shared<CAbortableSocket<CSslSocket>>(abort);
    else
        socket = std::make_shared<CAbortableSocket<CSocket>>(abort);
    socket->SetTimeout(m_timeout);
    socket->SetDeadline(m_deadline);

    {
        Os::CCriticalSectionLock hold(m_lock);
        // Read under the lock that Cancel sets it under before it closes: a
        // cancel either is seen here or finds this socket in use and wakes it.
        if (m_canceled)
            QZL_THROW(QZL_FUNCTION, CException(L"CHttpConnection::Connect called after Cancel"));
        m_active = socket;
        m_activeAbort = abort;
        m_closeRequested = false;
    }
    try {
        socket->Connect(uri.GetHost(), uri.GetPort());
        OpenTransactionLog(uri);
    } catch (...) {
        EndSocketCall(socket);
        socket->Close();
        throw;
    }

    std::shared_ptr<CSocket> previous;
    bool closed = false;
    {
        Os::CCriticalSectionLock hold(m_lock);
        closed = LeaveActiveCall();
        if (!closed) {
            previous = std::move(m_socket);
            m_socket = socket;
            m_socketAbort = abort;
            m_ownerThread = ::GetCurrentThreadId();
        }
    }
    if (previous)
        previous->Close();
    if (closed) {
        // A cancel came while the socket was being opened: the exchange must
        // not go on with it.
        socket->Close();
        QZL_THROW(QZL_FUNCTION,
                  CException(L"CHttpConnection::Connect interrupted by Close"));
    }
}

void CHttpConnection::Close()
{
    std::shared_ptr<CSocket> socket;
    {
        Os::CCriticalSectionLock hold(m_lock);
        socket = std::move(m_socket);
        if (m_socketAbort && m_ownerThread != ::GetCurrentThreadId())
            m_socketAbort->Abort();
        m_socketAbort.reset();
        if (m_active) {
            // The exchange's thread is inside a call of the socket: it is only
            // woken here, and closes the socket itself.
            m_closeRequested = true;
            m_activeAbort->Abort();
            if (socket == m_active)
                socket.reset();
        }
    }
    if (socket)
        socket->Close();
}

void CHttpConnection::Cancel()
{
    {
        Os::CCriticalSectionLock hold(m_lock);
        m_canceled = true;
    }
    Close();
}

void CHttpConnection::LimitRemainingTime(const DateTimeSpan& limit)
{
    Os::CCriticalSectionLock hold(m_lock);
    if (m_socket)
        m_socket->SetDeadline(m_deadline.EarlierOf(Os::CDeadline::After(limit)));
}

std::shared_ptr<CSocket> CHttpConnection::BeginSocketCall(const wchar_t* function, const wchar_t* emptyText)
{
    Os::CCriticalSectionLock hold(m_lock);
    if (!m_socket)
        QZL_THROW(function, CException(emptyText));
    m_active = m_socket;
    m_activeAbort = m_socketAbort;
    return m_socket;
}

void CHttpConnection::EndSocketCall(const std::shared_ptr<CSocket>& socket)
{
    bool closed = false;
    {
        Os::CCriticalSectionLock hold(m_lock);
        closed = LeaveActiveCall();
    }
    if (closed)
        socket->Close();
}

bool CHttpConnection::LeaveActiveCall()
{
    m_active.reset();
    m_activeAbort.reset();
    const bool closed = m_closeRequested;
    m_closeRequested = false;
    return closed;
}

void CHttpConnection::SendPiece(const char* data, size_t length)
{
    std::shared_ptr<CSocket> socket =
        BeginSocketCall(L"Quenzal::Net::CHttpConnection::Write", L"CHttpConnection::Write called on empty socket");
    try {
        socket->Send(data, length);
    } catch (...) {
        EndSocketCall(socket);
        throw;
    }
    EndSocketCall(socket);
}

void CHttpConnection::DoWrite(const void* data, uint64_t length)
{
    const char* bytes = static_cast<const char*>(data);
    LogSent(bytes, static_cast<size_t>(length));
    if (!m_notifier || length <= kNotifiedPiece) {
        SendPiece(bytes, static_cast<size_t>(length));
        if (m_notifier)
            m_notifier->OnDataSent(bytes, length);
        return;
    }
    // Progress is told at this grain.
    for (uint64_t offset = 0; offset < length; offset += kNotifiedPiece) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(kNotifiedPiece, length - offset));
        SendPiece(bytes + offset, piece);
        m_notifier->OnDataSent(bytes + offset, piece);
    }
}

const std::string& CHttpConnection::Read()
{
    std::shared_ptr<CSocket> socket =
        BeginSocketCall(L"Quenzal::Net::CHttpConnection::Read", L"CHttpConnection::Read called on empty socket");
    m_received.clear();
    try {
        socket->Receive(m_received);
    } catch (...) {
        EndSocketCall(socket);
        throw;
    }
    EndSocketCall(socket);
    LogReceived(m_received.data(), m_received.size());
    if (m_notifier)
        m_notifier->OnDataReceived(m_received.data(), m_received.size());
    return m_received;
}

void CHttpConnection::OpenTransactionLog(const CUri& uri)
{
    m_log.reset();
    m_logInHead = false;
    m_logLine.clear();
    m_logAtRequestLine = false;
    m_logResponseHeadLeft = kLoggedResponseHeadBytes;
    m_logResponseTail.clear();
    if (!Logging::IsTraceEnabled())
        return;
    m_logTarget = FormatRequestTarget(uri, false);
    m_logMaskedTarget = FormatRequestTarget(uri, true);
    const StringW path = Os::GetTemporaryDirectory() + L"HTTP_" + StringW::FromAnsi(CreateGuidHexString(), CP_ACP) +
                         L".txt";
    Logging::LogFormat(Logging::Debug, L"Logging HTTP transaction for '%s' to '%s'",
                       StringW::FromAnsi(uri.ToString(), CP_ACP).c_str(), path.c_str());
    DeleteOldTransactionLogs(Os::GetTemporaryDirectory(), kKeptTransactionLogs - 1);
    m_log = std::make_unique<Os::CFile>(path, Os::CFile::OpenWrite);
    m_logInHead = true;
    m_logAtRequestLine = true;
}

void CHttpConnection::LogSent(const char* data, size_t length)
{
    if (!m_log)
        return;
    size_t position = 0;
    while (m_logInHead && position < length) {
        const void* lineFeed = memchr(data + position, '\n', length - position);
        const size_t end = lineFeed ? static_cast<const char*>(lineFeed) - data + 1 : length;
        m_logLine.append(data + position, end - position);
        position = end;
        if (!lineFeed)
            return;
        if (m_logAtRequestLine) {
            m_logAtRequestLine = false;
            const size_t target = m_logLine.find(" " + m_logTarget + " ");
            if (target != std::string::npos)
                m_logLine.replace(target + 1, m_logTarget.size(), m_logMaskedTarget);
        }
        WriteLog(MaskCredentials(m_logLine));
        m_logInHead = m_logLine != "\r\n" && m_logLine != "\n";
        m_logLine.clear();
        if (!m_logInHead)
            StartLoggedBody();
    }
    LogBody(data + position, length - position);
}

void CHttpConnection::LogReceived(const char* data, size_t length)
{
    if (!m_log)
        return;
    if (!m_logLine.empty()) {
        // The request's head never ended; keep what there was of it.
        WriteLog(MaskCredentials(m_logLine));
        m_logLine.clear();
    }
    m_logInHead = false;
    size_t position = 0;
    if (m_logResponseHeadLeft > 0) {
        // The head passes whole, up to its empty line, which may straddle two reads.
        const std::string seen = m_logResponseTail + std::string(data, length);
        const size_t end = seen.find("\r\n\r\n");
        position = std::min(end == std::string::npos ? length : end + 4 - m_logResponseTail.size(),
                            m_logResponseHeadLeft);
        WriteLog(std::string(data, position));
        m_logResponseHeadLeft = end == std::string::npos ? m_logResponseHeadLeft - position : 0;
        m_logResponseTail = seen.substr(seen.size() - std::min<size_t>(seen.size(), 3));
        if (m_logResponseHeadLeft > 0)
            return;
        StartLoggedBody();
    }
    LogBody(data + position, length - position);
}

void CHttpConnection::StartLoggedBody()
{
    m_logBodyLeft = kLoggedBodyBytes;
    m_logBodyCut = false;
}

void CHttpConnection::LogBody(const char* data, size_t length)
{
    const size_t logged = std::min(length, m_logBodyLeft);
    WriteLog(std::string(data, logged));
    m_logBodyLeft -= logged;
    if (logged < length && !m_logBodyCut) {
        m_logBodyCut = true;
        WriteLog("\r\n[The rest of the body is not logged]\r\n");
    }
}

void CHttpConnection::WriteLog(const std::string& bytes)
{
    if (!bytes.empty())
        m_log->Write(bytes.data(), bytes.size(), false);
}

} // namespace Quenzal::Net

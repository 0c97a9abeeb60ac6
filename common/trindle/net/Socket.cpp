// The event functions of Winsock 2 need its header before <windows.h>.
#include <winsock2.h>

#include "Socket.h"

#include "HostLookup.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "Os.h"

#include <algorithm>

namespace Quenzal::Net {

namespace {

constexpr size_t MaximumSendPiece = 1048576;
constexpr int ReceivePiece = 8192;

} // namespace

CSocket::CSocket() : m_timeout(0, 0, 0, 30, 0) {}

CSocket::CSocket(SOCKET handle, const CIpAddress& endpoint)
    : m_socket(handle), m_endpoint(endpoint), m_state(Accepted), m_timeout(0, 0, 0, 30, 0)
{
}

CSocket::~CSocket()
{
    CSocket::Close();
}

bool CSocket::IsOpen() const
{
    if (!m_socket || m_state == None)
        return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket.Get(), &readable);
    timeval limit = {0, 1};
    if (::select(0, &readable, nullptr, nullptr, &limit) == 0)
        return true;
    // Readable: either data or the peer's close, which reads as nothing.
    char byte;
    return ::recv(m_socket.Get(), &byte, 1, MSG_PEEK) > 0;
}

void CSocket::DoWrite(const void* data, uint64_t length)
{
    Send(data, static_cast<size_t>(length));
}

void CSocket::Listen(const CIpAddress& endpoint, bool takeOver, int backlog)
{
    Create();
    try {
        Bind(endpoint);
    } catch (const CSocketError& e) {
        if (e.GetErrorCode() != WSAEADDRINUSE || !takeOver)
            throw;
        DWORD one = 1;
        if (::setsockopt(m_socket.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
                         sizeof(one)) != 0) {
            Logging::Log(Logging::Error, (L"Call to setsockopt failed: " +
                                          GetErrorText(static_cast<DWORD>(::WSAGetLastError())))
                                             .c_str());
            throw;
        }
        Logging::Log(Logging::Warning, L"Address was in use; will try hijacking the address");
        // Bound again on the same socket: a new one would not carry the option.
        Bind(endpoint);
    }
    if (::listen(m_socket.Get(), backlog) != 0)
        QZL_THROW(QZL_FUNCTION, CSocketError());
    m_endpoint = endpoint;
    m_state = Listening;
}

void CSocket::Bind(const CIpAddress& endpoint)
{
    if (::bind(m_socket.Get(), endpoint.GetSockAddr(), sizeof(sockaddr_in)) != 0)
        QZL_THROW(QZL_FUNCTION, CSocketError(endpoint.ToString(false).c_str()));
}

void CSocket::Connect(const std::string& host, unsigned short port)
{
    Connect(LookUpHost(host, port, m_cancelEvent, m_timeout, m_deadline));
}

void CSocket::Connect(const CIpAddress& endpoint)
{
    Create();
    DWORD code = 0;
    try {
        SelectEvents();
        if (::connect(m_socket.Get(), endpoint.GetSockAddr(), sizeof(sockaddr_in)) != 0)
            code = static_cast<DWORD>(::WSAGetLastError());
    } catch (...) {
        CloseSocket();
        throw;
    }
    // The system itself gives up on a connect that nobody answers, unless the
    // deadline comes first.
    for (DWORD error = 0; code == WSAEWOULDBLOCK;) {
        if (!AwaitSocketEvent(DateTimeSpan(), error, &code))
            code = error;
    }
    if (code != 0) {
        CSocketError error(code, endpoint.ToString(true).c_str());
        CloseSocket();
        QZL_THROW(QZL_FUNCTION, error);
    }
    m_endpoint.GetAddress() = endpoint.GetAddress();
    m_state = Connected;
}

std::shared_ptr<CSocket> CSocket::Accept(const DateTimeSpan& timeout)
{
    if (!timeout.IsZero() && !WaitForSocket(true, false, timeout))
        return nullptr;
    sockaddr_in peer = {};
    int size = sizeof(peer);
    CSocketHandle accepted(::accept(m_socket.Get(), reinterpret_cast<sockaddr*>(&peer), &size));
    if (!accepted)
        QZL_THROW(QZL_FUNCTION, CSocketError());
    CIpAddress endpoint;
    endpoint.GetAddress() = peer;
    endpoint.SetHost(m_endpoint.GetHostText());
    std::shared_ptr<CSocket> socket = CreateAcceptedSocket(accepted.Get(), endpoint);
    accepted.Detach();
    return socket;
}

void CSocket::Close()
{
    try {
        CloseSocket();
    } catch (...) {
        Logging::Log(Logging::Error, L"Caught exception while closing socket; ignoring");
    }
}

void CSocket::SelectEvents()
{
    if (m_eventsSelected)
        return;
    if (!m_event)
        m_event = Os::CreateManualResetEvent();
    ::ResetEvent(m_event.Get());
    if (::WSAEventSelect(m_socket.Get(), m_event.Get(), FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
        QZL_THROW(QZL_FUNCTION, CSocketError());
    m_eventsSelected = true;
}

bool CSocket::AwaitSocketEvent(const DateTimeSpan& timeout, DWORD& error, DWORD* connected)
{
    DateTimeSpan limit = timeout;
    if (!m_deadline.LimitWait(limit)) {
        error = WSAETIMEDOUT;
        return false;
    }
    const HANDLE handles[] = {m_event.Get(), m_cancelEvent};
    const DWORD result = Os::WaitForAnyObject(handles, m_cancelEvent != nullptr ? 2 : 1, limit);
    if (result == WAIT_OBJECT_0 + 1) {
        error = ERROR_OPERATION_ABORTED;
        return false;
    }
    if (result == WAIT_TIMEOUT) {
        error = WSAETIMEDOUT;
        return false;
    }
    // Takes the events and resets the event for the next wait.
    WSANETWORKEVENTS events = {};
    if (::WSAEnumNetworkEvents(m_socket.Get(), m_event.Get(), &events) != 0) {
        error = static_cast<DWORD>(::WSAGetLastError());
        return false;
    }
    if (connected != nullptr && (events.lNetworkEvents & FD_CONNECT) != 0)
        *connected = static_cast<DWORD>(events.iErrorCode[FD_CONNECT_BIT]);
    return true;
}

void CSocket::Send(const void* data, size_t length)
{
    if (data == nullptr || length == 0)
        return;
    SelectEvents();
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ThrowIfDeadlinePassed();
        int piece = static_cast<int>(std::min(length, MaximumSendPiece));
        int sent = ::send(m_socket.Get(), bytes, piece, 0);
        if (sent == SOCKET_ERROR) {
            DWORD error = static_cast<DWORD>(::WSAGetLastError());
            if (error != WSAEWOULDBLOCK || !AwaitSocketEvent(m_timeout, error))
                QZL_THROW(QZL_FUNCTION, CSocketError(error, nullptr));
            continue;
        }
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
}

bool CSocket::SendWithoutWaiting(const void* data, size_t length) noexcept
{
    // A socket still in blocking mode could make the send wait.
    if (!m_socket || !m_eventsSelected)
        return false;
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const int sent = ::send(m_socket.Get(), bytes, static_cast<int>(std::min(length, MaximumSendPiece)), 0);
        if (sent == SOCKET_ERROR)
            return false;
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

void CSocket::Receive(std::string& buffer)
{
    ThrowIfDeadlinePassed();
    SelectEvents();
    size_t oldLength = buffer.size();
    buffer.resize(oldLength + ReceivePiece);
    int received = ::recv(m_socket.Get(), &buffer[oldLength], ReceivePiece, 0);
    for (DWORD error = 0; received == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK;) {
        if (!AwaitSocketEvent(m_timeout, error)) {
            buffer.resize(oldLength);
            QZL_THROW(QZL_FUNCTION, CSocketError(error, nullptr));
        }
        received = ::recv(m_socket.Get(), &buffer[oldLength], ReceivePiece, 0);
    }
    if (received == SOCKET_ERROR) {
        CSocketError failure;
        // Callers may keep what they had read; the unused tail is no data.
        buffer.resize(oldLength);
        // A peer that reset or aborted the connection is gone for good, just
        // like one that closed it: the socket ends up closed either way.
        DWORD code = failure.GetErrorCode();
        if (code == WSAECONNRESET || code == WSAECONNABORTED)
            CloseSocket();
        QZL_THROW(QZL_FUNCTION, failure);
    }
    buffer.resize(oldLength + static_cast<size_t>(received));
    if (received > 0)
        return;
    CloseSocket();
    QZL_THROW(QZL_FUNCTION, CSocketError(0, "Connection reset by peer"));
}

void CSocket::ThrowIfDeadlinePassed() const
{
    // A peer that always has bytes ready never makes a call wait, and the
    // waits are where the deadline is otherwise applied.
    if (m_deadline.HasPassed())
        QZL_THROW(QZL_FUNCTION, CSocketError(WSAETIMEDOUT, nullptr));
}

void CSocket::Create()
{
    Close();
    m_socket.Reset(::socket(AF_INET, SOCK_STREAM, 0));
    if (!m_socket)
        QZL_THROW(QZL_FUNCTION, CSocketError());
}

void CSocket::CloseSocket()
{
    m_eventsSelected = false;
    if (m_socket) {
        if (::closesocket(ReleaseHandle()) == SOCKET_ERROR)
            Logging::Log(Logging::Error, (L"Unable to close socket: " +
                                          GetErrorText(static_cast<DWORD>(::WSAGetLastError())))
                                             .c_str());
    }
    m_state = None;
}

std::shared_ptr<CSocket> CSocket::CreateAcceptedSocket(SOCKET handle, const CIpAddress& endpoint)
{
    return std::make_shared<CSocket>(handle, endpoint);
}

bool CSocket::WaitForSocket(bool read, bool write, const DateTimeSpan& timeout) const
{
    if (!m_socket || (!read && !write))
        return false;
    fd_set readable, writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(m_socket.Get(), &readable);
    FD_SET(m_socket.Get(), &writable);
    timeval limit = {};
    timeval* limitPointer = nullptr;
    if (!timeout.IsZero()) {
        double days = timeout.GetSpan();
        double half = (days < 0 ? -0.5 : 0.5) / 86400.0;
        limit.tv_sec = static_cast<long>((days + half) * 86400.0);
        limitPointer = &limit;
    }
    return ::select(0, read ? &readable : nullptr, write ? &writable : nullptr, nullptr, limitPointer) > 0;
}

SOCKET CSocket::ReleaseHandle()
{
    return m_socket.Detach();
}

} // namespace Quenzal::Net

#pragma once
// An IPv4 TCP socket that is also an output stream. A connected socket works
// without blocking in the system: where a connect, send or receive has to
// wait, it waits for the socket's event or the cancel event, a send or receive
// for at most the socket's time-out, and any of them no longer than the
// socket's deadline when one is set. Another thread cancels by setting the
// cancel event; the handle stays with the owning thread, which closes it: a
// handle closed elsewhere could be reused by a socket opened meanwhile.

#include "IpAddress.h"
#include "SocketError.h"

#include "DateTimeSpan.h"
#include "OutStream.h"
#include "SmartPointer.h"
#include "Wait.h"

#include <memory>
#include <string>

namespace Quenzal::Net {

struct SocketDestructor {
    static bool IsValid(SOCKET s) { return s != 0 && s != INVALID_SOCKET; }
    static void Destroy(SOCKET s) { ::closesocket(s); }
};

using CSocketHandle = SmartPointer<SOCKET, SocketDestructor>;

class CSocket : public IOutStream {
public:
    enum State : unsigned int {
        None = 0,
        Listening = 1,
        Connected = 2,
        Accepted = 3,
    };

    CSocket();
    // Wraps a socket that Accept took from a listening socket.
    CSocket(SOCKET handle, const CIpAddress& endpoint);
    ~CSocket() override;

    // Connected and not closed by the peer (a closed peer shows as readable
    // with nothing to read).
    bool IsOpen() const override;

    virtual void Listen(const CIpAddress& endpoint, bool takeOver, int backlog);
    virtual void Bind(const CIpAddress& endpoint);
    virtual void Connect(const std::string& host, unsigned short port);
    virtual void Connect(const CIpAddress& endpoint);
    // A null pointer when nothing arrives within a non-zero time-out.
    virtual std::shared_ptr<CSocket> Accept(const DateTimeSpan& timeout);
    // Never raises; failures are logged.
    virtual void Close();
    virtual void Send(const void* data, size_t length);
    // Appends at most 8192 received bytes. A peer that closed the connection
    // closes this socket and raises "Connection reset by peer".
    virtual void Receive(std::string& buffer);
    virtual void Create();
    virtual void CloseSocket();
    virtual std::shared_ptr<CSocket> CreateAcceptedSocket(SOCKET handle, const CIpAddress& endpoint);

    // select for reading and/or writing; a zero time-out waits without limit.
    bool WaitForSocket(bool read, bool write, const DateTimeSpan& timeout) const;

    // An event (owned by the caller) that makes every wait of the socket fail
    // with ERROR_OPERATION_ABORTED once it is set, from any thread.
    void SetCancelEvent(HANDLE event) { m_cancelEvent = event; }

    SOCKET GetSocket() const { return m_socket.Get(); }
    const CIpAddress& GetEndpoint() const { return m_endpoint; }
    unsigned int GetState() const { return m_state; }
    const DateTimeSpan& GetTimeout() const { return m_timeout; }
    void SetTimeout(const DateTimeSpan& timeout) { m_timeout = timeout; }
    // Every wait from now on fails with WSAETIMEDOUT once the deadline has passed.
    void SetDeadline(const Os::CDeadline& deadline) { m_deadline = deadline; }

protected:
    void DoWrite(const void* data, uint64_t length) override;
    // Gives up the handle without closing it.
    SOCKET ReleaseHandle();
    // Raises the time-out once the deadline has passed, whether or not a call
    // would wait.
    void ThrowIfDeadlinePassed() const;
    // Puts the socket into the non-blocking mode in which it reports to its event.
    void SelectEvents();
    // Hands the bytes to the system if it takes them all at once; for what is
    // only a courtesy to the peer. Never waits, raises or logs; false when the
    // bytes did not all go.
    bool SendWithoutWaiting(const void* data, size_t length) noexcept;
    // Waits for the socket's event after a call that would have blocked; false
    // with the error to raise: the time-out, the cancel, or a failed wait. A
    // connect that ended gives its result (0 when connected) in connected.
    bool AwaitSocketEvent(const DateTimeSpan& timeout, DWORD& error, DWORD* connected = nullptr);

    CSocketHandle m_socket;
    CIpAddress m_endpoint;
    unsigned int m_state = None;
    DateTimeSpan m_timeout;
    Os::CDeadline m_deadline;
    Os::CHandle m_event;
    bool m_eventsSelected = false;
    HANDLE m_cancelEvent = nullptr;
};

} // namespace Quenzal::Net

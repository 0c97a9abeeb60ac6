#pragma once
// The byte pipe of one HTTP exchange: an output stream that owns at most one
// socket, plain or TLS by the URI's scheme. Writes go to the socket and reads
// come from it; both are told to the progress notifier and, while trace
// logging is on, copied into a transaction log file in the temporary folder
// (each body only in its beginning; the newest few files are kept).
//
// One thread performs the exchange. Any other thread may Close the connection
// to end the exchange: a socket call that is blocked then wakes and fails, the
// worker itself closes the socket (the TLS session included), and a Connect
// that is under way fails instead of keeping its socket. A Close finds only
// what is there; a canceler Cancels instead, which also keeps every later
// Connect from beginning, so that a cancel that comes before the socket exists
// still ends the exchange at once. A socket that no call is using
// passes to the closing thread whole; when that is not the thread that
// connected it, it is only released, without a word to the peer: a canceller
// must not wait on the network, nor speak in a session it does not own.

#include "HttpRequestNotifier.h"
#include "Uri.h"

#include "CriticalSection.h"
#include "DateTimeSpan.h"
#include "File.h"
#include "OutStream.h"
#include "Wait.h"

#include <memory>
#include <string>

namespace Quenzal::Net {

class CSocket;
struct CSocketAbort;

class CHttpConnection : public IOutStream {
public:
    explicit CHttpConnection(const std::shared_ptr<IHttpRequestNotifier>& notifier = nullptr);
    // Closes the connection.
    ~CHttpConnection() override;

    // A socket is held.
    bool IsOpen() const override;

    // Connects a new socket (TLS for https) to the URI's host and port and
    // starts or ends the transaction log; drops any socket held before.
    void Connect(const CUri& uri);
    // Receives once; the bytes stay valid until the next Read.
    const std::string& Read();
    // Closes and drops the socket; nothing happens when none is held. Safe
    // from any thread.
    void Close();
    // Closes the connection for good; safe from any thread. A Connect under
    // way fails as at a Close, and every later one fails before it waits on
    // the network.
    void Cancel();

    std::shared_ptr<IHttpRequestNotifier> GetNotifier() const { return m_notifier; }
    const DateTimeSpan& GetTimeout() const { return m_timeout; }
    // Given to each socket before it connects: how long one wait of a send
    // or receive may last, so a transfer is cut off only once it stops moving.
    void SetTimeout(const DateTimeSpan& timeout) { m_timeout = timeout; }
    // From now on, every connect, send and receive through this connection
    // ends within the span, however the peer trickles; zero sets no limit.
    void SetTimeLimit(const DateTimeSpan& limit) { m_deadline = Os::CDeadline::After(limit); }
    const Os::CDeadline& GetDeadline() const { return m_deadline; }
    // The socket held ends its waits within the span from now too, whatever
    // the time limit leaves; zero changes nothing. The next Connect forgets it.
    void LimitRemainingTime(const DateTimeSpan& limit);

protected:
    void DoWrite(const void* data, uint64_t length) override;

private:
    // The socket the caller's thread may use now; raises the text given when
    // none is held.
    std::shared_ptr<CSocket> BeginSocketCall(const wchar_t* function, const wchar_t* emptyText);
    // Ends a socket call; finishes the socket when a Close came meanwhile.
    void EndSocketCall(const std::shared_ptr<CSocket>& socket);
    // With m_lock held: forgets the socket in use; true when a Close came
    // while it was in use (the request is used up).
    bool LeaveActiveCall();
    void SendPiece(const char* data, size_t length);
    void OpenTransactionLog(const CUri& uri);
    void LogSent(const char* data, size_t length);
    void LogReceived(const char* data, size_t length);
    void StartLoggedBody();
    void LogBody(const char* data, size_t length);
    void WriteLog(const std::string& bytes);

    std::shared_ptr<CSocket> m_socket;
    DateTimeSpan m_timeout;
    Os::CDeadline m_deadline;
    std::unique_ptr<Os::CFile> m_log;
    const std::shared_ptr<IHttpRequestNotifier> m_notifier;

    // Guards the socket fields below and m_socket against a Close from another thread.
    mutable Os::CCriticalSection m_lock;
    std::shared_ptr<CSocketAbort> m_socketAbort;
    // The socket the exchange's thread is inside a call of (Connect included).
    std::shared_ptr<CSocket> m_active;
    std::shared_ptr<CSocketAbort> m_activeAbort;
    bool m_closeRequested = false;
    bool m_canceled = false;
    // The thread that connected the socket held.
    DWORD m_ownerThread = 0;

    std::string m_received;
    // The request's head passes the log line by line so that credentials can
    // be left out; once its empty line is seen, bytes pass as they are.
    bool m_logInHead = false;
    std::string m_logLine;
    // The request line shows the query values the URI masks in logs.
    bool m_logAtRequestLine = false;
    std::string m_logTarget;
    std::string m_logMaskedTarget;
    // Only the beginning of each body is logged: an upload must not leave a
    // copy of the user's file behind.
    size_t m_logBodyLeft = 0;
    bool m_logBodyCut = false;
    // The response's head is logged whole up to this many bytes more; the
    // tail holds its last bytes, to find its end across reads.
    size_t m_logResponseHeadLeft = 0;
    std::string m_logResponseTail;
};

} // namespace Quenzal::Net

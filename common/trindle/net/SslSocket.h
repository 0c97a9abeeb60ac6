#pragma once
// A TCP socket that speaks TLS through the platform's Schannel package.
// Connect sends the client's first handshake message; the first Send or
// Receive finishes the handshake. The server's certificate is not checked
// unless asked for: the appliance is reached by the address its own mail names
// and often presents a self-signed certificate. The server side (an accepted
// socket with a certificate from the machine's personal store) exists for
// completeness; the HTTP client never uses it.

#include "Socket.h"

#include "StringW.h"

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <schannel.h>
#include <security.h>
#include <sspi.h>

namespace Quenzal::Net {

// An SSPI handle (a pair of words, both -1 when none) released by Free.
template <SECURITY_STATUS(SEC_ENTRY* Free)(PSecHandle)>
class CSspiHandle {
public:
    CSspiHandle() { Clear(); }
    ~CSspiHandle() { Close(); }
    CSspiHandle(const CSspiHandle&) = delete;
    CSspiHandle& operator=(const CSspiHandle&) = delete;

    bool IsValid() const
    {
        return m_handle.dwLower != static_cast<ULONG_PTR>(-1) || m_handle.dwUpper != static_cast<ULONG_PTR>(-1);
    }
    PSecHandle Get() { return IsValid() ? &m_handle : nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    PSecHandle Receive()
    {
        Close();
        return &m_handle;
    }
    void Close()
    {
        if (IsValid())
            Free(&m_handle);
        Clear();
    }

private:
    void Clear()
    {
        m_handle.dwLower = static_cast<ULONG_PTR>(-1);
        m_handle.dwUpper = static_cast<ULONG_PTR>(-1);
    }

    SecHandle m_handle;
};

using CCredentialsHandle = CSspiHandle<::FreeCredentialsHandle>;
using CSecurityContextHandle = CSspiHandle<::DeleteSecurityContext>;

class CSslSocket : public CSocket {
public:
    CSslSocket();
    CSslSocket(SOCKET handle, const CIpAddress& endpoint);
    ~CSslSocket() override;

    using CSocket::Connect;
    void Listen(const CIpAddress& endpoint, bool takeOver, int backlog) override;
    void Connect(const CIpAddress& endpoint) override;
    // Sends the TLS close notification if the connection takes it at once,
    // then closes; a session that a failed call left broken, that the peer
    // ended or whose deadline has passed is closed without it. Never throws.
    void Close() override;
    void Send(const void* data, size_t length) override;
    // Appends the decrypted bytes of at least one record, and of every further
    // data record already here whole. Returns with nothing appended when the
    // peer ended the TLS session.
    void Receive(std::string& buffer) override;
    void CloseSocket() override;
    std::shared_ptr<CSocket> CreateAcceptedSocket(SOCKET handle, const CIpAddress& endpoint) override;

    // The certificate subject a listening socket serves with.
    const StringW& GetServerName() const { return m_serverName; }
    void SetServerName(const std::wstring& name) { m_serverName = name; }
    // Checks the server's certificate chain and name after the handshake.
    void SetVerifyServerCertificate(bool verify) { m_verifyServerCertificate = verify; }

protected:
    // One call of the client's handshake; a step of its own so that answers
    // the platform gives only on some systems can be tried.
    virtual SECURITY_STATUS ContinueClientHandshake(SecBufferDesc* input, ULONG flags, SecBufferDesc* output,
                                                    ULONG& attributes);
    void InitializeClient();
    void InitializeServer();
    void Negotiate(bool readFirst, bool force);
    void VerifyServerCertificate();

private:
    bool IsConnectedOut() const { return m_state == Connected; }
    void RefuseBrokenProtocol();
    void SendCloseNotification();

    bool m_negotiated = false;
    // Broken by a failed call or ended by the peer: no goodbye is due.
    bool m_sessionOver = false;
    // The peer's end came behind data that was handed out first.
    bool m_endPending = false;
    CCredentialsHandle m_credentials;
    CSecurityContextHandle m_context;
    std::string m_pending;
    StringW m_serverName;
    bool m_verifyServerCertificate = false;
};

} // namespace Quenzal::Net

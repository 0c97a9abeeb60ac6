#include "SslSocket.h"

#include "ErrorReport.h"
#include "Logging.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Quenzal::Net {

namespace {

// Request flags of the first client call and of the close notification.
constexpr ULONG ClientRequestFlags = ISC_REQ_REPLAY_DETECT | ISC_REQ_SEQUENCE_DETECT | ISC_REQ_CONFIDENTIALITY |
                                     ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM;
// Request flags of the handshake loop and of the server side.
constexpr ULONG HandshakeRequestFlags = ASC_REQ_REPLAY_DETECT | ASC_REQ_SEQUENCE_DETECT | ASC_REQ_CONFIDENTIALITY |
                                        ASC_REQ_ALLOCATE_MEMORY | ASC_REQ_EXTENDED_ERROR | ASC_REQ_STREAM;
constexpr unsigned char AlertRecord = 0x15;
constexpr unsigned char ApplicationDataRecord = 0x17;
constexpr size_t RecordHeaderSize = 5;

struct ContextBufferDestructor {
    static bool IsValid(void* p) { return p != nullptr; }
    static void Destroy(void* p) { ::FreeContextBuffer(p); }
};
struct CertStoreDestructor {
    static bool IsValid(HCERTSTORE h) { return h != nullptr; }
    static void Destroy(HCERTSTORE h) { ::CertCloseStore(h, 0); }
};
struct CertContextDestructor {
    static bool IsValid(PCCERT_CONTEXT p) { return p != nullptr; }
    static void Destroy(PCCERT_CONTEXT p) { ::CertFreeCertificateContext(p); }
};
struct CertChainDestructor {
    static bool IsValid(PCCERT_CHAIN_CONTEXT p) { return p != nullptr; }
    static void Destroy(PCCERT_CHAIN_CONTEXT p) { ::CertFreeCertificateChain(p); }
};

using CContextBuffer = SmartPointer<void*, ContextBufferDestructor>;
using CCertStore = SmartPointer<HCERTSTORE, CertStoreDestructor>;
using CCertContext = SmartPointer<PCCERT_CONTEXT, CertContextDestructor>;
using CCertChain = SmartPointer<PCCERT_CHAIN_CONTEXT, CertChainDestructor>;

// The protocols the platform enables, never SSL; weak algorithms left out.
SCHANNEL_CRED MakeCredentialData(DWORD flags)
{
    SCHANNEL_CRED data = {};
    data.dwVersion = SCHANNEL_CRED_VERSION;
    data.grbitEnabledProtocols = 0;
    data.dwFlags = flags | SCH_USE_STRONG_CRYPTO;
    return data;
}

// A server name for the handshake: a host name, never an address.
std::string ServerNameIndication(const CIpAddress& endpoint)
{
    const std::string& host = endpoint.GetHost();
    if (host.empty() || ::inet_addr(host.c_str()) != INADDR_NONE)
        return std::string();
    return host;
}

// A whole record of application data at the offset: one that decrypts without
// a wait, and that (before TLS 1.3) neither ends the session nor renegotiates.
bool IsWholeDataRecord(const std::string& bytes, size_t offset)
{
    if (bytes.size() - offset < RecordHeaderSize || static_cast<unsigned char>(bytes[offset]) != ApplicationDataRecord)
        return false;
    const size_t length = static_cast<size_t>(static_cast<unsigned char>(bytes[offset + 3]) << 8 |
                                              static_cast<unsigned char>(bytes[offset + 4]));
    return bytes.size() - offset >= RecordHeaderSize + length;
}

} // namespace

CSslSocket::CSslSocket() = default;

CSslSocket::CSslSocket(SOCKET handle, const CIpAddress& endpoint) : CSocket(handle, endpoint) {}

CSslSocket::~CSslSocket()
{
    CSslSocket::Close();
}

void CSslSocket::Listen(const CIpAddress& endpoint, bool takeOver, int backlog)
{
    CSocket::Listen(endpoint, takeOver, backlog);
    InitializeServer();
}

void CSslSocket::InitializeClient()
{
    if (m_credentials.IsValid())
        return;
    SCHANNEL_CRED data = MakeCredentialData(SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS);
    TimeStamp expiry;
    SECURITY_STATUS status = ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                                         SECPKG_CRED_OUTBOUND, nullptr, &data, nullptr, nullptr,
                                                         m_credentials.Receive(), &expiry);
    if (status != SEC_E_OK)
        QZL_THROW(QZL_FUNCTION, CComError(status));
}

void CSslSocket::InitializeServer()
{
    if (m_credentials.IsValid())
        return;
    CCertStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, X509_ASN_ENCODING, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE, L"MY"));
    if (!store)
        QZL_THROW(QZL_FUNCTION, CWinError());
    CCertContext certificate(::CertFindCertificateInStore(store.Get(), X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_W,
                                                          m_serverName.c_str(), nullptr));
    if (!certificate)
        QZL_THROW(QZL_FUNCTION, CWinError());
    SCHANNEL_CRED data = MakeCredentialData(0);
    PCCERT_CONTEXT certificates[] = {certificate.Get()};
    data.cCreds = 1;
    data.paCred = certificates;
    TimeStamp expiry;
    SECURITY_STATUS status = ::AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                                         SECPKG_CRED_INBOUND, nullptr, &data, nullptr, nullptr,
                                                         m_credentials.Receive(), &expiry);
    if (status != SEC_E_OK)
        QZL_THROW(QZL_FUNCTION, CComError(status));
}

void CSslSocket::Connect(const CIpAddress& endpoint)
{
    CSocket::Connect(endpoint);
    // Kept for the certificate check, which compares the name.
    m_endpoint.SetHost(endpoint.GetHost());
    InitializeClient();

    std::string serverName = ServerNameIndication(endpoint);
    SecBuffer output = {0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, &output};
    ULONG attributes = 0;
    TimeStamp expiry;
    SECURITY_STATUS status = ::InitializeSecurityContextA(
        m_credentials.Get(), nullptr, serverName.empty() ? nullptr : serverName.data(), ClientRequestFlags, 0,
        SECURITY_NATIVE_DREP, nullptr, 0, m_context.Receive(), &outputDescription, &attributes, &expiry);
    CContextBuffer token(output.pvBuffer);
    if (status != SEC_I_CONTINUE_NEEDED || !token || output.cbBuffer == 0)
        QZL_THROW(QZL_FUNCTION, CComError(status));
    CSocket::Send(output.pvBuffer, output.cbBuffer);
}

void CSslSocket::Negotiate(bool readFirst, bool force)
{
    if (m_negotiated && !force)
        return;
    m_negotiated = true;
    // Until the handshake is through, the session is in no state to close.
    m_sessionOver = true;
    // Bytes that came with a renegotiation request are the first input. What
    // a pass leaves is worked on where it lies, so that a flight cut into
    // many records is not copied once per record.
    std::string input = std::move(m_pending);
    m_pending.clear();
    size_t offset = 0;

    SECURITY_STATUS status = SEC_I_CONTINUE_NEEDED;
    ULONG clientFlags = HandshakeRequestFlags;
    bool firstPass = true;
    while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
        // More bytes only when nothing is left to work on: what the last pass
        // left over may already hold the next message, and the server may be
        // waiting for our answer to it.
        if ((offset == input.size() || status == SEC_E_INCOMPLETE_MESSAGE) && (readFirst || !firstPass)) {
            input.erase(0, offset);
            offset = 0;
            CSocket::Receive(input);
        }
        firstPass = false;

        SecBuffer inputs[2] = {{static_cast<ULONG>(input.size() - offset), SECBUFFER_TOKEN, input.data() + offset},
                               {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputDescription = {SECBUFFER_VERSION, 2, inputs};
        SecBuffer output = {0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, &output};
        ULONG attributes = 0;
        TimeStamp expiry;
        bool extendedError = false;
        if (IsConnectedOut()) {
            status = ContinueClientHandshake(offset == input.size() ? nullptr : &inputDescription, clientFlags,
                                             &outputDescription, attributes);
            extendedError = (attributes & ISC_RET_EXTENDED_ERROR) != 0;
        } else {
            bool first = !m_context.IsValid();
            status = ::AcceptSecurityContext(m_credentials.Get(), first ? nullptr : m_context.Get(),
                                             &inputDescription, HandshakeRequestFlags, SECURITY_NATIVE_DREP,
                                             first ? m_context.Receive() : m_context.Get(), &outputDescription,
                                             &attributes,
                                             &expiry);
            extendedError = (attributes & ASC_RET_EXTENDED_ERROR) != 0;
        }
        CContextBuffer token(output.pvBuffer);
        if (status == SEC_E_INCOMPLETE_MESSAGE && !extendedError)
            continue;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && (clientFlags & ISC_REQ_USE_SUPPLIED_CREDS) == 0) {
            // The server asks for a client certificate and we have none: go on
            // without one, as browsers do, on the input it was given.
            clientFlags |= ISC_REQ_USE_SUPPLIED_CREDS;
            status = SEC_I_CONTINUE_NEEDED;
            continue;
        }
        if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || (FAILED(status) && extendedError)) {
            if (token && output.cbBuffer > 0)
                CSocket::Send(output.pvBuffer, output.cbBuffer);
        }
        if (inputs[1].BufferType == SECBUFFER_EXTRA && inputs[1].cbBuffer > 0 &&
            inputs[1].cbBuffer <= input.size() - offset) {
            offset = input.size() - inputs[1].cbBuffer;
            if (status == SEC_E_OK)
                m_pending = input.substr(offset);
        } else {
            offset = input.size();
        }
    }
    if (status != SEC_E_OK)
        QZL_THROW(QZL_FUNCTION, CComError(status));
    if (IsConnectedOut()) {
        RefuseBrokenProtocol();
        if (m_verifyServerCertificate)
            VerifyServerCertificate();
    }
    m_sessionOver = false;
}

SECURITY_STATUS CSslSocket::ContinueClientHandshake(SecBufferDesc* input, ULONG flags, SecBufferDesc* output,
                                                    ULONG& attributes)
{
    TimeStamp expiry;
    return ::InitializeSecurityContextW(m_credentials.Get(), m_context.Get(), nullptr, flags, 0, SECURITY_NATIVE_DREP,
                                        input, 0, m_context.Get(), output, &attributes, &expiry);
}

void CSslSocket::RefuseBrokenProtocol()
{
    // Platforms that still enable SSL would otherwise let a server choose it.
    SecPkgContext_ConnectionInfo info = {};
    if (::QueryContextAttributesW(m_context.Get(), SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK &&
        (info.dwProtocol & (SP_PROT_SSL2 | SP_PROT_SSL3)) != 0)
        QZL_THROW(L"Quenzal::Net::CSslSocket::Negotiate", CComError(SEC_E_UNSUPPORTED_FUNCTION));
}

void CSslSocket::VerifyServerCertificate()
{
    PCCERT_CONTEXT remote = nullptr;
    SECURITY_STATUS status = ::QueryContextAttributesW(m_context.Get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote);
    CCertContext certificate(remote);
    if (FAILED(status))
        QZL_THROW(QZL_FUNCTION, CComError(status));

    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH), const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO),
                      const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
    CERT_CHAIN_PARA chainParameters = {};
    chainParameters.cbSize = sizeof(chainParameters);
    chainParameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainParameters.RequestedUsage.Usage.cUsageIdentifier = 3;
    chainParameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chainContext = nullptr;
    BOOL built = ::CertGetCertificateChain(nullptr, certificate.Get(), nullptr, certificate.Get()->hCertStore,
                                           &chainParameters, 0, nullptr, &chainContext);
    CCertChain chain(chainContext);
    if (!built)
        QZL_THROW(QZL_FUNCTION, CWinError());

    StringW serverName(m_endpoint.GetHostText());
    HTTPSPolicyCallbackData https = {};
    https.cbStruct = sizeof(https);
    https.dwAuthType = AUTHTYPE_SERVER;
    https.fdwChecks = 0;
    https.pwszServerName = serverName.data();
    CERT_CHAIN_POLICY_PARA policyParameters = {};
    policyParameters.cbSize = sizeof(policyParameters);
    policyParameters.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS policyStatus = {};
    policyStatus.cbSize = sizeof(policyStatus);
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.Get(), &policyParameters, &policyStatus))
        QZL_THROW(QZL_FUNCTION, CWinError());
    if (policyStatus.dwError != 0)
        QZL_THROW(QZL_FUNCTION,
                  CComError(static_cast<HRESULT>(policyStatus.dwError)));
}

void CSslSocket::Send(const void* data, size_t length)
{
    Negotiate(true, false);
    if (data == nullptr || length == 0)
        return;
    SecPkgContext_StreamSizes sizes = {};
    SECURITY_STATUS status = ::QueryContextAttributesW(m_context.Get(), SECPKG_ATTR_STREAM_SIZES, &sizes);
    if (FAILED(status))
        QZL_THROW(QZL_FUNCTION, CComError(status));

    std::vector<char> record(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer);
    const char* bytes = static_cast<const char*>(data);
    // A record sent in part cuts the stream for good.
    const bool over = m_sessionOver;
    m_sessionOver = true;
    while (length > 0) {
        ULONG piece = static_cast<ULONG>(std::min<size_t>(length, sizes.cbMaximumMessage));
        memcpy(record.data() + sizes.cbHeader, bytes, piece);
        SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                                {piece, SECBUFFER_DATA, record.data() + sizes.cbHeader},
                                {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + piece},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        status = ::EncryptMessage(m_context.Get(), 0, &description, 0);
        if (FAILED(status))
            QZL_THROW(QZL_FUNCTION, CComError(status));
        // The trailer may come out shorter than announced.
        CSocket::Send(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        bytes += piece;
        length -= piece;
    }
    m_sessionOver = over;
}

void CSslSocket::Receive(std::string& buffer)
{
    Negotiate(true, false);
    if (m_endPending) {
        m_endPending = false;
        return;
    }
    // Records are decrypted where they lie, as many as have come whole, and
    // what is left moves to the front once: a peer that sends its bytes in
    // many small records costs what they bring.
    size_t offset = 0;
    size_t decrypted = 0;
    SECURITY_STATUS status = SEC_E_OK;
    for (;;) {
        if (offset == m_pending.size() || status == SEC_E_INCOMPLETE_MESSAGE) {
            if (decrypted > 0)
                break;
            m_pending.erase(0, offset);
            offset = 0;
            CSocket::Receive(m_pending);
        } else if (decrypted > 0 && !IsWholeDataRecord(m_pending, offset)) {
            break;
        }
        // The record type travels in clear before TLS 1.3; it tells a close
        // notification from an empty data record when both decrypt to nothing.
        bool alert = static_cast<unsigned char>(m_pending[offset]) == AlertRecord;

        SecBuffer buffers[4] = {{static_cast<ULONG>(m_pending.size() - offset), SECBUFFER_DATA,
                                 m_pending.data() + offset},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        status = ::DecryptMessage(m_context.Get(), &description, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            continue;
        if (FAILED(status)) {
            m_sessionOver = true;
            QZL_THROW(QZL_FUNCTION, CComError(status));
        }
        if (status != SEC_E_OK) {
            QZL_REPORT_NON_SUCCESS(QZL_FUNCTION, status);
            if (status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE)
                QZL_THROW(QZL_FUNCTION, CComError(status));
        }

        const SecBuffer* extra = nullptr;
        for (int i = 1; i < 4; ++i) {
            if (buffers[i].BufferType == SECBUFFER_DATA && buffers[i].cbBuffer > 0) {
                buffer.append(static_cast<const char*>(buffers[i].pvBuffer), buffers[i].cbBuffer);
                decrypted += buffers[i].cbBuffer;
            } else if (buffers[i].BufferType == SECBUFFER_EXTRA) {
                if (extra != nullptr)
                    QZL_THROW(QZL_FUNCTION,
                              CException(L"Multiple SECBUFFER_EXTRA buffers returned from DecryptMessage"));
                extra = &buffers[i];
            }
        }
        const size_t left = extra != nullptr ? std::min<size_t>(extra->cbBuffer, m_pending.size() - offset) : 0;
        offset = m_pending.size() - left;

        if (status == SEC_I_CONTEXT_EXPIRED) {
            m_sessionOver = true;
            // The end is told by a receive of its own, after the data before it.
            m_endPending = decrypted > 0;
            break;
        }
        if (status == SEC_I_RENEGOTIATE) {
            // The bytes after the request belong to the new handshake.
            m_pending.erase(0, offset);
            offset = 0;
            Negotiate(false, true);
            continue;
        }
        // An empty data record is no end of the stream; a close notification
        // (some platforms give it as a success) is.
        if (decrypted == 0 && alert) {
            m_sessionOver = true;
            break;
        }
    }
    m_pending.erase(0, offset);
}

void CSslSocket::Close()
{
    // A session cut in the middle of a record, ended by the peer or past its
    // deadline has no way left to say goodbye.
    if (m_context.IsValid() && !m_sessionOver && !m_deadline.HasPassed())
        SendCloseNotification();
    CSocket::Close();
}

void CSslSocket::SendCloseNotification()
{
    // A courtesy to the peer: it never waits, and when it fails, the session
    // ends all the same, so that is no error and nothing is thrown.
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer shutdown = {sizeof(type), SECBUFFER_TOKEN, &type};
    SecBufferDesc shutdownDescription = {SECBUFFER_VERSION, 1, &shutdown};
    SECURITY_STATUS status = ::ApplyControlToken(m_context.Get(), &shutdownDescription);
    if (status != SEC_E_OK && !FAILED(status))
        QZL_REPORT_NON_SUCCESS(L"Quenzal::Net::CSslSocket::Close", status);
    SecBuffer output = {0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outputDescription = {SECBUFFER_VERSION, 1, &output};
    if (!FAILED(status)) {
        ULONG attributes = 0;
        TimeStamp expiry;
        if (IsConnectedOut())
            status = ::InitializeSecurityContextW(m_credentials.Get(), m_context.Get(), nullptr, ClientRequestFlags, 0,
                                                  SECURITY_NATIVE_DREP, nullptr, 0, m_context.Get(),
                                                  &outputDescription, &attributes, &expiry);
        else
            status = ::AcceptSecurityContext(m_credentials.Get(), m_context.Get(), nullptr, HandshakeRequestFlags,
                                             SECURITY_NATIVE_DREP, m_context.Get(), &outputDescription, &attributes,
                                             &expiry);
        if (status != SEC_E_OK && !FAILED(status))
            QZL_REPORT_NON_SUCCESS(L"Quenzal::Net::CSslSocket::Close", status);
    }
    CContextBuffer token(output.pvBuffer);
    if (FAILED(status))
        Logging::Log(Logging::Debug, (L"No TLS close notification was made: " +
                                      GetErrorText(static_cast<DWORD>(status))).c_str());
    else if (token && output.cbBuffer > 0 && !SendWithoutWaiting(output.pvBuffer, output.cbBuffer))
        Logging::Log(Logging::Debug, L"The connection did not take the TLS close notification at once; it closes "
                                     L"without it");
}

void CSslSocket::CloseSocket()
{
    m_context.Close();
    m_negotiated = false;
    m_sessionOver = false;
    m_pending.clear();
    CSocket::CloseSocket();
}

std::shared_ptr<CSocket> CSslSocket::CreateAcceptedSocket(SOCKET handle, const CIpAddress& endpoint)
{
    auto socket = std::make_shared<CSslSocket>(handle, endpoint);
    socket->SetServerName(m_serverName);
    try {
        socket->InitializeServer();
    } catch (...) {
        // Accept closes the handle it gave us.
        socket->ReleaseHandle();
        throw;
    }
    return socket;
}

} // namespace Quenzal::Net

#pragma once
// A loopback server of tests/servers/qzlserver.py, started on the Linux side
// from inside Wine for the lifetime of the object.

#include <windows.h>

#include <string>
#include <vector>

namespace QzlTest {

// Starts "qzlserver.py <arguments>" (for instance {"echo", "--tls", "--chunk", "100"})
// and waits until it listens on 127.0.0.1. The server picks its own port, so
// tests running in parallel never meet. It stops when this object goes away,
// and also when the test process ends in any other way: the object holds the
// server's control connection, and the server leaves when that closes.
// Raises std::runtime_error when the server does not come up.
class CTestServer {
public:
    explicit CTestServer(const std::vector<std::string>& arguments);
    ~CTestServer();
    CTestServer(const CTestServer&) = delete;
    CTestServer& operator=(const CTestServer&) = delete;

    unsigned short Port() const { return m_port; }
    // "127.0.0.1:<port>"
    std::string Address() const;

private:
    unsigned short m_port = 0;
    SOCKET m_lifeline = INVALID_SOCKET;
};

// The Linux path of a Windows path (Wine's own mapping); empty when there is none.
std::string UnixPath(const std::wstring& windowsPath);

} // namespace QzlTest

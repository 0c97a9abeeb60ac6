#pragma once
// A failed Winsock call: the Winsock error code and the address or host text
// involved. Code 0 means the peer closed the connection.

#include "Exception.h"

#include <string>

namespace Quenzal::Net {

class CSocketError : public CException {
public:
    // The code is WSAGetLastError at the moment the error is built.
    CSocketError();
    explicit CSocketError(const char* context);
    CSocketError(DWORD code, const char* context);
    CSocketError(const CSocketError& other) = default;
    CSocketError& operator=(const CSocketError& other) = default;

    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
    StringW GetDescription() const override;
    DWORD GetErrorCode() const override { return m_code; }
    HRESULT GetHResult() const override { return E_FAIL; }
    const std::string& GetContext() const { return m_context; }

private:
    DWORD m_code;
    std::string m_context;
};

} // namespace Quenzal::Net

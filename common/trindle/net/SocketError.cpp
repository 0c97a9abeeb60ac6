#include "SocketError.h"

namespace Quenzal::Net {

CSocketError::CSocketError() : m_code(static_cast<DWORD>(::WSAGetLastError())) {}

CSocketError::CSocketError(const char* context)
    : m_code(static_cast<DWORD>(::WSAGetLastError())), m_context(context != nullptr ? context : "")
{
}

CSocketError::CSocketError(DWORD code, const char* context) : m_code(code), m_context(context != nullptr ? context : "")
{
}

StringW CSocketError::GetDescription() const
{
    StringW errorText = m_code == 0 ? StringW(L"Connection reset by peer") : GetErrorText(m_code);
    return CombineMessage(errorText, StringW(m_context));
}

} // namespace Quenzal::Net

// Logon and the session it gives.
#include "Provider.h"

namespace QzlTestMapi {
namespace {

class CSessionStubs : public IMAPISession {
public:
    QZL_TEST_MAPI_STUBS(MAPI_IMAPISESSION_METHODS)
};

class CSession : public CObject<CSessionStubs, IMAPISession> {
public:
    STDMETHODIMP GetLastError(HRESULT, ULONG flags, LPMAPIERROR* error) override
    {
        return ProvideLastError("IMAPISession::GetLastError", flags, error);
    }

    // The user's entry id: the flags, then "QZLTEST-USER".
    STDMETHODIMP QueryIdentity(ULONG* size, LPENTRYID* entryId) override
    {
        HRESULT hr = CallResult("IMAPISession::QueryIdentity");
        if (FAILED(hr))
            return hr;
        if (size == nullptr || entryId == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        static const char identity[] = "QZLTEST-USER";
        void* buffer = nullptr;
        if (FAILED(MAPIAllocateBuffer(4 + sizeof(identity), &buffer)))
            return MAPI_E_NOT_ENOUGH_MEMORY;
        memset(buffer, 0, 4);
        memcpy(static_cast<BYTE*>(buffer) + 4, identity, sizeof(identity));
        *size = 4 + sizeof(identity);
        *entryId = static_cast<LPENTRYID>(buffer);
        return hr;
    }
};

} // namespace
} // namespace QzlTestMapi

extern "C" HRESULT WINAPI MAPIInitialize(LPVOID)
{
    return QzlTestMapi::CallResult("MAPIInitialize");
}

extern "C" void WINAPI MAPIUninitialize()
{
    QzlTestMapi::CallResult("MAPIUninitialize");
}

extern "C" HRESULT WINAPI MAPILogonEx(ULONG_PTR, LPTSTR, LPTSTR, ULONG, LPMAPISESSION* session)
{
    HRESULT hr = QzlTestMapi::CallResult("MAPILogonEx");
    if (FAILED(hr))
        return hr;
    if (session == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *session = new QzlTestMapi::CSession;
    return hr;
}

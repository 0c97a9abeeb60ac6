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

    STDMETHODIMP QueryIdentity(ULONG* size, LPENTRYID* entryId) override
    {
        HRESULT hr = CallResult("IMAPISession::QueryIdentity");
        if (FAILED(hr))
            return hr;
        if (size == nullptr || entryId == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        void* buffer = nullptr;
        if (FAILED(MAPIAllocateBuffer(sizeof(UserEntryId), &buffer)))
            return MAPI_E_NOT_ENOUGH_MEMORY;
        memcpy(buffer, UserEntryId, sizeof(UserEntryId));
        *size = sizeof(UserEntryId);
        *entryId = static_cast<LPENTRYID>(buffer);
        return hr;
    }

    // The session opens address-book entries only.
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID entryId, LPCIID, ULONG, ULONG* type, LPUNKNOWN* object) override
    {
        return OpenFoundEntry("IMAPISession::OpenEntry", FindMailUser(size, entryId), MAPI_E_UNKNOWN_ENTRYID,
                              MAPI_MAILUSER, type, object);
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

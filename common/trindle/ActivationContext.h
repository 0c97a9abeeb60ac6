#pragma once
// Activates the host executable's side-by-side activation context (its
// manifest resource) on the calling thread for the lifetime of the object, so
// that dialogs shown meanwhile get the host's common controls.

#include <windows.h>

namespace Quenzal::Os {

class CActivationContext {
public:
    CActivationContext() = default;
    ~CActivationContext();
    CActivationContext(const CActivationContext&) = delete;
    CActivationContext& operator=(const CActivationContext&) = delete;

    // Releases any context held, then creates and activates the one of the
    // host's manifest resource of that id. False when the host has no manifest
    // resource of that id; other failures raise CWinError.
    bool ActivateContext(int resourceId);

private:
    void Release();

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    ULONG_PTR m_cookie = 0;
};

} // namespace Quenzal::Os

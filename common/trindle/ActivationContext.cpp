#include "ActivationContext.h"

#include "ErrorReport.h"
#include "Modules.h"

namespace Quenzal::Os {

CActivationContext::~CActivationContext()
{
    Release();
}

void CActivationContext::Release()
{
    if (m_handle == INVALID_HANDLE_VALUE)
        return;
    if (m_cookie != 0)
        ::DeactivateActCtx(0, m_cookie);
    ::ReleaseActCtx(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_cookie = 0;
}

bool CActivationContext::ActivateContext(int resourceId)
{
    Release();
    // The manifest comes from the process that loaded us, not from our module.
    StringW hostPath = GetHostModulePath();
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    context.lpSource = hostPath.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(resourceId);
    context.hModule = ::GetModuleHandleW(nullptr);
    HANDLE handle = ::CreateActCtxW(&context);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        DWORD error = ::GetLastError();
        if (error == ERROR_RESOURCE_NAME_NOT_FOUND)
            return false;
        QZL_THROW(QZL_FUNCTION, CWinError(error, nullptr));
    }
    m_handle = handle;
    if (!::ActivateActCtx(m_handle, &m_cookie))
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), nullptr));
    return true;
}

} // namespace Quenzal::Os

#include "MapiErrorPolicy.h"

#include "ErrorReport.h"
#include "FatalExit.h"
#include "Logging.h"

namespace Quenzal::Mapi {

bool& ExitOnNetworkError()
{
    static bool exit = true;
    return exit;
}

bool& ExitOnOutOfMemory()
{
    static bool exit = true;
    return exit;
}

bool& ExitOnCorruptStore()
{
    static bool exit = false;
    return exit;
}

namespace {

bool IsFatal(HRESULT hr)
{
    return (hr == MAPI_E_NETWORK_ERROR && ExitOnNetworkError()) ||
           (hr == MAPI_E_NOT_ENOUGH_MEMORY && ExitOnOutOfMemory()) ||
           (hr == MAPI_E_CORRUPT_STORE && ExitOnCorruptStore());
}

} // namespace

void JudgeMapiResult(HRESULT hr, const std::function<CMapiErrorBuffer()>& lastError, MapiCallKind kind,
                     const MapiCallSite& site)
{
    if (IsFatal(hr)) {
        CMapiErrorBuffer error = lastError();
        Logging::Log(Logging::Error, FormatMapiErrorMessage(hr, L"", error.Get()).c_str());
        error.Close();
        FatalExit(static_cast<DWORD>(hr), site.file, site.function, site.line);
    }
    if (hr == S_OK || (kind == MapiCallKind::GetProps && hr == MAPI_W_ERRORS_RETURNED))
        return;
    CMapiErrorBuffer error = lastError();
    if (hr > 0) {
        Logging::Log(Logging::Warning, FormatMapiErrorMessage(hr, L"", error.Get()).c_str());
        return;
    }
    CMapiError exception(hr, error.Get());
    error.Close();
    ThrowReported(exception, site.file, site.function, site.line);
}

} // namespace Quenzal::Mapi

#include "OsHelperObjects.h"

#include "ErrorReport.h"

namespace Quenzal::Os {

bool TryGetModuleFileName(HMODULE module, StringW& path)
{
    // A path that does not fit is cut by the system; read it again into a
    // larger buffer instead of handing out a shortened path.
    DWORD size = MAX_PATH + 1;
    for (;;) {
        path.assign(size, L'\0');
        DWORD length = ::GetModuleFileNameW(module, path.data(), size);
        if (length == 0) {
            path.clear();
            return false;
        }
        if (length < size) {
            path.resize(length);
            return true;
        }
        if (size >= 0x10000) {
            path.clear();
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        size *= 2;
    }
}

ModulePath::ModulePath(const wchar_t* moduleName)
{
    HMODULE module = nullptr;
    if (moduleName != nullptr && moduleName[0] != L'\0') {
        // Without this check a module that is not loaded would silently give
        // the path of the executable.
        module = ::GetModuleHandleW(moduleName);
        if (module == nullptr)
            QZL_THROW(QZL_FUNCTION, CWinError(moduleName));
    }
    if (!TryGetModuleFileName(module, m_path))
        QZL_THROW(QZL_FUNCTION, CWinError());
}

} // namespace Quenzal::Os

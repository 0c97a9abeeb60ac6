#include "RegistryKey.h"

#include "ErrorReport.h"
#include "RegistryValues.h"

namespace Quenzal::Os {

void CRegistryKey::Open(HKEY root, const wchar_t* path, REGSAM access)
{
    CRegKeyHandle key;
    LSTATUS result = ::RegOpenKeyExW(root, path, 0, access, key.Receive());
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
    Reset(key.Detach());
}

bool CRegistryKey::TryOpen(HKEY root, const wchar_t* path, REGSAM access)
{
    CRegKeyHandle key;
    LSTATUS result = ::RegOpenKeyExW(root, path, 0, access, key.Receive());
    if (result == ERROR_FILE_NOT_FOUND)
        return false;
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
    Reset(key.Detach());
    return true;
}

void CRegistryKey::Create(HKEY root, const wchar_t* path, REGSAM access)
{
    CRegKeyHandle key;
    LSTATUS result = ::RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                       key.Receive(), nullptr);
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
    Reset(key.Detach());
}

StringW CRegistryKey::TryGetString(const wchar_t* name) const
{
    return TryGetStringValue(Get(), name);
}

std::string CRegistryKey::GetBinaryValue(const wchar_t* name) const
{
    return GetRegistryBinary(Get(), name);
}

} // namespace Quenzal::Os

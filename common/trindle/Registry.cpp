#include "Registry.h"

#include "ErrorReport.h"
#include "RegistryValues.h"

#include <shlwapi.h>

namespace Quenzal::Os {

CRegKeyHandle TryOpenSubkey(HKEY root, const wchar_t* path)
{
    CRegKeyHandle key;
    LSTATUS result = ::RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.Receive());
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED)
        return CRegKeyHandle();
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
    return key;
}

CRegKeyHandle CreateSubkey(HKEY root, const wchar_t* path)
{
    CRegKeyHandle key;
    LSTATUS result = ::RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                       key.Receive(), nullptr);
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
    return key;
}

void DeleteRegistryValue(HKEY key, const wchar_t* name)
{
    LSTATUS result = ::RegDeleteValueW(key, name);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
}

void DeleteRegistryKey(HKEY root, const wchar_t* path)
{
    LSTATUS result = ::RegDeleteKeyW(root, path);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
}

void DeleteRegistryTree(HKEY root, const wchar_t* path)
{
    // An empty path would empty the root itself.
    LSTATUS result = path != nullptr && *path != L'\0' ? ::RegDeleteTreeW(root, path) : ERROR_INVALID_PARAMETER;
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
}

namespace {

// SHDeleteEmptyKeyW is not everywhere strict about values (some
// implementations delete a key that still holds them), so values are
// counted here first.
LSTATUS CheckKeyHasNoValues(HKEY root, const wchar_t* path)
{
    CRegKeyHandle key;
    LSTATUS result = ::RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.Receive());
    if (result != ERROR_SUCCESS)
        return result;
    DWORD values = 0;
    result = ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS && values != 0)
        return ERROR_KEY_HAS_CHILDREN;
    return result;
}

} // namespace

void DeleteEmptyRegistryKey(HKEY root, const wchar_t* path)
{
    LSTATUS result = CheckKeyHasNoValues(root, path);
    if (result == ERROR_SUCCESS)
        result = static_cast<LSTATUS>(::SHDeleteEmptyKeyW(root, path));
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), path));
}

namespace {

bool TryDelete(void (*remove)(HKEY, const wchar_t*), HKEY root, const wchar_t* path, const wchar_t* function)
{
    try {
        remove(root, path);
        return true;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(function, e);
        return false;
    }
}

} // namespace

bool TryDeleteRegistryKey(HKEY root, const wchar_t* path)
{
    return TryDelete(DeleteRegistryKey, root, path, QZL_FUNCTION);
}

bool TryDeleteRegistryTree(HKEY root, const wchar_t* path)
{
    return TryDelete(DeleteRegistryTree, root, path, QZL_FUNCTION);
}

bool TryDeleteEmptyRegistryKey(HKEY root, const wchar_t* path)
{
    return TryDelete(DeleteEmptyRegistryKey, root, path, QZL_FUNCTION);
}

StringW TryGetRegistryString(HKEY root, const wchar_t* path, const wchar_t* name)
{
    CRegKeyHandle key = TryOpenSubkey(root, path);
    if (!key)
        return StringW();
    return TryGetStringValue(key.Get(), name);
}

bool IsRegistryFlagSet(const wchar_t* path, const wchar_t* name)
{
    CRegKeyHandle key = TryOpenSubkey(HKEY_CURRENT_USER, path);
    if (!key)
        return false;
    DWORD value = 0;
    return GetRegistryDwordSetting(key.Get(), name, value) && value != 0;
}

} // namespace Quenzal::Os

#include "RegistryValues.h"

#include "DataProtection.h"
#include "EnvironmentVariables.h"
#include "ErrorReport.h"
#include "Logging.h"

namespace Quenzal::Os {

void VerifyValidRegistryString(DWORD type, DWORD byteCount)
{
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"Registry value is of an unexpected type: expected string but got '%s'",
                                             GetRegistryTypeName(type).c_str())));
    if (byteCount % 2 != 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Registry value buffer is of type REG_SZ but has an odd number of bytes"));
}

void VerifyRegistryValueType(DWORD expected, DWORD actual)
{
    if (expected != actual)
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"Registry value is of an unexpected type: expected '%s' but got '%s'",
                                             GetRegistryTypeName(expected).c_str(),
                                             GetRegistryTypeName(actual).c_str())));
}

bool GetRegistryString(HKEY key, const wchar_t* name, StringW& value)
{
    wchar_t buffer[261];
    DWORD type = REG_SZ;
    DWORD size = sizeof(buffer);
    LSTATUS result = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    StringW text;
    if (result == ERROR_SUCCESS) {
        VerifyValidRegistryString(type, size);
        text.assign(buffer, size / 2);
    } else if (result == ERROR_MORE_DATA) {
        VerifyValidRegistryString(type, size);
        text.resize(size / 2);
        result = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
        if (result != ERROR_SUCCESS)
            QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
        VerifyValidRegistryString(type, size);
        text.resize(size / 2);
    } else if (result == ERROR_FILE_NOT_FOUND) {
        return false;
    } else {
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
    }
    if (!text.empty() && text.back() == L'\0')
        text.pop_back();
    if (type == REG_EXPAND_SZ)
        text = ExpandEnvironmentVariables(text);
    value = std::move(text);
    return true;
}

void SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    LSTATUS result = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    // The value's name, never its data: this may be a stored secret.
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
}

StringW TryGetStringValue(HKEY key, const wchar_t* name)
{
    StringW value;
    GetRegistryString(key, name, value);
    return value;
}

bool GetRegistryDword(HKEY key, const wchar_t* name, DWORD& value)
{
    DWORD data = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof(data);
    LSTATUS result = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (result == ERROR_FILE_NOT_FOUND)
        return false;
    // A short string may come back one terminator longer than it was stored
    // and overflow the four bytes; its type is the error worth reporting.
    if (result == ERROR_MORE_DATA && type != REG_DWORD)
        VerifyRegistryValueType(REG_DWORD, type);
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
    VerifyRegistryValueType(REG_DWORD, type);
    value = data;
    return true;
}

void SetRegistryDword(HKEY key, const wchar_t* name, DWORD value)
{
    LSTATUS result =
        ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
}

StringW GetRegistryTypeName(DWORD type)
{
    switch (type) {
    case REG_NONE:
        return L"REG_NONE";
    case REG_SZ:
        return L"REG_SZ";
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ";
    case REG_BINARY:
        return L"REG_BINARY";
    case REG_DWORD:
        return L"REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
        return L"REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return L"REG_LINK";
    case REG_MULTI_SZ:
        return L"REG_MULTI_SZ";
    case REG_RESOURCE_LIST:
        return L"REG_RESOURCE_LIST";
    case REG_FULL_RESOURCE_DESCRIPTOR:
        return L"REG_FULL_RESOURCE_DESCRIPTOR";
    case REG_RESOURCE_REQUIREMENTS_LIST:
        return L"REG_RESOURCE_REQUIREMENTS_LIST";
    case REG_QWORD:
        return L"REG_QWORD";
    default:
        return StringW::Format(L"Unknown registry value type: %u", type);
    }
}

namespace {

// False, with the Warning, when the value is there but not of the kind
// wanted; false without a word when it is absent.
template <class Accepts>
bool IsWellFormedSetting(HKEY key, const wchar_t* name, const wchar_t* wanted, Accepts accepts)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    LSTATUS result = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND)
        return false;
    if (result != ERROR_SUCCESS)
        QZL_THROW(L"Quenzal::Os::IsWellFormedSetting", CWinError(static_cast<DWORD>(result), name));
    if (accepts(type, size))
        return true;
    Logging::LogFormat(Logging::Warning, L"Registry value '%s' is not a valid %s (%s of %u bytes); taken as absent",
                       name, wanted, GetRegistryTypeName(type).c_str(), size);
    return false;
}

} // namespace

bool GetRegistryDwordSetting(HKEY key, const wchar_t* name, DWORD& value)
{
    const auto accepts = [](DWORD type, DWORD size) { return type == REG_DWORD && size == sizeof(DWORD); };
    return IsWellFormedSetting(key, name, L"REG_DWORD", accepts) && GetRegistryDword(key, name, value);
}

StringW TryGetStringSetting(HKEY key, const wchar_t* name)
{
    const auto accepts = [](DWORD type, DWORD size) {
        return (type == REG_SZ || type == REG_EXPAND_SZ) && size % 2 == 0;
    };
    return IsWellFormedSetting(key, name, L"string", accepts) ? TryGetStringValue(key, name) : StringW();
}

std::string GetRegistryBinarySetting(HKEY key, const wchar_t* name, size_t minimumSize)
{
    const auto accepts = [minimumSize](DWORD type, DWORD size) { return type == REG_BINARY && size >= minimumSize; };
    const StringW wanted = StringW::Format(L"REG_BINARY of %Iu bytes or more", minimumSize);
    return IsWellFormedSetting(key, name, wanted.c_str(), accepts) ? GetRegistryBinary(key, name) : std::string();
}

std::string GetRegistryBinary(HKEY key, const wchar_t* valueName)
{
    DWORD type = REG_NONE;
    std::string data;
    if (!GetRegistryDataW(key, valueName, type, data))
        return std::string();
    VerifyRegistryValueType(REG_BINARY, type);
    return data;
}

bool GetRegistryDataW(HKEY key, const wchar_t* name, DWORD& type, std::string& data)
{
    BYTE buffer[522];
    DWORD size = sizeof(buffer);
    LSTATUS result = ::RegQueryValueExW(key, name, nullptr, &type, buffer, &size);
    if (result == ERROR_SUCCESS) {
        data.assign(reinterpret_cast<const char*>(buffer), size);
        return true;
    }
    if (result == ERROR_MORE_DATA) {
        data.assign(size, '\0');
        result = ::RegQueryValueExW(key, name, nullptr, &type,
                                    size == 0 ? nullptr : reinterpret_cast<BYTE*>(data.data()), &size);
        if (result != ERROR_SUCCESS)
            QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
        // The value may have shrunk since the first query.
        data.resize(size);
        return true;
    }
    if (result == ERROR_FILE_NOT_FOUND)
        return false;
    QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
}

void SetRegistryDataW(HKEY key, const wchar_t* name, DWORD type, const std::string& data)
{
    LSTATUS result = ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                      static_cast<DWORD>(data.size()));
    if (result != ERROR_SUCCESS)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), name));
}

bool GetAccountKey(HKEY key, StringW& accountKey)
{
    const std::string data = GetRegistryBinary(key, L"AccountKey");
    if (data.empty())
        return false;
    accountKey = StringW(FromBinary, DecryptDataString(data));
    return true;
}

} // namespace Quenzal::Os

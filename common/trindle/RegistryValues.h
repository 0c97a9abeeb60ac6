#pragma once
// Typed reads and writes of the values of an open registry key. A missing
// value reads as false with the output untouched; a value of another type than
// asked for raises CException with both type names; every other failure raises
// CWinError naming the value.

#include "StringW.h"

#include <string>

namespace Quenzal::Os {

// "REG_SZ", "REG_DWORD", ... or "Unknown registry value type: <n>".
StringW GetRegistryTypeName(DWORD type);

// Raises unless the type is a string type with an even byte count.
void VerifyValidRegistryString(DWORD type, DWORD byteCount);
// Raises unless the two types are the same.
void VerifyRegistryValueType(DWORD expected, DWORD actual);

// REG_SZ or REG_EXPAND_SZ (expanded); one terminating NUL is dropped.
bool GetRegistryString(HKEY key, const wchar_t* name, StringW& value);
// Always written as REG_SZ with its terminating NUL.
void SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& value);
StringW TryGetStringValue(HKEY key, const wchar_t* name);

bool GetRegistryDword(HKEY key, const wchar_t* name, DWORD& value);
void SetRegistryDword(HKEY key, const wchar_t* name, DWORD value);

// Reads of settings a person may have edited by hand: a value that is there
// but is no well-formed value of the kind asked for counts as absent, with a
// Warning that names it, so that one damaged value cannot stop the product.
bool GetRegistryDwordSetting(HKEY key, const wchar_t* name, DWORD& value);
StringW TryGetStringSetting(HKEY key, const wchar_t* name);
// The bytes of a REG_BINARY setting of at least minimumSize bytes; empty otherwise.
std::string GetRegistryBinarySetting(HKEY key, const wchar_t* name, size_t minimumSize);

// The bytes of a REG_BINARY value; empty when the value is absent.
std::string GetRegistryBinary(HKEY key, const wchar_t* valueName);
// Raw bytes of a value of any type.
bool GetRegistryDataW(HKEY key, const wchar_t* name, DWORD& type, std::string& data);
void SetRegistryDataW(HKEY key, const wchar_t* name, DWORD type, const std::string& data);

// The legacy account key: a REG_BINARY "AccountKey" protected for the current
// user, holding UTF-16 text.
bool GetAccountKey(HKEY key, StringW& accountKey);

} // namespace Quenzal::Os

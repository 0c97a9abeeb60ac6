#pragma once
// Opening, creating and deleting registry keys by path. A key or value that
// does not exist is "absent" (an empty handle, false, an empty text), never an
// error; every other failure raises CWinError naming the path or value.

#include "RegistryKey.h"

namespace Quenzal::Os {

// Opened for reading values; empty when the key is missing or was deleted
// while the path was being opened.
CRegKeyHandle TryOpenSubkey(HKEY root, const wchar_t* path);
// Opened for writing values; created when missing.
CRegKeyHandle CreateSubkey(HKEY root, const wchar_t* path);

void DeleteRegistryValue(HKEY key, const wchar_t* name);
void DeleteRegistryKey(HKEY root, const wchar_t* path);
// Deletes the key with its values and every key below it, also those that
// other software added.
void DeleteRegistryTree(HKEY root, const wchar_t* path);
// Deletes the key only when it holds neither values nor sub-keys.
void DeleteEmptyRegistryKey(HKEY root, const wchar_t* path);
// These log a failure and give false instead of raising it.
bool TryDeleteRegistryKey(HKEY root, const wchar_t* path);
bool TryDeleteRegistryTree(HKEY root, const wchar_t* path);
bool TryDeleteEmptyRegistryKey(HKEY root, const wchar_t* path);

// The string value, or empty when the key or the value is absent.
StringW TryGetRegistryString(HKEY root, const wchar_t* path, const wchar_t* name);
// True only when the key under HKEY_CURRENT_USER holds a non-zero DWORD of
// that name; a value of another type counts as absent.
bool IsRegistryFlagSet(const wchar_t* path, const wchar_t* name);

} // namespace Quenzal::Os

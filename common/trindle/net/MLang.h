#pragma once
// The platform's internet-charset converter ("MLANG.DLL"), loaded at run time
// on first use. Loading happens outside any static initialiser or DllMain,
// where the loader lock forbids LoadLibrary; the module then stays loaded for
// the rest of the process for the same reason.

#include <windows.h>

namespace Quenzal::Os {

using ConvertINetMultiByteToUnicodeFn = HRESULT(WINAPI*)(LPDWORD mode, DWORD encoding, LPCSTR source,
                                                         LPINT sourceCount, LPWSTR target, LPINT targetCount);
using ConvertINetUnicodeToMultiByteFn = HRESULT(WINAPI*)(LPDWORD mode, DWORD encoding, LPCWSTR source,
                                                         LPINT sourceCount, LPSTR target, LPINT targetCount);

// What was found of the converter; every member is null when it is absent.
struct MLangLibrary {
    HMODULE module = nullptr;
    ConvertINetMultiByteToUnicodeFn convertINetMultiByteToUnicode = nullptr;
    ConvertINetUnicodeToMultiByteFn convertINetUnicodeToMultiByte = nullptr;
};

// Loads the converter the first time it is asked for (thread-safe).
const MLangLibrary& GetMLangLibrary();

} // namespace Quenzal::Os

// A small library that tests load, register and inspect. It carries the core
// library, so that functions which look at "this module" can be asked here.

#include "Minidump.h"

#include <windows.h>

#include <cwchar>
#include <stdexcept>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer()
{
    // The test chooses the result through the environment.
    wchar_t text[32] = {};
    if (::GetEnvironmentVariableW(L"QZL_TESTDLL_REGISTER_RESULT", text, 32) == 0)
        return S_OK;
    return static_cast<HRESULT>(wcstoul(text, nullptr, 0));
}

// The crash-dump name as this library would make it.
extern "C" __declspec(dllexport) void QzlTestMinidumpFileName(wchar_t* buffer, size_t size)
{
    Quenzal::StringW name = Quenzal::Os::GetMinidumpFileName();
    wcsncpy_s(buffer, size, name.c_str(), _TRUNCATE);
}

// A C++ exception thrown and caught here: the runtime this library carries
// then holds state for the calling thread.
extern "C" __declspec(dllexport) int QzlTestThrowAndCatch()
{
    try {
        throw std::runtime_error("caught here");
    } catch (const std::runtime_error&) {
        return 1;
    }
}

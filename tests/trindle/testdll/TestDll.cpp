// A small library that tests load, register and inspect.

#include <windows.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer()
{
    // The test chooses the result through the environment.
    wchar_t text[32] = {};
    if (::GetEnvironmentVariableW(L"QZL_TESTDLL_REGISTER_RESULT", text, 32) == 0)
        return S_OK;
    return static_cast<HRESULT>(wcstoul(text, nullptr, 0));
}

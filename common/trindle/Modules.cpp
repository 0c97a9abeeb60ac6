#include "Modules.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "Os.h"

namespace Quenzal::Os {

StringW GetModulePath(HMODULE module)
{
    StringW path;
    if (!TryGetModuleFileName(module, path))
        QZL_THROW(QZL_FUNCTION, CWinError());
    return path;
}

StringW GetHostModulePath()
{
    static const ModulePath host(L"");
    return host.GetPath();
}

StringW GetModuleBaseName()
{
    return RemoveFileExtension(GetFileNameFromPath(GetHostModulePath()));
}

CModule LoadModule(const wchar_t* path)
{
    CModule module(::LoadLibraryW(path));
    if (!module)
        QZL_THROW(QZL_FUNCTION, CWinError(path));
    return module;
}

CModule TryLoadSystemModule(const wchar_t* name)
{
    CModule module(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        // Systems without the search flags: the full path says where to look.
        wchar_t folder[MAX_PATH + 1] = {};
        UINT length = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
        if (length != 0 && length <= MAX_PATH)
            module.Reset(::LoadLibraryW(CombinePath(folder, name).c_str()));
    }
    return module;
}

CModule LoadSystemModule(const wchar_t* name)
{
    CModule module = TryLoadSystemModule(name);
    if (!module)
        QZL_THROW(QZL_FUNCTION, CWinError(name));
    return module;
}

void RegisterModule(const wchar_t* path)
{
    CModule module = LoadModule(path);
    using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
    auto registerServer =
        reinterpret_cast<RegisterFunction>(reinterpret_cast<void*>(::GetProcAddress(module.Get(), "DllRegisterServer")));
    if (registerServer == nullptr)
        QZL_THROW(L"DllRegisterServer", CWinError(path));
    HRESULT hr = registerServer();
    if (FAILED(hr))
        QZL_THROW(L"DllRegisterServer", CComError(hr));
    if (hr != S_OK)
        Logging::Log(Logging::Warning,
                     FormatReportLine(L"Non-success condition during COM call", __FILE__, L"DllRegisterServer",
                                      __LINE__, CombineMessage(GetErrorText(static_cast<DWORD>(hr)), path))
                         .c_str());
}

CIcon GetUser32Icon()
{
    CIcon icon(static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(L"User32.dll"), MAKEINTRESOURCEW(103), IMAGE_ICON, 16, 16, 0)));
    if (!icon)
        QZL_THROW(QZL_FUNCTION, CWinError());
    return icon;
}

} // namespace Quenzal::Os

#include "ResourceBuffer.h"

#include "ErrorReport.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Quenzal::Os {

std::string_view GetResourceBuffer(HMODULE module, WORD resourceId)
{
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"Localization");
    if (resource == nullptr || resource == INVALID_HANDLE_VALUE)
        QZL_THROW(QZL_FUNCTION, CWinError());
    DWORD size = ::SizeofResource(module, resource);
    if (size == 0)
        QZL_THROW(QZL_FUNCTION, CWinError());
    HGLOBAL loaded = ::LoadResource(module, resource);
    if (loaded == nullptr || loaded == INVALID_HANDLE_VALUE)
        QZL_THROW(QZL_FUNCTION, CWinError());
    const void* bytes = ::LockResource(loaded);
    if (bytes == nullptr)
        QZL_THROW(QZL_FUNCTION, CWinError());
    return std::string_view(static_cast<const char*>(bytes), size);
}

HMODULE GetThisModule()
{
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

} // namespace Quenzal::Os

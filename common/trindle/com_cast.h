#pragma once
// QueryInterface that raises instead of returning a null pointer.

#include "ErrorReport.h"

#include <unknwn.h>

#include <comdef.h>

namespace Quenzal {

template <class I>
_com_ptr_t<_com_IIID<I, &__uuidof(I)>> com_cast(IUnknown* source)
{
    if (source == nullptr)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    _com_ptr_t<_com_IIID<I, &__uuidof(I)>> result;
    I* raw = nullptr;
    if (SUCCEEDED(source->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&raw))))
        result.Attach(raw);
    if (!result)
        QZL_THROW(QZL_FUNCTION, CComError(E_NOINTERFACE));
    return result;
}

// The handler installed for the COM support library's wrappers.
[[noreturn]] void __stdcall ThrowAtlComException(HRESULT hr, IErrorInfo* errorInfo);

} // namespace Quenzal

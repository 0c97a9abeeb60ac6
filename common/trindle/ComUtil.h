#pragma once
// Reading a property of a COM object by name through late binding.

#include "StringW.h"

#include <comdef.h>

namespace Quenzal::Com {

// The same smart pointer com_cast<IDispatch> gives.
using IDispatchPtr = _com_ptr_t<_com_IIID<IDispatch, &__uuidof(IDispatch)>>;

// The member id of the name (GetIDsOfNames in the user's default locale).
DISPID GetDispatchMemberIdFromName(const IDispatchPtr& dispatch, const std::wstring& name);
// Reads the property (or calls the method without arguments) into result,
// which must come back as an object: any other type raises and leaves result
// cleared. The caller owns what result holds.
VARIANT& GetDispatchPropertyById(VARIANT& result, const IDispatchPtr& dispatch, DISPID id);
VARIANT& GetDispatchPropertyByName(VARIANT& result, const IDispatchPtr& dispatch, const std::wstring& name);
// The whole text as a BSTR, NULs included: a _bstr_t or _variant_t made from
// a wchar_t pointer ends at the first NUL, and text from outside may hold one.
_bstr_t ToBstr(const std::wstring& text);

} // namespace Quenzal::Com

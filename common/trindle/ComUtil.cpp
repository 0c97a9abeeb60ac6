#include "ComUtil.h"

#include "ErrorReport.h"
#include "Logging.h"

namespace Quenzal::Com {

namespace {

// A null object is reported through the COM support library's error handler,
// as its smart pointers do.
IDispatch* RequireDispatch(const IDispatchPtr& dispatch, const wchar_t* function, int line)
{
    if (!dispatch) {
        _com_issue_error(E_POINTER);
        ThrowReported(CComError(E_POINTER), __FILE__, function, line);
    }
    return dispatch.GetInterfacePtr();
}

} // namespace

DISPID GetDispatchMemberIdFromName(const IDispatchPtr& dispatch, const std::wstring& name)
{
    const wchar_t* function = L"Quenzal::Com::GetDispatchMemberIdFromName";
    IDispatch* object = RequireDispatch(dispatch, function, __LINE__);
    DISPID id = 0;
    // The name is only read, whatever the declaration says.
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    CheckComResult(hr, __FILE__, function, __LINE__);
    return id;
}

VARIANT& GetDispatchPropertyById(VARIANT& result, const IDispatchPtr& dispatch, DISPID id)
{
    const wchar_t* function = L"Quenzal::Com::GetDispatchPropertyById";
    ::VariantInit(&result);
    IDispatch* object = RequireDispatch(dispatch, function, __LINE__);
    DISPPARAMS noArguments = {nullptr, nullptr, 0, 0};
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                &noArguments, &result, nullptr, nullptr);
    if (FAILED(hr))
        ::VariantClear(&result);
    CheckComResult(hr, __FILE__, function, __LINE__);
    if (result.vt != VT_DISPATCH) {
        ::VariantClear(&result);
        QZL_THROW(function, CException(L"Return value of IDispatch::Invoke is of an unexpected type"));
    }
    return result;
}

VARIANT& GetDispatchPropertyByName(VARIANT& result, const IDispatchPtr& dispatch, const std::wstring& name)
{
    return GetDispatchPropertyById(result, dispatch, GetDispatchMemberIdFromName(dispatch, name));
}

_bstr_t ToBstr(const std::wstring& text)
{
    BSTR copy = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr)
        QZL_THROW(QZL_FUNCTION, CComError(E_OUTOFMEMORY));
    return _bstr_t(copy, false);
}

} // namespace Quenzal::Com

#include "DispatchObject.h"

#include "ErrorReport.h"

#include <vector>

namespace Quenzal::OutlookAddIn {

namespace {

[[noreturn]] void ThrowMemberError(HRESULT hr, const wchar_t* name, const StringW& detail, int line)
{
    StringW context = StringW::Format(L"member '%s'", name);
    if (!detail.empty())
        context += L" (" + detail + L")";
    ThrowReported(CComError(hr, context.c_str()), __FILE__, L"Quenzal::OutlookAddIn::CDispatchObject::Invoke", line);
}

// A variant of the wanted type, or the member's error.
_variant_t ConvertResult(_variant_t value, VARTYPE type, const wchar_t* name, int line)
{
    _variant_t converted;
    HRESULT hr = ::VariantChangeType(&converted, &value, 0, type);
    if (FAILED(hr))
        ThrowMemberError(hr, name, StringW(), line);
    return converted;
}

} // namespace

CDispatchObject::CDispatchObject(IDispatch* object) : m_object(object), m_memberIds(std::make_shared<MemberIds>()) {}

CDispatchObject CDispatchObject::Query(IUnknown* object, REFIID iid)
{
    if (object == nullptr)
        return CDispatchObject();
    IDispatch* dispatch = nullptr;
    HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(&dispatch));
    if (hr == E_NOINTERFACE)
        return CDispatchObject();
    QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::CDispatchObject::Query", hr);
    CDispatchObject result(dispatch);
    if (dispatch != nullptr)
        dispatch->Release();
    return result;
}

CDispatchObject CDispatchObject::FromVariant(const VARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return CDispatchObject();
    case VT_DISPATCH:
        return CDispatchObject(value.pdispVal);
    case VT_UNKNOWN:
        return Query(value.punkVal);
    default:
        QZL_THROW(L"Quenzal::OutlookAddIn::CDispatchObject::FromVariant",
                  CComError(DISP_E_TYPEMISMATCH, L"an object was expected"));
    }
}

bool CDispatchObject::Supports(REFIID iid) const
{
    if (!m_object)
        return false;
    IUnknown* answer = nullptr;
    HRESULT hr = m_object->QueryInterface(iid, reinterpret_cast<void**>(&answer));
    if (answer != nullptr)
        answer->Release();
    if (hr == E_NOINTERFACE)
        return false;
    QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::CDispatchObject::Supports", hr);
    return answer != nullptr;
}

DISPID CDispatchObject::GetMemberId(const wchar_t* name) const
{
    if (!m_object)
        QZL_THROW(L"Quenzal::OutlookAddIn::CDispatchObject::GetMemberId", CComError(E_POINTER, name));
    auto known = m_memberIds->find(name);
    if (known != m_memberIds->end())
        return known->second;
    DISPID id = Com::GetDispatchMemberIdFromName(m_object, name);
    m_memberIds->emplace(name, id);
    return id;
}

_variant_t CDispatchObject::Invoke(const wchar_t* name, WORD flags, Arguments arguments, const VARIANT* putValue) const
{
    DISPID id = GetMemberId(name);
    // DISPPARAMS lists the arguments last to first.
    std::vector<VARIANT> reversed;
    reversed.reserve(arguments.size() + 1);
    if (putValue != nullptr)
        reversed.push_back(*putValue);
    for (auto it = std::rbegin(arguments); it != std::rend(arguments); ++it)
        reversed.push_back(*it);
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS parameters = {reversed.data(), putValue != nullptr ? &putId : nullptr,
                             static_cast<UINT>(reversed.size()), putValue != nullptr ? 1u : 0u};
    _variant_t result;
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    HRESULT hr = m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                  putValue != nullptr ? nullptr : &result, &exception, &argumentError);
    _bstr_t description(exception.bstrDescription, false);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode))
        hr = exception.scode;
    if (FAILED(hr))
        ThrowMemberError(hr, name, description.length() != 0 ? StringW(static_cast<const wchar_t*>(description)) : StringW(),
                         __LINE__);
    if (hr != S_OK)
        QZL_REPORT_NON_SUCCESS(L"Quenzal::OutlookAddIn::CDispatchObject::Invoke", hr);
    return result;
}

_variant_t CDispatchObject::Get(const wchar_t* name, Arguments arguments) const
{
    return Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, arguments, nullptr);
}

CDispatchObject CDispatchObject::GetDispatch(const wchar_t* name, Arguments arguments) const
{
    return FromVariant(Get(name, arguments));
}

StringW CDispatchObject::GetString(const wchar_t* name, Arguments arguments) const
{
    _variant_t text = ConvertResult(Get(name, arguments), VT_BSTR, name, __LINE__);
    return StringW(text.bstrVal, ::SysStringLen(text.bstrVal));
}

long CDispatchObject::GetLong(const wchar_t* name, Arguments arguments) const
{
    return ConvertResult(Get(name, arguments), VT_I4, name, __LINE__).lVal;
}

bool CDispatchObject::GetBool(const wchar_t* name, Arguments arguments) const
{
    return ConvertResult(Get(name, arguments), VT_BOOL, name, __LINE__).boolVal != VARIANT_FALSE;
}

void CDispatchObject::Put(const wchar_t* name, const _variant_t& value) const
{
    Invoke(name, DISPATCH_PROPERTYPUT, {}, &value);
}

_variant_t CDispatchObject::Call(const wchar_t* name, Arguments arguments) const
{
    return Invoke(name, DISPATCH_METHOD, arguments, nullptr);
}

} // namespace Quenzal::OutlookAddIn

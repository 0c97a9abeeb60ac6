#include "EventSink.h"

#include "CaughtException.h"
#include "ErrorReport.h"

#include <ocidl.h>

namespace Quenzal::OutlookAddIn {

const VARIANT& CEventArguments::At(UINT position) const
{
    if (position >= m_parameters.cArgs || m_parameters.rgvarg == nullptr)
        QZL_THROW(L"Quenzal::OutlookAddIn::CEventArguments::At", CComError(DISP_E_BADPARAMCOUNT));
    const VARIANT& value = m_parameters.rgvarg[m_parameters.cArgs - 1 - position];
    if (value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal != nullptr)
        return *value.pvarVal;
    return value;
}

IDispatch* CEventArguments::GetDispatch(UINT position) const
{
    const VARIANT& value = At(position);
    switch (value.vt) {
    case VT_DISPATCH:
        return value.pdispVal;
    case VT_DISPATCH | VT_BYREF:
        return value.ppdispVal != nullptr ? *value.ppdispVal : nullptr;
    case VT_UNKNOWN:
    case VT_UNKNOWN | VT_BYREF: {
        IUnknown* unknown = value.vt == VT_UNKNOWN ? value.punkVal : (value.ppunkVal ? *value.ppunkVal : nullptr);
        if (unknown == nullptr)
            return nullptr;
        // The argument's own reference keeps the object alive for the event.
        IDispatch* dispatch = nullptr;
        if (SUCCEEDED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) && dispatch)
            dispatch->Release();
        return dispatch;
    }
    case VT_EMPTY:
    case VT_NULL:
        return nullptr;
    default:
        QZL_THROW(L"Quenzal::OutlookAddIn::CEventArguments::GetDispatch", CComError(DISP_E_TYPEMISMATCH));
    }
}

VARIANT_BOOL* CEventArguments::GetBoolReference(UINT position) const
{
    const VARIANT& value = At(position);
    if (value.vt != (VT_BOOL | VT_BYREF) || value.pboolVal == nullptr)
        QZL_THROW(L"Quenzal::OutlookAddIn::CEventArguments::GetBoolReference", CComError(DISP_E_TYPEMISMATCH));
    return value.pboolVal;
}

CEventSink::CEventSink(const IID& eventInterface, std::map<DISPID, Handler> handlers)
    : m_eventInterface(eventInterface), m_handlers(std::move(handlers))
{
}

void CEventSink::Advise(IUnknown* source)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::CEventSink::Advise";
    if (IsAdvised())
        QZL_THROW(function, CComError(E_FAIL, L"event sink already advised"));
    if (source == nullptr)
        QZL_THROW(function, CComError(E_POINTER));
    IConnectionPointContainer* container = nullptr;
    QZL_CHECK_COM_RESULT(function, source->QueryInterface(IID_IConnectionPointContainer,
                                                          reinterpret_cast<void**>(&container)));
    IConnectionPoint* point = nullptr;
    HRESULT hr = container->FindConnectionPoint(m_eventInterface, &point);
    container->Release();
    QZL_CHECK_COM_RESULT(function, hr);
    DWORD cookie = NotAdvised;
    hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
    if (FAILED(hr))
        point->Release();
    QZL_CHECK_COM_RESULT(function, hr);
    m_connectionPoint = point;
    m_cookie = cookie;
}

void CEventSink::Unadvise()
{
    if (!IsAdvised())
        return;
    DWORD cookie = std::exchange(m_cookie, NotAdvised);
    IConnectionPoint* point = std::exchange(m_connectionPoint, nullptr);
    HRESULT hr = point->Unadvise(cookie);
    point->Release();
    QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::CEventSink::Unadvise", hr);
}

void CEventSink::Disconnect()
{
    m_handlers.clear();
    m_cookie = NotAdvised;
    if (IConnectionPoint* point = std::exchange(m_connectionPoint, nullptr))
        point->Release();
}

void* CEventSink::GetInterface(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == m_eventInterface)
        return static_cast<IDispatch*>(this);
    return nullptr;
}

HRESULT CEventSink::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT CEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo)
{
    if (typeInfo != nullptr)
        *typeInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT CEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT* result, EXCEPINFO*,
                           UINT*)
{
    if (result != nullptr)
        ::VariantInit(result);
    // An event this connection does not route, or one that arrives after the
    // sink stopped, is answered without running anything.
    if (!IsAdvised())
        return S_OK;
    auto handler = m_handlers.find(id);
    if (handler == m_handlers.end() || !handler->second)
        return S_OK;
    // A handler may end this connection, or its owner, while it runs.
    CObjectRef<CEventSink> self(this);
    Handler run = handler->second;
    try {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        run(CEventArguments(parameters != nullptr ? *parameters : none));
    }
    // Outlook is told nothing of a handler's failure.
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CEventSink::Invoke")
    return S_OK;
}

} // namespace Quenzal::OutlookAddIn

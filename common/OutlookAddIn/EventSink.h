#pragma once
// One connection to an event source of Outlook or Office: a dispatch object
// that answers the source's event interface and runs a handler per event
// number. Each connection routes only its own events, so an event that two
// connections receive (Outlook raises every application event on every
// connection of the interface) runs one handler once.
//
// The owner keeps the sink and advises it on a source; the cookie is
// 0xFEFEFEFE while it is not advised. Once unadvised (or disconnected), the
// sink runs no handler any more, even if the source still calls it.

#include "ComObject.h"
#include "StringW.h"

#include <ocidl.h>

#include <functional>
#include <map>

namespace Quenzal::OutlookAddIn {

// The arguments of one event, by their position in the event's declaration
// (the source passes them last to first). A missing or mistyped argument
// raises CComError (DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH).
class CEventArguments {
public:
    explicit CEventArguments(const DISPPARAMS& parameters) : m_parameters(parameters) {}

    UINT GetCount() const { return m_parameters.cArgs; }
    // An object (also given as an unknown or by reference); may be null.
    IDispatch* GetDispatch(UINT position) const;
    // A Boolean passed by reference, such as Cancel.
    VARIANT_BOOL* GetBoolReference(UINT position) const;

private:
    const VARIANT& At(UINT position) const;

    const DISPPARAMS& m_parameters;
};

class CEventSink : public IDispatch {
public:
    using Handler = std::function<void(const CEventArguments&)>;
    static constexpr DWORD NotAdvised = 0xFEFEFEFE;

    CEventSink(const IID& eventInterface, std::map<DISPID, Handler> handlers);
    virtual ~CEventSink() = default;

    // Refused (CComError E_FAIL) while advised; a failing HRESULT raises CComError.
    void Advise(IUnknown* source);
    // Unadvises when advised; the sink stops either way. A failing HRESULT of
    // the source raises CComError after the sink has stopped.
    void Unadvise();
    // Stops the sink and drops its handlers without calling the source (its
    // owner is going away).
    void Disconnect();
    bool IsAdvised() const { return m_cookie != NotAdvised; }
    const IID& GetEventInterface() const { return m_eventInterface; }

    void* GetInterface(REFIID iid);

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

private:
    IID m_eventInterface;
    std::map<DISPID, Handler> m_handlers;
    DWORD m_cookie = NotAdvised;
    // The source's connection point, held while advised.
    IConnectionPoint* m_connectionPoint = nullptr;
};

using CEventSinkRef = CObjectRef<CEventSink>;

} // namespace Quenzal::OutlookAddIn

#pragma once
// The type information of an interface of ours, read from the type library
// that the module carries as its resource 1, for dispatching calls by name
// (DispGetIDsOfNames, DispInvoke). Loaded once per interface and kept.

#include <comdef.h>

namespace Quenzal::OutlookAddIn {

using ITypeInfoPtr = _com_ptr_t<_com_IIID<ITypeInfo, &IID_ITypeInfo>>;

// Raises CComError when the module has no type library or it lacks the interface.
ITypeInfoPtr GetModuleTypeInfo(REFIID iid);

// IDispatch of an object whose dispatch interface is described in the module's
// type library: the bodies of GetTypeInfoCount, GetTypeInfo, GetIDsOfNames and
// Invoke. Never throw.
HRESULT GetDispatchTypeInfoCount(UINT* count);
HRESULT GetDispatchTypeInfo(REFIID iid, UINT index, ITypeInfo** typeInfo);
HRESULT GetDispatchIdsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT InvokeDispatch(REFIID iid, void* object, DISPID id, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                       EXCEPINFO* exception, UINT* argumentError);

} // namespace Quenzal::OutlookAddIn

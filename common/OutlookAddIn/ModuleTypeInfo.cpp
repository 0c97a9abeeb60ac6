#include "ModuleTypeInfo.h"

#include "CaughtException.h"
#include "CriticalSection.h"
#include "ErrorReport.h"
#include "Modules.h"
#include "ResourceBuffer.h"

#include <map>

namespace Quenzal::OutlookAddIn {

namespace {

struct IidLess {
    bool operator()(const IID& left, const IID& right) const { return memcmp(&left, &right, sizeof(IID)) < 0; }
};

struct CTypeInfoCache {
    Os::CCriticalSection lock;
    std::map<IID, ITypeInfoPtr, IidLess> types;
};
CTypeInfoCache g_cache;

} // namespace

ITypeInfoPtr GetModuleTypeInfo(REFIID iid)
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::GetModuleTypeInfo";
    Os::CCriticalSectionLock lock(g_cache.lock);
    auto known = g_cache.types.find(iid);
    if (known != g_cache.types.end())
        return known->second;
    ITypeLib* library = nullptr;
    StringW path = Os::GetModulePath(Os::GetThisModule());
    QZL_CHECK_COM_RESULT(function, ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library));
    ITypeInfo* typeInfo = nullptr;
    HRESULT hr = library->GetTypeInfoOfGuid(iid, &typeInfo);
    library->Release();
    QZL_CHECK_COM_RESULT(function, hr);
    ITypeInfoPtr result(typeInfo, false);
    g_cache.types.emplace(iid, result);
    return result;
}

HRESULT GetDispatchTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT GetDispatchTypeInfo(REFIID iid, UINT index, ITypeInfo** typeInfo)
{
    if (typeInfo == nullptr)
        return E_POINTER;
    *typeInfo = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    try {
        *typeInfo = GetModuleTypeInfo(iid).Detach();
        return S_OK;
    }
    QZL_CATCH_RETURN(L"Quenzal::OutlookAddIn::GetDispatchTypeInfo")
}

HRESULT GetDispatchIdsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids)
{
    try {
        return ::DispGetIDsOfNames(GetModuleTypeInfo(iid).GetInterfacePtr(), names, count, ids);
    }
    QZL_CATCH_RETURN(L"Quenzal::OutlookAddIn::GetDispatchIdsOfNames")
}

HRESULT InvokeDispatch(REFIID iid, void* object, DISPID id, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                       EXCEPINFO* exception, UINT* argumentError)
{
    try {
        return ::DispInvoke(object, GetModuleTypeInfo(iid).GetInterfacePtr(), id, flags, parameters, result, exception,
                            argumentError);
    }
    QZL_CATCH_RETURN(L"Quenzal::OutlookAddIn::InvokeDispatch")
}

} // namespace Quenzal::OutlookAddIn

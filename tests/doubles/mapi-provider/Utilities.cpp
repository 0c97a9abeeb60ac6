// MAPI's utility functions over property values and row sets, and the
// Windows Installer lookup of the system's MAPI stub.
#include "Provider.h"

extern "C" HRESULT WINAPI HrGetOneProp(LPMAPIPROP object, ULONG propertyTag, LPSPropValue* value)
{
    if (object == nullptr || value == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    SizedSPropTagArray(1, tags) = {1, {propertyTag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    HRESULT hr = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
    if (FAILED(hr))
        return hr;
    if (PROP_TYPE(values->ulPropTag) == PT_ERROR) {
        hr = values->Value.err;
        MAPIFreeBuffer(values);
        return hr;
    }
    *value = values;
    return S_OK;
}

// A PT_UNSPECIFIED tag matches any type of its property id.
extern "C" LPSPropValue WINAPI PpropFindProp(LPSPropValue values, ULONG count, ULONG propertyTag)
{
    for (ULONG i = 0; values != nullptr && i < count; ++i) {
        if (values[i].ulPropTag == propertyTag ||
            (PROP_TYPE(propertyTag) == PT_UNSPECIFIED && PROP_ID(values[i].ulPropTag) == PROP_ID(propertyTag)))
            return &values[i];
    }
    return nullptr;
}

extern "C" void WINAPI FreeProws(LPSRowSet rows)
{
    if (rows == nullptr)
        return;
    for (ULONG i = 0; i < rows->cRows; ++i)
        MAPIFreeBuffer(rows->aRow[i].lpProps);
    MAPIFreeBuffer(rows);
}

extern "C" BOOL WINAPI FGetComponentPath(LPSTR component, LPSTR qualifier, LPSTR dllPath, DWORD dllPathSize, BOOL)
{
    QzlTestMapi::CallResult("FGetComponentPath");
    std::string path;
    if (component == nullptr || qualifier == nullptr || dllPath == nullptr ||
        !QzlTestMapi::FindComponentPath(component, qualifier, path) || path.size() >= dllPathSize)
        return FALSE;
    memcpy(dllPath, path.c_str(), path.size() + 1);
    return TRUE;
}

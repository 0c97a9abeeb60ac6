#include "ClassFactory.h"

namespace Quenzal::OutlookAddIn {

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    return m_creator(iid, object);
}

HRESULT CClassFactory::LockServer(BOOL lock)
{
    OutlookAddIn::LockServer(lock != FALSE);
    return S_OK;
}

void* CClassFactory::GetInterface(REFIID iid)
{
    if (iid == IID_IUnknown || iid == IID_IClassFactory)
        return static_cast<IClassFactory*>(this);
    return nullptr;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object, std::initializer_list<ClassEntry> classes)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    for (const ClassEntry& entry : classes) {
        if (*entry.clsid == clsid) {
            try {
                return CObjectRef<CClassFactory>::Create(entry.create)->QueryInterface(iid, object);
            }
            QZL_CATCH_RETURN(L"Quenzal::OutlookAddIn::GetClassObject")
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace Quenzal::OutlookAddIn

#pragma once
// The class factory that DllGetClassObject hands out, and DllGetClassObject's
// body: a table from class id to the function that creates such an object.

#include "ComObject.h"

#include <initializer_list>

namespace Quenzal::OutlookAddIn {

class CClassFactory : public IClassFactory {
public:
    using Creator = HRESULT (*)(REFIID iid, void** object);

    explicit CClassFactory(Creator creator) : m_creator(creator) {}
    virtual ~CClassFactory() = default;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    void* GetInterface(REFIID iid);

private:
    Creator m_creator;
};

struct ClassEntry {
    const CLSID* clsid;
    CClassFactory::Creator create; // usually CreateComObject<Class>
};

// A new factory for the class; CLASS_E_CLASSNOTAVAILABLE for a class not in the table.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object, std::initializer_list<ClassEntry> classes);

} // namespace Quenzal::OutlookAddIn

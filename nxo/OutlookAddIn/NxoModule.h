#pragma once
// The add-in module: its two classes in registration order, the class
// objects Outlook asks for, whether the module may be unloaded, and what
// DllRegisterServer writes for the classes, the type library and Outlook's
// add-in entry, and what DllUnregisterServer takes away again.

#include "ClassFactory.h"
#include "ComRegistrar.h"

#include <string>
#include <vector>

inline constexpr const wchar_t* NxoModuleFileName = L"NxoOutlookAddIn.dll";
inline constexpr const wchar_t* NxoAddInProgId = L"Quenzal.NxoOutlookAddIn";
inline constexpr const wchar_t* NxoOutlookAddInsPath = L"Software\\Microsoft\\Office\\Outlook\\Addins\\";

class CNxoOutlookAddInModule {
public:
    struct ObjectEntry {
        const CLSID* clsid;
        const wchar_t* progId;
        const wchar_t* versionedProgId;
        const wchar_t* description;
        const wchar_t* threadingModel;
        // Marks the class programmable with this type library; null for none.
        const GUID* typeLibrary;
        Quenzal::OutlookAddIn::CClassFactory::Creator create;
    };

    explicit CNxoOutlookAddInModule(std::vector<ObjectEntry> objects) : m_objects(std::move(objects)) {}
    virtual ~CNxoOutlookAddInModule() = default;

    // Remembers the module; false when it cannot serve its classes.
    bool Initialize(HMODULE module);
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;

    // The registry table of the module at that path.
    Quenzal::OutlookAddIn::CComRegistrar MakeRegistrar(const std::wstring& modulePath) const;

private:
    std::wstring GetModulePath() const;

    std::vector<ObjectEntry> m_objects;
    HMODULE m_module = nullptr;
};

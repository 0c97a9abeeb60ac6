#include "NxoModule.h"

#include "CaughtException.h"
#include "Logging.h"
#include "OfficeRegistry.h"
#include "Modules.h"
#include "Registry.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

// A per-user entry would hide the machine-wide one from Outlook.
void DeletePerUserAddInKey()
{
    Os::TryDeleteRegistryTree(HKEY_CURRENT_USER, (std::wstring(NxoOutlookAddInsPath) + NxoAddInProgId).c_str());
}

} // namespace

bool CNxoOutlookAddInModule::Initialize(HMODULE module)
{
    m_module = module;
    return m_module != nullptr && !m_objects.empty();
}

HRESULT CNxoOutlookAddInModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) const
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    for (const ObjectEntry& entry : m_objects) {
        if (*entry.clsid == clsid)
            return Quenzal::OutlookAddIn::GetClassObject(clsid, iid, object, {{entry.clsid, entry.create}});
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CNxoOutlookAddInModule::CanUnloadNow() const
{
    return CanUnloadModule();
}

std::wstring CNxoOutlookAddInModule::GetModulePath() const
{
    return Os::GetModulePath(m_module);
}

CComRegistrar CNxoOutlookAddInModule::MakeRegistrar(const std::wstring& modulePath) const
{
    CComRegistrar registrar;
    for (const ObjectEntry& entry : m_objects)
        registrar.AddInprocClass(*entry.clsid, entry.progId, entry.versionedProgId, entry.description, modulePath,
                                 entry.threadingModel, entry.typeLibrary);
    // Outlook's own keys stay when other add-ins are listed under them.
    registrar.Add({HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office", {}, true});
    registrar.Add({HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\Outlook", {}, true});
    registrar.Add({HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\Outlook\\Addins", {}, true});
    registrar.Add({HKEY_LOCAL_MACHINE,
                   std::wstring(NxoOutlookAddInsPath) + NxoAddInProgId,
                   {{L"FriendlyName", std::wstring(L"Quenzal Inbox Rampart Outlook Add-In")},
                    {L"LoadBehavior", DWORD{3}},
                    {L"CommandLineSafe", DWORD{0}}}});
    return registrar;
}

HRESULT CNxoOutlookAddInModule::RegisterServer() const
{
    try {
        const std::wstring modulePath = GetModulePath();
        {
            CSystemThreadLocale locale;
            MakeRegistrar(modulePath).Register();
            RegisterModuleTypeLibrary(modulePath);
        }
        DeletePerUserAddInKey();
        // Registering again is how a user brings back an add-in that Outlook switched off.
        EnableDisabledAddIn(NxoModuleFileName);
        return S_OK;
    }
    QZL_CATCH_RETURN(L"DllRegisterServer")
}

HRESULT CNxoOutlookAddInModule::UnregisterServer() const
{
    try {
        const std::wstring modulePath = GetModulePath();
        {
            CSystemThreadLocale locale;
            UnregisterModuleTypeLibrary(modulePath);
            MakeRegistrar(modulePath).Unregister();
        }
        DeletePerUserAddInKey();
        return S_OK;
    }
    QZL_CATCH_RETURN(L"DllUnregisterServer")
}

#include "NxoModule.h"

#include "CaughtException.h"
#include "Logging.h"
#include "NxoOutlookAddInLib.h"
#include "OfficeRegistry.h"
#include "OutlookPropPage.h"
#include "Registry.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

// A per-user entry would hide the machine-wide one from Outlook.
void DeletePerUserAddInKey()
{
    Os::TryDeleteRegistryKey(HKEY_CURRENT_USER, (std::wstring(NxoOutlookAddInsPath) + NxoAddInProgId).c_str());
}

} // namespace

CComRegistrar MakeNxoRegistrar(const std::wstring& modulePath)
{
    CComRegistrar registrar;
    registrar.AddInprocClass(CLSID_NxoOutlookAddIn, NxoAddInProgId, L"Quenzal.NxoOutlookAddIn.1",
                             L"NxoOutlookAddIn Class", modulePath, L"Apartment", &LIBID_NxoOutlookAddInLib);
    registrar.AddInprocClass(CLSID_OutlookPropPage, OutlookPropPageProgId, OutlookPropPageVersionedProgId,
                             OutlookPropPageDescription, modulePath, L"Both", &LIBID_NxoOutlookAddInLib);
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

HRESULT RegisterNxoModule(const std::wstring& modulePath)
{
    try {
        {
            CSystemThreadLocale locale;
            MakeNxoRegistrar(modulePath).Register();
            RegisterModuleTypeLibrary(modulePath);
        }
        DeletePerUserAddInKey();
        // Registering again is how a user brings back an add-in that Outlook switched off.
        EnableDisabledAddIn(NxoModuleFileName);
        return S_OK;
    }
    QZL_CATCH_RETURN(L"DllRegisterServer")
}

HRESULT UnregisterNxoModule(const std::wstring& modulePath)
{
    try {
        {
            CSystemThreadLocale locale;
            UnregisterModuleTypeLibrary(modulePath);
            MakeNxoRegistrar(modulePath).Unregister();
        }
        DeletePerUserAddInKey();
        return S_OK;
    }
    QZL_CATCH_RETURN(L"DllUnregisterServer")
}

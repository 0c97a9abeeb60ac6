// The module's exports: Outlook asks the class factory for the add-in and its
// options page, and unloads the module once nothing of it is alive; regsvr32
// registers it, and the shell's DLL runner opens link files through it.
#include "ClassFactory.h"
#include "LinkOpener.h"
#include "Modules.h"
#include "NxoModule.h"
#include "NxoOutlookAddIn.h"
#include "NxoOutlookAddInLib.h"
#include "OutlookPropPage.h"
#include "ResourceBuffer.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return GetClassObject(clsid, iid, object,
                          {{&CLSID_NxoOutlookAddIn, CreateComObject<CNxoOutlookAddIn>},
                           {&CLSID_OutlookPropPage, CreateComObject<COutlookPropPage>}});
}

STDAPI DllCanUnloadNow()
{
    return CanUnloadModule();
}

STDAPI DllRegisterServer()
{
    try {
        return RegisterNxoModule(Os::GetModulePath(Os::GetThisModule()));
    }
    QZL_CATCH_RETURN(L"DllRegisterServer")
}

STDAPI DllUnregisterServer()
{
    try {
        return UnregisterNxoModule(Os::GetModulePath(Os::GetThisModule()));
    }
    QZL_CATCH_RETURN(L"DllUnregisterServer")
}

extern "C" void CALLBACK OpenLinkW(HWND window, HINSTANCE, LPWSTR commandLine, int)
{
    OpenLinkFile(window, commandLine, GetShellLinkOpenerActions());
}

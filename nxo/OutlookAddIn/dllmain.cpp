// The module's exports: Outlook asks the class factory for the add-in and its
// options page, and unloads the module once nothing of it is alive; regsvr32
// registers it, and the shell's DLL runner opens link files through it.
#include "CaughtException.h"
#include "LinkOpener.h"
#include "NxoModule.h"
#include "NxoOutlookAddIn.h"
#include "NxoOutlookAddInLib.h"
#include "OutlookPropPage.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

// The options page first, then the add-in: the order they are registered in.
CNxoOutlookAddInModule Module({{&CLSID_OutlookPropPage, OutlookPropPageProgId, OutlookPropPageVersionedProgId,
                                OutlookPropPageDescription, L"Both", nullptr, CreateComObject<COutlookPropPage>},
                               {&CLSID_NxoOutlookAddIn, NxoAddInProgId, L"Quenzal.NxoOutlookAddIn.1",
                                L"NxoOutlookAddIn Class", L"Apartment", &LIBID_NxoOutlookAddInLib,
                                CreateComObject<CNxoOutlookAddIn>}});

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    try {
        return Module.Initialize(instance) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return Module.GetClassObject(clsid, iid, object);
}

// The module's lock count also covers work on the thread pool, which runs
// the module's code after its waiters woke, and the MAPI layer's sinks.
STDAPI DllCanUnloadNow()
{
    return Module.CanUnloadNow();
}

STDAPI DllRegisterServer()
{
    return Module.RegisterServer();
}

STDAPI DllUnregisterServer()
{
    return Module.UnregisterServer();
}

extern "C" void CALLBACK OpenLinkW(HWND window, HINSTANCE, LPWSTR commandLine, int)
{
    OpenLinkFile(window, commandLine, GetShellLinkOpenerActions());
}

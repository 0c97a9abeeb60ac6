// The module's exports: Outlook asks the class factory for the add-in and
// unloads the module once nothing of it is alive.
#include "ClassFactory.h"
#include "NxoOutlookAddIn.h"
#include "NxoOutlookAddInLib.h"

using namespace Quenzal::OutlookAddIn;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return GetClassObject(clsid, iid, object, {{&CLSID_NxoOutlookAddIn, CreateComObject<CNxoOutlookAddIn>}});
}

STDAPI DllCanUnloadNow()
{
    return CanUnloadModule();
}

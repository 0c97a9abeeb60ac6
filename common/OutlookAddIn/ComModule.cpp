#include "ComObject.h"

namespace Quenzal::OutlookAddIn {

namespace {

LONG g_moduleLocks = 0;

} // namespace

void LockModule()
{
    ::InterlockedIncrement(&g_moduleLocks);
}

void UnlockModule()
{
    ::InterlockedDecrement(&g_moduleLocks);
}

long GetModuleLockCount()
{
    return ::InterlockedCompareExchange(&g_moduleLocks, 0, 0);
}

HRESULT CanUnloadModule()
{
    return GetModuleLockCount() == 0 ? S_OK : S_FALSE;
}

} // namespace Quenzal::OutlookAddIn

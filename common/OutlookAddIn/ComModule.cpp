#include "ComObject.h"

namespace Quenzal::OutlookAddIn {

namespace {

LONG g_moduleLocks = 0;
// The part of the module locks that LockServer took.
LONG g_serverLocks = 0;

} // namespace

void LockModule()
{
    ::InterlockedIncrement(&g_moduleLocks);
}

void UnlockModule()
{
    ::InterlockedDecrement(&g_moduleLocks);
}

void LockServer(bool lock)
{
    if (lock) {
        ::InterlockedIncrement(&g_serverLocks);
        LockModule();
        return;
    }
    // An unlock nobody locked for would take a live object's lock, and the
    // module would unload under it.
    for (LONG locks = ::InterlockedCompareExchange(&g_serverLocks, 0, 0); locks > 0;) {
        LONG seen = ::InterlockedCompareExchange(&g_serverLocks, locks - 1, locks);
        if (seen == locks) {
            UnlockModule();
            return;
        }
        locks = seen;
    }
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

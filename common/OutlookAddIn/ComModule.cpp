#include "ComObject.h"

#include "ModuleLock.h"

namespace Quenzal::OutlookAddIn {

namespace {

// The part of the module locks that LockServer took.
LONG g_serverLocks = 0;

} // namespace

// The core library keeps the count, so that the layers below the framework
// (the MAPI layer's sinks, the thread pool's work) count in it too.
void LockModule()
{
    Os::LockModule();
}

void UnlockModule()
{
    Os::UnlockModule();
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
    return Os::GetModuleLockCount();
}

HRESULT CanUnloadModule()
{
    return GetModuleLockCount() == 0 ? S_OK : S_FALSE;
}

} // namespace Quenzal::OutlookAddIn

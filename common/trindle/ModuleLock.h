#pragma once
// The count of what keeps this module's code in use by others: objects that
// another component holds or calls back (COM objects, advise and event sinks,
// windows and timers whose procedures are here) and work on the thread pool.
// Whatever unloads the module (DllCanUnloadNow) asks it; each layer that
// hands such an object out takes a lock for the object's life, whether or
// not it knows of the others.

namespace Quenzal::Os {

void LockModule();
void UnlockModule();
long GetModuleLockCount();

// One lock for as long as it lives; a copy holds one of its own, so that an
// object copied or moved keeps the module as the original did.
class CModuleLock {
public:
    CModuleLock() { LockModule(); }
    CModuleLock(const CModuleLock&) { LockModule(); }
    CModuleLock& operator=(const CModuleLock&) = default;
    ~CModuleLock() { UnlockModule(); }
};

} // namespace Quenzal::Os

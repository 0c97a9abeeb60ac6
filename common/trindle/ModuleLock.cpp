#include "ModuleLock.h"

#include <atomic>

namespace Quenzal::Os {

namespace {

std::atomic<long> g_moduleLocks{0};

} // namespace

void LockModule()
{
    g_moduleLocks.fetch_add(1);
}

void UnlockModule()
{
    g_moduleLocks.fetch_sub(1);
}

long GetModuleLockCount()
{
    return g_moduleLocks.load();
}

} // namespace Quenzal::Os

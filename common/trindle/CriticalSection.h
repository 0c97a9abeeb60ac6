#pragma once
// The lock used everywhere: a Win32 critical section and its scoped holder.
// A critical section that cannot be created ends the process.

#include <windows.h>

namespace Quenzal::Os {

class CCriticalSection {
public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    CRITICAL_SECTION* Get() { return &m_section; }

private:
    CRITICAL_SECTION m_section;
};

class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CCriticalSection& section);
    ~CCriticalSectionLock() { Unlock(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

    void Unlock();

private:
    CRITICAL_SECTION* m_section;
};

} // namespace Quenzal::Os

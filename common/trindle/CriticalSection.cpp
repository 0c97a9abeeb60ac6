#include "CriticalSection.h"

#include "FatalExit.h"

#include <utility>

namespace Quenzal::Os {

CCriticalSection::CCriticalSection()
{
    if (!::InitializeCriticalSectionAndSpinCount(&m_section, 4000))
        QZL_FATAL_EXIT(::GetLastError(), QZL_FUNCTION);
}

CCriticalSection::~CCriticalSection()
{
    ::DeleteCriticalSection(&m_section);
}

CCriticalSectionLock::CCriticalSectionLock(CCriticalSection& section) : m_section(section.Get())
{
    ::EnterCriticalSection(m_section);
}

void CCriticalSectionLock::Unlock()
{
    if (m_section != nullptr)
        ::LeaveCriticalSection(std::exchange(m_section, nullptr));
}

} // namespace Quenzal::Os

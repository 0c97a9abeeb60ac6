#include "RegistryValueIterator.h"

#include "ErrorReport.h"

namespace Quenzal::Os {

namespace {

// Longest value name the registry allows, plus the terminator.
constexpr DWORD MaxValueNameUnits = 16384;

} // namespace

bool CRegistryValueIterator::GetCurrentValueName(StringW& name, DWORD* type)
{
    if (m_end)
        return false;
    wchar_t buffer[261];
    DWORD count = 261;
    LSTATUS result = ::RegEnumValueW(m_key, m_index, buffer, &count, nullptr, type, nullptr, nullptr);
    if (result == ERROR_SUCCESS) {
        name.assign(buffer, count);
        return true;
    }
    if (result == ERROR_NO_MORE_ITEMS) {
        m_end = true;
        return false;
    }
    if (result == ERROR_MORE_DATA) {
        // The count is not reliably updated with the needed length, so the
        // second call gets room for the longest name there can be.
        StringW longName(MaxValueNameUnits, L'\0');
        count = MaxValueNameUnits;
        result = ::RegEnumValueW(m_key, m_index, longName.data(), &count, nullptr, type, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            QZL_THROW(QZL_FUNCTION,
                      CWinError(static_cast<DWORD>(result), nullptr));
        longName.resize(count);
        name = std::move(longName);
        return true;
    }
    QZL_THROW(QZL_FUNCTION,
              CWinError(static_cast<DWORD>(result), nullptr));
}

} // namespace Quenzal::Os

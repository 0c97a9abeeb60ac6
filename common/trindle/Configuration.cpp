#include "Configuration.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "RegistryValues.h"

namespace Quenzal::App {

CConfiguration::CConfiguration(const wchar_t* settingsPath, const std::vector<StringW>& policyPaths)
    : m_settingsPath(settingsPath), m_policyPaths(policyPaths)
{
    Create(HKEY_CURRENT_USER, settingsPath, KEY_READ | KEY_WRITE);
}

// Under the settings lock. A write to a deleted key may fail as denied (so
// Wine answers), a read as deleted: the key itself is asked. The held key is
// the object's state as the registry has it, not its value: a const access
// may replace it.
bool CConfiguration::ReopenSettingsKeyIfDeleted() const
{
    if (::RegQueryValueExW(Get(), nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_KEY_DELETED)
        return false;
    Logging::Log(Logging::Warning, L"Settings key has been deleted; re-opening settings key");
    const_cast<CConfiguration*>(this)->Create(HKEY_CURRENT_USER, m_settingsPath.c_str(), KEY_READ | KEY_WRITE);
    return true;
}

bool CConfiguration::IsDebugEnabled()
{
    DWORD value = 0;
    if (WithSettingsKey([&value](HKEY key) { return Os::GetRegistryDwordSetting(key, L"Debug", value); }))
        return value != 0;
    SetDebugEnabled(false);
    return false;
}

void CConfiguration::SetDebugEnabled(bool enabled)
{
    WithSettingsKey([enabled](HKEY key) { Os::SetRegistryDword(key, L"Debug", enabled ? 1 : 0); });
}

bool CConfiguration::IsPolicyEnabled(const wchar_t* name)
{
    Os::CCriticalSectionLock lock(m_policyLock);
    OpenPolicyKeys(false);
    try {
        return IsPolicyEnabledInKeys(name);
    } catch (const CWinError& e) {
        if (e.GetErrorCode() != ERROR_KEY_DELETED)
            throw;
    }
    Logging::Log(Logging::Warning, L"Policy key has been deleted; re-opening policy keys");
    OpenPolicyKeys(true);
    return IsPolicyEnabledInKeys(name);
}

void CConfiguration::OpenPolicyKeys(bool reopen)
{
    if (m_policyPaths.empty())
        return;
    if (reopen)
        m_policyKeys.clear();
    else if (!m_policyKeys.empty())
        return;
    // Collected aside so that a failure half-way leaves nothing open and the
    // next call tries all of them again.
    std::vector<Os::CRegistryKey> keys;
    for (const StringW& path : m_policyPaths) {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            Os::CRegistryKey key;
            if (key.TryOpen(root, path.c_str(), KEY_READ))
                keys.push_back(std::move(key));
        }
    }
    m_policyKeys = std::move(keys);
}

bool CConfiguration::IsPolicyEnabledInKeys(const wchar_t* name)
{
    for (const Os::CRegistryKey& key : m_policyKeys) {
        DWORD value = 0;
        if (Os::GetRegistryDwordSetting(key.Get(), name, value) && value != 0)
            return true;
    }
    return false;
}

} // namespace Quenzal::App

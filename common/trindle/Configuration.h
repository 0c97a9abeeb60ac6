#pragma once
// A product's registry-backed settings: the settings key under
// HKEY_CURRENT_USER (created when missing), the "Debug" switch kept there, and
// the group-policy switches read from the product's policy keys under
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. A product derives its own settings
// class from it.

#include "CriticalSection.h"
#include "RegistryKey.h"

#include <vector>

namespace Quenzal::App {

class CConfiguration : public Os::CRegistryKey {
public:
    // Raises CWinError when the settings key cannot be created.
    CConfiguration(const wchar_t* settingsPath, const std::vector<StringW>& policyPaths);
    ~CConfiguration() override = default;

    // Reading the switch writes it as off when it is missing. A value of
    // another type, here and under the policy keys, counts as missing.
    virtual bool IsDebugEnabled();
    virtual void SetDebugEnabled(bool enabled);

    // True when any policy key holds a non-zero DWORD of that name. Safe to
    // call from any thread.
    bool IsPolicyEnabled(const wchar_t* name);

private:
    void OpenPolicyKeys(bool reopen);
    bool IsPolicyEnabledInKeys(const wchar_t* name);

    std::vector<StringW> m_policyPaths;
    Os::CCriticalSection m_policyLock;
    std::vector<Os::CRegistryKey> m_policyKeys;
};

} // namespace Quenzal::App

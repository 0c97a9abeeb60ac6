#pragma once
// A product's registry-backed settings: the settings key under
// HKEY_CURRENT_USER (created when missing), the "Debug" switch kept there, and
// the group-policy switches read from the product's policy keys under
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. A product derives its own settings
// class from it.
//
// Every key is held open for the life of the product, and a reinstall or a
// deployment tool may delete one and write it anew while the product runs:
// an access that finds its key deleted opens it again (the settings key is
// created again, as at the start) and is tried once more, so that a key
// written anew is read and written as the first one was.

#include "CriticalSection.h"
#include "Exception.h"
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

    // Runs the read or write on the settings key and answers its result.
    // Safe to call from any thread: the key is not replaced while another
    // access uses it.
    template <class Access>
    auto WithSettingsKey(Access&& access) const -> decltype(access(HKEY{}))
    {
        Os::CCriticalSectionLock lock(m_settingsLock);
        try {
            return access(Get());
        } catch (const CWinError&) {
            if (!ReopenSettingsKeyIfDeleted())
                throw;
        }
        return access(Get());
    }

private:
    // False when the held key is still there: the failure was another.
    bool ReopenSettingsKeyIfDeleted() const;
    void OpenPolicyKeys(bool reopen);
    bool IsPolicyEnabledInKeys(const wchar_t* name);

    StringW m_settingsPath;
    mutable Os::CCriticalSection m_settingsLock;
    std::vector<StringW> m_policyPaths;
    Os::CCriticalSection m_policyLock;
    std::vector<Os::CRegistryKey> m_policyKeys;
};

} // namespace Quenzal::App

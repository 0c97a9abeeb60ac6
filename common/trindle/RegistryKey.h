#pragma once
// An owning registry key: the key a caller keeps open across several reads or
// writes (a settings key, a policy key). The free functions of Registry.h hand
// out the lighter CRegKeyHandle instead.

#include "SmartPointer.h"
#include "StringW.h"

namespace Quenzal::Os {

struct RegKeyDestructor {
    static bool IsValid(HKEY key) { return key != nullptr; }
    static void Destroy(HKEY key)
    {
        // Closing must not disturb the error the caller is about to report.
        DWORD saved = ::GetLastError();
        ::RegCloseKey(key);
        ::SetLastError(saved);
    }
};

// One-word owner of an HKEY; empty when a key was absent.
using CRegKeyHandle = SmartPointer<HKEY, RegKeyDestructor>;

class CRegistryKey : public SmartPointer<HKEY, RegKeyDestructor> {
public:
    CRegistryKey() = default;
    virtual ~CRegistryKey() = default;
    CRegistryKey(CRegistryKey&&) noexcept = default;
    CRegistryKey& operator=(CRegistryKey&&) noexcept = default;

    // Each of these replaces the held key on success.
    void Open(HKEY root, const wchar_t* path, REGSAM access);
    // False, and the held key unchanged, when the key does not exist.
    bool TryOpen(HKEY root, const wchar_t* path, REGSAM access);
    void Create(HKEY root, const wchar_t* path, REGSAM access);

    // The string value of that name, or empty when it is absent.
    StringW TryGetString(const wchar_t* name) const;
    // The bytes of a REG_BINARY value, empty when it is absent; another type raises.
    std::string GetBinaryValue(const wchar_t* name) const;
};

} // namespace Quenzal::Os

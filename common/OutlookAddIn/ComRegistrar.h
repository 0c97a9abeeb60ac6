#pragma once
// What a COM server writes to the registry when it registers itself, as a
// table of keys and their values, and the same table taken away again. In
// place of a class library's registrar scripts: the table is the script.

#include "StringW.h"

#include <windows.h>

#include <string>
#include <variant>
#include <vector>

namespace Quenzal::OutlookAddIn {

struct RegistrarValue {
    const wchar_t* name; // null for the key's default value
    std::variant<std::wstring, DWORD> data;
};

struct RegistrarKey {
    HKEY root;
    std::wstring path;
    std::vector<RegistrarValue> values;
    // An owned key is removed with all below it; a shared one (a parent that
    // other software may use too) only when nothing is left in it.
    bool shared = false;
};

class CComRegistrar {
public:
    virtual ~CComRegistrar() = default;

    void Add(RegistrarKey key) { m_keys.push_back(std::move(key)); }
    // The keys of an in-process class: its class id with server path and
    // threading model, its ProgIDs, and optionally its type library.
    void AddInprocClass(const CLSID& clsid, const std::wstring& progId, const std::wstring& versionedProgId,
                        const std::wstring& description, const std::wstring& modulePath,
                        const std::wstring& threadingModel, const GUID* typeLibrary = nullptr);

    // Writes every key in table order; a failure raises CWinError.
    void Register() const;
    // Removes the keys in reverse order, parents after their children, each
    // with everything below it; raises the first failure once all were tried.
    void Unregister() const;

    const std::vector<RegistrarKey>& Keys() const { return m_keys; }

private:
    std::vector<RegistrarKey> m_keys;
};

// "{00112233-4455-6677-8899-AABBCCDDEEFF}", as class ids stand in the registry.
StringW GuidToString(const GUID& guid);

// Registers the type library embedded in the module (resource 1), or removes
// its registration; a failing HRESULT raises CComError.
void RegisterModuleTypeLibrary(const std::wstring& modulePath);
void UnregisterModuleTypeLibrary(const std::wstring& modulePath);

// Runs registration with the thread locale set to the system default, so
// that what is written does not depend on the user running it.
class CSystemThreadLocale {
public:
    CSystemThreadLocale() : m_previous(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~CSystemThreadLocale() { ::SetThreadLocale(m_previous); }
    CSystemThreadLocale(const CSystemThreadLocale&) = delete;
    CSystemThreadLocale& operator=(const CSystemThreadLocale&) = delete;

private:
    LCID m_previous;
};

} // namespace Quenzal::OutlookAddIn

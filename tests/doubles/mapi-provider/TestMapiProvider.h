#pragma once
// The test MAPI provider: a DLL of the tests, never of the product, that the
// MAPI layer binds in place of Outlook's MAPI. Tests drive the copy loaded in
// their process through the control interface it exports.

#include <windows.h>

#include <mapidefs.h>

namespace QzlTestMapi {

class IControl {
public:
    // Forgets injected results, call counts, the extended error and components.
    virtual void Reset() = 0;
    // The result of a call by name ("MAPILogonEx", "IMAPISession::QueryIdentity",
    // "IMAPIProp::GetProps", ...) from now on: a failure is returned without
    // doing the work, any other result after it.
    virtual void SetResult(const char* call, HRESULT result) = 0;
    virtual long GetCallCount(const char* call) = 0;
    // The record every object's GetLastError hands out; a null text is left
    // out. Without one, GetLastError gives no record.
    virtual void SetLastError(const wchar_t* component, const wchar_t* error, ULONG lowLevelError,
                              ULONG context) = 0;
    // What FGetComponentPath answers for a component id and qualifier.
    virtual void SetComponentPath(const char* component, const char* qualifier, const char* path) = 0;
    // Blocks of MAPIAllocateBuffer and MAPIAllocateMore not yet freed, and
    // MAPIFreeBuffer calls on memory that is no live buffer of ours.
    virtual long GetLiveAllocations() = 0;
    virtual long GetForeignFrees() = 0;
    // A property object holding copies of the values (one reference).
    virtual IMAPIProp* CreatePropObject(const SPropValue* values, ULONG count) = 0;

protected:
    ~IControl() = default;
};

// The control of a loaded copy of the provider, or null when the module is
// no test provider.
inline IControl* GetControl(HMODULE provider)
{
    using ControlFunction = IControl*(WINAPI*)();
    auto control = reinterpret_cast<ControlFunction>(
        reinterpret_cast<void*>(::GetProcAddress(provider, "QzlTestMapiControl")));
    return control != nullptr ? control() : nullptr;
}

} // namespace QzlTestMapi

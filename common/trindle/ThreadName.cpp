#include "ThreadName.h"

#include "SmartPointer.h"
#include "StringW.h"
#include "StructuredExceptionGuard.h"

namespace {

constexpr DWORD ThreadNameExceptionCode = 0x406D1388;

// The record a debugger reads from the naming exception.
#pragma pack(push, 8)
struct ThreadNameRecord {
    DWORD type;
    LPCSTR name;
    DWORD threadId;
    DWORD flags;
};
#pragma pack(pop)

// Lets execution go on after the naming exception when no debugger took it.
LONG ContinueAfterNaming(EXCEPTION_POINTERS* pointers, void*)
{
    if (pointers->ExceptionRecord->ExceptionCode == ThreadNameExceptionCode)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);

SetThreadDescriptionFunction FindSetThreadDescription()
{
    // Not present on older systems, and not declared by every SDK.
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr)
        return nullptr;
    return reinterpret_cast<SetThreadDescriptionFunction>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")));
}

} // namespace

namespace Quenzal::Os {

void SetThreadName(DWORD threadId, const char* name)
{
    if (name == nullptr)
        return;
    static const SetThreadDescriptionFunction setDescription = FindSetThreadDescription();
    if (setDescription != nullptr) {
        try {
            StringW wide(std::string{name});
            CHandle thread(::OpenThread(THREAD_SET_LIMITED_INFORMATION, FALSE, threadId));
            if (thread)
                setDescription(thread.Get(), wide.c_str());
        } catch (...) {
            // A name that cannot be converted is simply not shown.
        }
    }
    // The older convention: an exception that only a debugger understands.
    // Without a debugger there is nobody to tell.
    if (::IsDebuggerPresent()) {
        ThreadNameRecord record = {0x1000, name, threadId, 0};
        RunGuarded(
            [&record] {
                ::RaiseException(ThreadNameExceptionCode, 0, sizeof(ThreadNameRecord) / sizeof(ULONG_PTR),
                                 reinterpret_cast<const ULONG_PTR*>(&record));
            },
            ContinueAfterNaming);
    }
}

} // namespace Quenzal::Os

// The entry point of every DLL that carries the core library (the library's
// link options tell the linker so). The statically linked runtime takes state
// for the process on first use and keeps it until the process ends: a TLS
// index for its thread records, the calling thread's record with two handles,
// the events and semaphores of its internal locks, and the C++ runtime's
// emergency exception buffer. A DLL that a host loads and frees again thus
// leaves these behind each time, and the host runs out of TLS indexes after
// about a thousand loads (the runtime then aborts it). This entry runs the
// runtime's own start and end and, once the end is done for a FreeLibrary,
// gives all of it back.
//
// The runtime creates its indexes and kernel objects through the module's
// imports of TlsAlloc, CreateEventA and CreateSemaphoreA (the project's own
// code uses the wide functions), which the link options route here; what it
// gives back itself goes through TlsFree and CloseHandle.
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace __gnu_cxx {
// The C++ runtime's release of its emergency exception buffer.
void __freeres();
} // namespace __gnu_cxx

extern "C" {

BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);
// The thread library's TLS callback.
extern const PIMAGE_TLS_CALLBACK __xl_f;
extern DWORD(WINAPI* __real___imp_TlsAlloc)();
extern BOOL(WINAPI* __real___imp_TlsFree)(DWORD);
extern HANDLE(WINAPI* __real___imp_CreateEventA)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR);
extern HANDLE(WINAPI* __real___imp_CreateSemaphoreA)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCSTR);
extern BOOL(WINAPI* __real___imp_CloseHandle)(HANDLE);

} // extern "C"

namespace {

// What the runtime holds, 0 for a free place. Zero-initialised, so that it is
// ready before any constructor of the module runs. What finds no place is not
// given back, as before.
class CTaken {
public:
    void Keep(uintptr_t value)
    {
        for (auto& place : m_places) {
            uintptr_t empty = 0;
            if (value == 0 || place.compare_exchange_strong(empty, value))
                return;
        }
    }
    void Forget(uintptr_t value)
    {
        for (auto& place : m_places) {
            uintptr_t expected = value;
            if (value == 0 || place.compare_exchange_strong(expected, 0))
                return;
        }
    }
    template <class F>
    void GiveBack(F release)
    {
        for (auto& place : m_places)
            if (const uintptr_t value = place.exchange(0); value != 0)
                release(value);
    }

private:
    std::atomic<uintptr_t> m_places[16];
};

// Indexes are kept plus one, as index 0 is a valid one.
CTaken g_tlsIndexes;
CTaken g_handles;

DWORD WINAPI TlsAllocKept()
{
    const DWORD index = __real___imp_TlsAlloc();
    if (index != TLS_OUT_OF_INDEXES)
        g_tlsIndexes.Keep(index + uintptr_t{1});
    return index;
}

BOOL WINAPI TlsFreeKept(DWORD index)
{
    g_tlsIndexes.Forget(index + uintptr_t{1});
    return __real___imp_TlsFree(index);
}

HANDLE WINAPI CreateEventKept(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    HANDLE event = __real___imp_CreateEventA(security, manualReset, initialState, name);
    g_handles.Keep(reinterpret_cast<uintptr_t>(event));
    return event;
}

HANDLE WINAPI CreateSemaphoreKept(LPSECURITY_ATTRIBUTES security, LONG initialCount, LONG maximumCount, LPCSTR name)
{
    HANDLE semaphore = __real___imp_CreateSemaphoreA(security, initialCount, maximumCount, name);
    g_handles.Keep(reinterpret_cast<uintptr_t>(semaphore));
    return semaphore;
}

// Forgotten first: once closed, the value may come back for someone else.
BOOL WINAPI CloseHandleKept(HANDLE handle)
{
    g_handles.Forget(reinterpret_cast<uintptr_t>(handle));
    return __real___imp_CloseHandle(handle);
}

void ReleaseRuntimeState(HANDLE instance)
{
    __xl_f(instance, DLL_THREAD_DETACH, nullptr);
    __gnu_cxx::__freeres();
    g_handles.GiveBack([](uintptr_t handle) { __real___imp_CloseHandle(reinterpret_cast<HANDLE>(handle)); });
    g_tlsIndexes.GiveBack([](uintptr_t index) { __real___imp_TlsFree(static_cast<DWORD>(index - 1)); });
}

} // namespace

extern "C" {

DWORD(WINAPI* __wrap___imp_TlsAlloc)() = TlsAllocKept;
BOOL(WINAPI* __wrap___imp_TlsFree)(DWORD) = TlsFreeKept;
HANDLE(WINAPI* __wrap___imp_CreateEventA)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) = CreateEventKept;
HANDLE(WINAPI* __wrap___imp_CreateSemaphoreA)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCSTR) = CreateSemaphoreKept;
BOOL(WINAPI* __wrap___imp_CloseHandle)(HANDLE) = CloseHandleKept;

BOOL WINAPI QzlDllEntry(HANDLE instance, DWORD reason, LPVOID reserved)
{
    const BOOL result = DllMainCRTStartup(instance, reason, reserved);
    // At process exit the state goes with the process, and other threads may
    // have stopped inside the runtime.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
        ReleaseRuntimeState(instance);
    return result;
}

} // extern "C"

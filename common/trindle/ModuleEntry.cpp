// The entry point of every DLL that carries the core library (the library's
// link options tell the linker so).
//
// The statically linked runtime takes state for the process on first use and
// keeps it until the process ends: a TLS index for its thread records, a
// record for each thread that runs its code without having been started by it
// (with a duplicated handle to that thread and an event), the events and
// semaphores of its internal locks, and the C++ runtime's emergency exception
// buffer. Its own end gives back only the record of the thread that frees the
// DLL. Left at that, a host that loads and frees the DLL would run out of TLS
// indexes after about a thousand loads (the runtime then aborts it) and keep a
// thread handle per other thread and load.
//
// So at a FreeLibrary this entry runs the runtime's end and then gives back
// the TLS indexes, the lock objects, the exception buffer, and the handle and
// event of every other thread's record: no thread reads its record once the
// DLL is gone, and closing the handle a record owns does nothing to the thread.
// What a host may do, then: load and free the DLL without end, from any
// thread, while its own threads and the system pool's run the DLL's code in
// between, as long as no thread runs the DLL's code when it frees it. Each
// free still leaves, for every thread other than the freeing one that ran the
// DLL's code and lives on, that record's memory and the thread's C++
// thread-local data, which only that thread could give back; a thread that
// ends while the DLL is loaded gives back its own. The tables below hold
// kKeptHandles handles and kKeptIndexes TLS indexes; what does not fit is not
// given back, and the free logs how much that was.
//
// At process exit the entry does nothing, the runtime's exit functions and
// static destructors included: the system has ended the other threads
// wherever they were, maybe inside a lock that one of these would take (the
// C runtime's table of exit functions, its heap, the log's), and a wait for
// it would keep the process from ending. The end of the process gives
// everything back.
//
// The runtime creates its indexes and kernel objects through the module's
// imports of TlsAlloc, CreateEventA, CreateSemaphoreA and DuplicateHandle (the
// project's own code uses the wide functions and duplicates no thread handle),
// which the link options route here; what it gives back itself goes through
// TlsFree and CloseHandle.
#include "Logging.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
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
extern BOOL(WINAPI* __real___imp_DuplicateHandle)(HANDLE, HANDLE, HANDLE, LPHANDLE, DWORD, BOOL, DWORD);
extern BOOL(WINAPI* __real___imp_CloseHandle)(HANDLE);

} // extern "C"

namespace {

constexpr size_t kKeptIndexes = 16;
// Two for each thread's record, the rest for the locks.
constexpr size_t kKeptHandles = 256;

// What the runtime holds, 0 for a free place, and how many values found no
// place. Zero-initialised, so that it is ready before any constructor of the
// module runs.
template <size_t Places>
class CTaken {
public:
    void Keep(uintptr_t value)
    {
        if (value == 0)
            return;
        for (auto& place : m_places) {
            uintptr_t empty = 0;
            if (place.load() == 0 && place.compare_exchange_strong(empty, value))
                return;
        }
        m_lost.fetch_add(1);
    }
    void Forget(uintptr_t value)
    {
        if (value == 0)
            return;
        for (auto& place : m_places) {
            uintptr_t expected = value;
            if (place.load() == value && place.compare_exchange_strong(expected, 0))
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
    unsigned Lost() const { return m_lost.load(); }

private:
    std::atomic<uintptr_t> m_places[Places];
    std::atomic<unsigned> m_lost;
};

// Indexes are kept plus one, as index 0 is a valid one.
CTaken<kKeptIndexes> g_tlsIndexes;
CTaken<kKeptHandles> g_handles;

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

// A thread record's handle to its thread, the one kind of handle the runtime
// duplicates.
BOOL WINAPI DuplicateHandleKept(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                                DWORD access, BOOL inherit, DWORD options)
{
    const BOOL duplicated =
        __real___imp_DuplicateHandle(sourceProcess, source, targetProcess, target, access, inherit, options);
    if (duplicated && source == ::GetCurrentThread() && targetProcess == ::GetCurrentProcess())
        g_handles.Keep(reinterpret_cast<uintptr_t>(*target));
    return duplicated;
}

// Forgotten first: once closed, the value may come back for someone else.
BOOL WINAPI CloseHandleKept(HANDLE handle)
{
    g_handles.Forget(reinterpret_cast<uintptr_t>(handle));
    return __real___imp_CloseHandle(handle);
}

// Before the module's static objects (the log among them) are destroyed.
void ReportLost()
{
    if (g_handles.Lost() == 0 && g_tlsIndexes.Lost() == 0)
        return;
    try {
        Quenzal::Logging::LogFormat(Quenzal::Logging::Warning,
                                    L"The runtime's state is not all given back: %u handles and %u TLS indexes "
                                    L"found no place to be kept",
                                    g_handles.Lost(), g_tlsIndexes.Lost());
    } catch (...) {
        // The module goes away all the same.
    }
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
BOOL(WINAPI* __wrap___imp_DuplicateHandle)(HANDLE, HANDLE, HANDLE, LPHANDLE, DWORD, BOOL, DWORD) = DuplicateHandleKept;
BOOL(WINAPI* __wrap___imp_CloseHandle)(HANDLE) = CloseHandleKept;

BOOL WINAPI QzlDllEntry(HANDLE instance, DWORD reason, LPVOID reserved)
{
    if (reason != DLL_PROCESS_DETACH)
        return DllMainCRTStartup(instance, reason, reserved);
    if (reserved != nullptr)
        return TRUE;
    ReportLost();
    const BOOL result = DllMainCRTStartup(instance, reason, reserved);
    ReleaseRuntimeState(instance);
    return result;
}

} // extern "C"

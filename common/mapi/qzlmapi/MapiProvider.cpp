#include "MapiProvider.h"

#include "EnvironmentVariables.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "MapiHeaders.h"
#include "Modules.h"
#include "RegistryKey.h"
#include "RegistryValues.h"

#include <atomic>
#include <cwchar>

namespace Quenzal::Mapi {
namespace {

std::atomic<HMODULE> g_provider{nullptr};
std::atomic<LONG> g_bindingSequence{0};

// The paths and ids of the search live in buffers of this many characters,
// the terminator included.
constexpr DWORD PathBufferSize = MAX_PATH;

StringW DescribeModule(HMODULE module)
{
    StringW path;
    return Os::TryGetModuleFileName(module, path) ? path : StringW::Format(L"module at %p", module);
}

// A candidate that lacks what the layer calls is freed here.
Os::CModule Accept(Os::CModule candidate)
{
    if (candidate && (::GetProcAddress(candidate.Get(), "MAPIFreeBuffer") == nullptr ||
                      ::GetProcAddress(candidate.Get(), "HrGetOneProp") == nullptr)) {
        Logging::LogFormat(Logging::Trace, L"MAPI provider candidate passed over, it lacks MAPIFreeBuffer or "
                                           L"HrGetOneProp: %s",
                           DescribeModule(candidate.Get()).c_str());
        candidate.Close();
    }
    return candidate;
}

Os::CModule TakeLoadedModule(const wchar_t* name)
{
    HMODULE module = nullptr;
    // Flags 0 add a reference, which a bound provider keeps for good.
    ::GetModuleHandleExW(0, name, &module);
    return Accept(Os::CModule(module));
}

// A string value cut at its first NUL, at most PathBufferSize characters
// long: a stored value need not be terminated.
bool TryReadRegistryText(HKEY key, const wchar_t* name, DWORD& type, StringW& text)
{
    std::string data;
    if (!Os::GetRegistryDataW(key, name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    data.resize(data.size() & ~size_t(1));
    text = StringW(FromBinary, data);
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text.size() <= PathBufferSize;
}

// The value in the ANSI code page, as the system's MAPI stub takes it.
bool TryReadRegistryAnsi(HKEY key, const wchar_t* name, std::string& text)
{
    DWORD type = REG_NONE;
    StringW wide;
    if (!TryReadRegistryText(key, name, type, wide))
        return false;
    text = wide.GetAnsi(CP_ACP);
    return text.size() < PathBufferSize;
}

Os::CModule FindMapiProvider()
{
    Os::CModule candidate = TakeLoadedModule(L"olmapi32.dll");
    if (!candidate)
        candidate = TakeLoadedModule(L"msmapi32.dll");
    if (!candidate)
        candidate = LoadRegisteredMapiClient(nullptr);
    if (!candidate)
        candidate = LoadMapiFromSystemDirectory();
    return candidate;
}

} // namespace

HMODULE GetBoundMapiModule()
{
    return g_provider.load();
}

LONG GetMapiBindingSequence()
{
    return g_bindingSequence.load();
}

HMODULE GetMapiModule()
{
    if (HMODULE bound = g_provider.load())
        return bound;
    Os::CModule candidate = FindMapiProvider();
    if (!candidate)
        return g_provider.load();
    HMODULE winner = nullptr;
    bool published = g_provider.compare_exchange_strong(winner, candidate.Get());
    g_bindingSequence.fetch_add(1);
    // Another thread bound its provider first: ours is released with its holder.
    if (!published)
        return winner;
    winner = candidate.Detach();
    Logging::LogFormat(Logging::Debug, L"MAPI provider bound: %s", DescribeModule(winner).c_str());
    return winner;
}

Os::CModule LoadRegisteredMapiClient(const wchar_t* clientName)
{
    try {
        Os::CRegistryKey clients;
        if (!clients.TryOpen(HKEY_LOCAL_MACHINE, L"Software\\Clients\\Mail", KEY_READ))
            return {};
        StringW client(clientName);
        DWORD type = REG_NONE;
        if (clientName == nullptr && (!TryReadRegistryText(clients.Get(), nullptr, type, client) || type != REG_SZ))
            return {};
        Os::CRegistryKey clientKey;
        if (!clientKey.TryOpen(clients.Get(), client.c_str(), KEY_READ))
            return {};
        Os::CModule module = LoadMailClientFromMsiData(clientKey.Get());
        return module ? std::move(module) : LoadMailClientFromDllPath(clientKey.Get());
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::Mapi::LoadRegisteredMapiClient", e);
        return {};
    }
}

Os::CModule LoadMailClientFromMsiData(HKEY clientKey)
{
    std::string component, lcid;
    if (!TryReadRegistryAnsi(clientKey, L"MSIComponentID", component) ||
        !TryReadRegistryAnsi(clientKey, L"MSIApplicationLCID", lcid))
        return {};
    // From the system folder only: a stub planted in the host's folder or
    // the current one would otherwise run inside Outlook.
    Os::CModule stub = Os::TryLoadSystemModule(L"mapi32.dll");
    if (!stub)
        stub = Os::TryLoadSystemModule(L"mapistub.dll");
    if (!stub)
        return {};
    auto getComponentPath = reinterpret_cast<LPFGETCOMPONENTPATH>(
        reinterpret_cast<void*>(::GetProcAddress(stub.Get(), "FGetComponentPath")));
    char path[PathBufferSize + 1] = {};
    bool found = getComponentPath != nullptr &&
                 getComponentPath(component.data(), lcid.data(), path, PathBufferSize, FALSE);
    stub.Close();
    // Whatever the stub left in the buffer.
    path[PathBufferSize] = '\0';
    return found ? Accept(Os::CModule(::LoadLibraryA(path))) : Os::CModule();
}

Os::CModule LoadMailClientFromDllPath(HKEY clientKey)
{
    for (const wchar_t* name : {L"DllPathEx", L"DllPath"}) {
        DWORD type = REG_NONE;
        StringW path;
        if (!TryReadRegistryText(clientKey, name, type, path))
            continue;
        if (type == REG_EXPAND_SZ) {
            path = Os::ExpandEnvironmentVariables(path);
            if (path.empty() || path.size() >= PathBufferSize)
                continue;
        }
        if (Os::CModule module = Accept(Os::CModule(::LoadLibraryW(path.c_str()))))
            return module;
    }
    return {};
}

Os::CModule LoadMapiFromSystemDirectory()
{
    wchar_t folder[PathBufferSize] = {};
    UINT length = ::GetSystemDirectoryW(folder, PathBufferSize);
    if (length == 0 || length >= PathBufferSize)
        return {};
    StringW path = StringW::Format(L"%s\\%s", folder, L"mapi32.dll");
    if (path.size() >= PathBufferSize)
        return {};
    return Accept(Os::CModule(::LoadLibraryW(path.c_str())));
}

} // namespace Quenzal::Mapi

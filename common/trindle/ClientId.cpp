#include "ClientId.h"

#include "CriticalSection.h"
#include "Guid.h"
#include "Logging.h"
#include "Registry.h"
#include "RegistryValues.h"

#include <algorithm>

namespace Quenzal::App {

namespace {

const wchar_t* const ClientIdKeyPath = L"Software\\Quenzal\\Trindle";
const wchar_t* const ClientIdValueName = L"ClientId";

// Serialises creation within the process; it lives from module load to exit.
Os::CCriticalSection g_clientIdLock;

// Every request carries the ID as a header value, and the appliance compares
// it with the one it mails back: a line break stops every request, and
// another control character or a non-ASCII character would not arrive as
// stored.
bool CanBeSent(const std::wstring& id)
{
    return !HasControlCharacter(id) && std::all_of(id.begin(), id.end(), [](wchar_t ch) { return ch < 0x80; });
}

} // namespace

StringW GetClientId()
{
    StringW id = TryGetClientId();
    if (!id.empty())
        return id;
    return CreateClientId();
}

StringW TryGetClientId()
{
    StringW id = Os::TryGetRegistryString(HKEY_CURRENT_USER, ClientIdKeyPath, ClientIdValueName);
    if (id.empty() || CanBeSent(id))
        return id;
    Logging::Log(Logging::Warning, L"Stored client ID cannot be sent; treating it as missing");
    return StringW();
}

StringW CreateClientId()
{
    Os::CCriticalSectionLock lock(g_clientIdLock);
    StringW id = TryGetClientId();
    if (!id.empty())
        return id;
    id = StringW(CreateGuidHexString());
    Logging::Log(Logging::Debug, (L"Created new client ID: " + id).c_str());
    Os::CRegKeyHandle key = Os::CreateSubkey(HKEY_CURRENT_USER, ClientIdKeyPath);
    Os::SetRegistryString(key.Get(), ClientIdValueName, id);
    return id;
}

} // namespace Quenzal::App

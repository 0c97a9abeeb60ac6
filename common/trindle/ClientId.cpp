#include "ClientId.h"

#include "CriticalSection.h"
#include "Guid.h"
#include "Logging.h"
#include "Registry.h"
#include "RegistryValues.h"

namespace Quenzal::App {

namespace {

const wchar_t* const ClientIdKeyPath = L"Software\\Quenzal\\Trindle";
const wchar_t* const ClientIdValueName = L"ClientId";

// Serialises creation within the process; it lives from module load to exit.
Os::CCriticalSection g_clientIdLock;

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
    return Os::TryGetRegistryString(HKEY_CURRENT_USER, ClientIdKeyPath, ClientIdValueName);
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

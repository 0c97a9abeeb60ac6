#include "MapiSession.h"

#include "CriticalSection.h"
#include "Net.h"

#include <map>
#include <utility>

namespace Quenzal::Mapi {
namespace {

struct MapiProcessState {
    Os::CCriticalSection lock;
    IMAPISessionPtr session;
    std::map<std::string, std::string, Net::NoCaseLessA> smtpByExAddress;
    StringW userSmtpAddress;
};

MapiProcessState& State()
{
    static MapiProcessState state;
    return state;
}

} // namespace

void CMapiSessionHolder::Set(IMAPISession* session)
{
    IMAPISessionPtr replacement(session);
    Os::CCriticalSectionLock lock(State().lock);
    std::swap(State().session, replacement);
    lock.Unlock();
    // The old session is released here, outside the lock: its release may
    // call back into MAPI.
}

IMAPISessionPtr CMapiSessionHolder::Get() const
{
    Os::CCriticalSectionLock lock(State().lock);
    return State().session;
}

CMapiSessionHolder& GetMapiSession()
{
    static CMapiSessionHolder holder;
    return holder;
}

bool FindCachedSmtpAddress(const std::string& exAddress, std::string& smtpAddress)
{
    Os::CCriticalSectionLock lock(State().lock);
    auto it = State().smtpByExAddress.find(exAddress);
    if (it == State().smtpByExAddress.end())
        return false;
    smtpAddress = it->second;
    return true;
}

void CacheSmtpAddress(const std::string& exAddress, const std::string& smtpAddress)
{
    Os::CCriticalSectionLock lock(State().lock);
    State().smtpByExAddress.emplace(exAddress, smtpAddress);
}

StringW GetCachedUserSmtpAddress()
{
    Os::CCriticalSectionLock lock(State().lock);
    return State().userSmtpAddress;
}

StringW CacheUserSmtpAddress(const StringW& address)
{
    Os::CCriticalSectionLock lock(State().lock);
    if (State().userSmtpAddress.empty())
        State().userSmtpAddress = address;
    return State().userSmtpAddress;
}

} // namespace Quenzal::Mapi

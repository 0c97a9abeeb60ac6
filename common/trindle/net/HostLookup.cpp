#include <winsock2.h>

#include "HostLookup.h"

#include "CriticalSection.h"
#include "ErrorReport.h"
#include "SocketError.h"
#include "ThreadPoolWork.h"

#include <map>
#include <memory>

namespace Quenzal::Net {

namespace {

struct CLookup {
    Os::CHandle done = Os::CreateManualResetEvent();
    CIpAddress address;
    std::exception_ptr failure;
};

// Lookups under way, by host as written; an entry goes when its lookup ends.
struct CLookups {
    Os::CCriticalSection lock;
    std::map<std::string, std::shared_ptr<CLookup>> running;
};

CLookups g_lookups;

std::shared_ptr<CLookup> JoinOrStart(const std::string& host)
{
    Os::CCriticalSectionLock hold(g_lookups.lock);
    std::shared_ptr<CLookup>& entry = g_lookups.running[host];
    if (entry != nullptr)
        return entry;
    auto lookup = std::make_shared<CLookup>();
    auto work = std::make_shared<Os::CThreadPoolWork>();
    work->SetName(L"Host lookup");
    work->SetWorkFunction([host, lookup] {
        try {
            lookup->address = CIpAddress(host, 0);
        } catch (...) {
            lookup->failure = std::current_exception();
        }
        {
            Os::CCriticalSectionLock done(g_lookups.lock);
            g_lookups.running.erase(host);
        }
        ::SetEvent(lookup->done.Get());
    });
    entry = lookup;
    try {
        Os::QueueThreadPoolWork(work);
    } catch (...) {
        g_lookups.running.erase(host);
        throw;
    }
    return lookup;
}

} // namespace

CIpAddress LookUpHost(const std::string& host, unsigned short port, HANDLE cancel,
                      const DateTimeSpan& timeout, const Os::CDeadline& deadline)
{
    if (host.empty() || ::inet_addr(host.c_str()) != INADDR_NONE)
        return CIpAddress(host, port);
    const std::shared_ptr<CLookup> lookup = JoinOrStart(host);
    DateTimeSpan limit = timeout;
    DWORD result = WAIT_TIMEOUT;
    if (deadline.LimitWait(limit)) {
        const HANDLE handles[] = {lookup->done.Get(), cancel};
        result = Os::WaitForAnyObject(handles, cancel != nullptr ? 2 : 1, limit);
    }
    if (result == WAIT_OBJECT_0 + 1)
        QZL_THROW(QZL_FUNCTION, CSocketError(ERROR_OPERATION_ABORTED, host.c_str()));
    if (result != WAIT_OBJECT_0)
        QZL_THROW(QZL_FUNCTION, CSocketError(WSAETIMEDOUT, host.c_str()));
    if (lookup->failure) {
        // Every connect that shared the lookup gets a copy of its own.
        try {
            std::rethrow_exception(lookup->failure);
        } catch (const CException& e) {
            std::rethrow_exception(e.Clone());
        }
    }
    CIpAddress address = lookup->address;
    address.GetAddress().sin_port = ::htons(port);
    return address;
}

} // namespace Quenzal::Net

#include "NxoApiRequestQueue.h"

#include "CaughtException.h"
#include "CriticalSection.h"
#include "HttpRequest.h"
#include "NxoApiClient.h"
#include "ThreadPoolWork.h"

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

using namespace Quenzal;

namespace {

using RequestPtr = std::shared_ptr<CNxoApiRequestContext>;

struct ServerQueue {
    // A request of the server is in its turn.
    bool busy = false;
    std::deque<RequestPtr> waiting;
};

// The servers with a request in its turn or waiting; an entry goes with its
// last request. The timer, there while any entry is, hands over the waiting
// requests whose time limit passed.
struct Queues {
    Os::CCriticalSection lock;
    std::map<std::string, ServerQueue> servers;
    PTP_TIMER timer = nullptr;
    // The tick count the timer is set for; 0 when it is not set.
    ULONGLONG timerDue = 0;
};

Queues g_queues;

void CALLBACK HandOverExpired(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER);

// Under the queues' lock.
void SetTimerFor(const Os::CDeadline& deadline)
{
    DateTimeSpan left;
    if (!deadline.LimitWait(left) || left.IsZero())
        return;
    const ULONGLONG due = ::GetTickCount64() + left.ToWaitTimeout();
    if (g_queues.timerDue != 0 && g_queues.timerDue <= due)
        return;
    if (g_queues.timer == nullptr) {
        TP_CALLBACK_ENVIRON environment;
        ::InitializeThreadpoolEnvironment(&environment);
        // The pool holds the module while the timer is there.
        ::SetThreadpoolCallbackLibrary(&environment, &__ImageBase);
        g_queues.timer = ::CreateThreadpoolTimer(HandOverExpired, nullptr, &environment);
        ::DestroyThreadpoolEnvironment(&environment);
        // Without a timer a waiting request still fails once it has its turn.
        if (g_queues.timer == nullptr)
            return;
    }
    g_queues.timerDue = due;
    ULARGE_INTEGER relative;
    relative.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(left.ToWaitTimeout()) * 10000);
    FILETIME dueTime{relative.LowPart, relative.HighPart};
    ::SetThreadpoolTimer(g_queues.timer, &dueTime, 0, 0);
}

// Under the queues' lock, once the server has nothing in its turn or waiting.
void RemoveServer(std::map<std::string, ServerQueue>::iterator entry)
{
    g_queues.servers.erase(entry);
    if (!g_queues.servers.empty() || g_queues.timer == nullptr)
        return;
    // A callback under way finds nothing left to hand over.
    ::SetThreadpoolTimer(g_queues.timer, nullptr, 0, 0);
    ::CloseThreadpoolTimer(g_queues.timer);
    g_queues.timer = nullptr;
    g_queues.timerDue = 0;
}

void CALLBACK HandOverExpired(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER)
{
    try {
        std::vector<RequestPtr> expired;
        {
            Os::CCriticalSectionLock lock(g_queues.lock);
            g_queues.timerDue = 0;
            for (auto& [server, queue] : g_queues.servers) {
                std::deque<RequestPtr> kept;
                for (RequestPtr& request : queue.waiting) {
                    DateTimeSpan left;
                    if (request->GetDeadline().LimitWait(left))
                        kept.push_back(std::move(request));
                    else
                        expired.push_back(std::move(request));
                }
                queue.waiting.swap(kept);
                for (const RequestPtr& request : queue.waiting)
                    SetTimerFor(request->GetDeadline());
            }
        }
        for (const RequestPtr& request : expired)
            Os::PostThreadPoolWork(request);
    }
    QZL_CATCH_REPORT(L"NxoApiRequestQueue::HandOverExpired")
}

} // namespace

namespace NxoApiRequestQueue {

std::string GetServerKey(const CNxoApiRequestContext& request)
{
    std::string key = request.GetRequest()->GetUri().FormatServer();
    for (char& ch : key)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return key;
}

void Submit(const RequestPtr& request)
{
    const std::string server = GetServerKey(*request);
    Os::StartThreadPoolWork(request);
    bool inTurn = true;
    try {
        Os::CCriticalSectionLock lock(g_queues.lock);
        ServerQueue& queue = g_queues.servers[server];
        inTurn = !queue.busy;
        if (inTurn) {
            queue.busy = true;
            request->TakeTurn();
        } else {
            queue.waiting.push_back(request);
            SetTimerFor(request->GetDeadline());
        }
    } catch (...) {
        // Started, the request must complete: it fails on the pool without a turn.
        inTurn = true;
    }
    if (inTurn)
        Os::PostThreadPoolWork(request);
}

void PassTurn(const std::string& server)
{
    RequestPtr next;
    {
        Os::CCriticalSectionLock lock(g_queues.lock);
        auto entry = g_queues.servers.find(server);
        if (entry == g_queues.servers.end())
            return;
        ServerQueue& queue = entry->second;
        if (queue.waiting.empty()) {
            RemoveServer(entry);
            return;
        }
        next = std::move(queue.waiting.front());
        queue.waiting.pop_front();
        next->TakeTurn();
    }
    Os::PostThreadPoolWork(next);
}

void Withdraw(const CNxoApiRequestContext& request)
{
    const std::string server = GetServerKey(request);
    RequestPtr withdrawn;
    {
        Os::CCriticalSectionLock lock(g_queues.lock);
        auto entry = g_queues.servers.find(server);
        if (entry == g_queues.servers.end())
            return;
        std::deque<RequestPtr>& waiting = entry->second.waiting;
        auto found = std::find_if(waiting.begin(), waiting.end(),
                                  [&request](const RequestPtr& item) { return item.get() == &request; });
        if (found == waiting.end())
            return;
        withdrawn = std::move(*found);
        waiting.erase(found);
    }
    Os::PostThreadPoolWork(withdrawn);
}

} // namespace NxoApiRequestQueue

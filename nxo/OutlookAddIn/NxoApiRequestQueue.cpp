#include "NxoApiRequestQueue.h"

#include "CaughtException.h"
#include "CriticalSection.h"
#include "ErrorReport.h"
#include "HttpRequest.h"
#include "ModuleLock.h"
#include "NxoApiClient.h"
#include "SmartPointer.h"
#include "SocketError.h"
#include "ThreadPoolWork.h"
#include "Wait.h"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

using namespace Quenzal;

namespace {

using RequestPtr = std::shared_ptr<CNxoApiRequestContext>;
using Waiting = std::deque<RequestPtr>;

// Pool threads that the requests to servers named in mail may hold between
// them: enough for several slow servers at once, few enough that a flood of
// silent ones costs little. Those that fail without their turn, all at once
// when a flood's time limit passes, run on fewer threads still.
constexpr size_t NamedServerThreads = 8;
constexpr size_t LeavingThreads = 4;

struct ServerQueue {
    // A request of the server is in its turn.
    bool busy = false;
    Waiting waiting;
};

} // namespace

// Threads for requests to servers named in mail, and the requests waiting for one.
struct NxoApiRequestQueue::Threads {
    const size_t limit;
    size_t busy = 0;
    Waiting waiting;
};

namespace {

// The servers with a request in its turn or waiting; an entry goes with its
// last request. The timer, there while any entry is, hands over the waiting
// requests whose time limit passed.
struct Queues {
    Os::CCriticalSection lock;
    std::map<std::string, ServerQueue> servers;
    // For requests in their turn, and for requests that fail without it.
    NxoApiRequestQueue::Threads named{NamedServerThreads, 0, {}};
    NxoApiRequestQueue::Threads leaving{LeavingThreads, 0, {}};
    PTP_TIMER timer = nullptr;
    // The timer's procedure is in this module: it stays loaded while the timer is there.
    std::optional<Os::CModuleLock> timerLock;
    // The tick count the timer is set for; 0 when it is not set.
    ULONGLONG timerDue = 0;
};

Queues g_queues;

// What the queues hand to the pool once their lock is left.
using Handed = std::vector<RequestPtr>;

void PostAll(const Handed& handed)
{
    for (const RequestPtr& request : handed)
        Os::PostThreadPoolWork(request);
}

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
        // The pool holds the module while the timer's callback runs.
        ::SetThreadpoolCallbackLibrary(&environment, &__ImageBase);
        g_queues.timer = ::CreateThreadpoolTimer(HandOverExpired, nullptr, &environment);
        ::DestroyThreadpoolEnvironment(&environment);
        // Without a timer a waiting request still fails once it has its turn.
        if (g_queues.timer == nullptr)
            return;
        g_queues.timerLock.emplace();
    }
    g_queues.timerDue = due;
    ULARGE_INTEGER relative;
    relative.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(left.ToWaitTimeout()) * 10000);
    FILETIME dueTime{relative.LowPart, relative.HighPart};
    ::SetThreadpoolTimer(g_queues.timer, &dueTime, 0, 0);
}

// Under the queues' lock: drops the server's entry once it has nothing in its
// turn or waiting, and the timer with the last entry.
void RemoveIfIdle(std::map<std::string, ServerQueue>::iterator entry)
{
    if (entry->second.busy || !entry->second.waiting.empty())
        return;
    g_queues.servers.erase(entry);
    if (!g_queues.servers.empty() || g_queues.timer == nullptr)
        return;
    // A callback under way finds nothing left to hand over.
    ::SetThreadpoolTimer(g_queues.timer, nullptr, 0, 0);
    ::CloseThreadpoolTimer(g_queues.timer);
    g_queues.timer = nullptr;
    g_queues.timerLock.reset();
    g_queues.timerDue = 0;
}

// Under the queues' lock: to the pool once one of the threads is free.
void Admit(NxoApiRequestQueue::Threads& threads, const RequestPtr& request, Handed& handed)
{
    if (threads.busy >= threads.limit) {
        threads.waiting.push_back(request);
        if (&threads == &g_queues.named)
            SetTimerFor(request->GetDeadline());
        return;
    }
    ++threads.busy;
    request->GetTurn().threads = &threads;
    handed.push_back(request);
}

// Under the queues' lock: a request that goes on, given its server's turn
// (into `named`) or leaving a list without it, to fail at once (into
// `leaving`). One waiting on its own thread goes on there; another goes to the
// pool, through the group's threads when its server was named in mail.
void GoOn(const RequestPtr& request, NxoApiRequestQueue::Threads& group, Handed& handed)
{
    const NxoApiRequestQueue::Turn& turn = request->GetTurn();
    if (turn.hopReady != nullptr)
        ::SetEvent(turn.hopReady);
    else if (turn.named)
        Admit(group, request, handed);
    else
        handed.push_back(request);
}

void HandOver(const RequestPtr& request, Handed& handed)
{
    GoOn(request, g_queues.named, handed);
}

void Release(const RequestPtr& request, Handed& handed)
{
    GoOn(request, g_queues.leaving, handed);
}

// Under the queues' lock.
void PassTurn(NxoApiRequestQueue::Turn& turn, Handed& handed)
{
    if (!turn.held)
        return;
    turn.held = false;
    auto entry = g_queues.servers.find(turn.server);
    if (entry == g_queues.servers.end())
        return;
    ServerQueue& queue = entry->second;
    if (queue.waiting.empty()) {
        queue.busy = false;
        RemoveIfIdle(entry);
        return;
    }
    RequestPtr next = std::move(queue.waiting.front());
    queue.waiting.pop_front();
    next->GetTurn().held = true;
    HandOver(next, handed);
}

// Under the queues' lock.
void PassThread(NxoApiRequestQueue::Turn& turn, Handed& handed)
{
    if (turn.threads == nullptr)
        return;
    NxoApiRequestQueue::Threads& threads = *turn.threads;
    turn.threads = nullptr;
    --threads.busy;
    if (threads.waiting.empty())
        return;
    RequestPtr next = std::move(threads.waiting.front());
    threads.waiting.pop_front();
    Admit(threads, next, handed);
}

// Under the queues' lock: takes the request out of the list; null when it is not there.
RequestPtr TakeOut(Waiting& list, const CNxoApiRequestContext& request)
{
    auto found = std::find_if(list.begin(), list.end(),
                              [&request](const RequestPtr& item) { return item.get() == &request; });
    if (found == list.end())
        return nullptr;
    RequestPtr taken = std::move(*found);
    list.erase(found);
    return taken;
}

// Under the queues' lock: the requests of the list whose time limit passed leave it.
void TakeExpired(Waiting& list, Handed& handed)
{
    Waiting kept;
    for (RequestPtr& request : list) {
        if (request->GetDeadline().HasPassed())
            Release(request, handed);
        else
            kept.push_back(std::move(request));
    }
    list.swap(kept);
    for (const RequestPtr& request : list)
        SetTimerFor(request->GetDeadline());
}

void CALLBACK HandOverExpired(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER)
{
    try {
        Handed handed;
        {
            Os::CCriticalSectionLock lock(g_queues.lock);
            g_queues.timerDue = 0;
            for (auto& [server, queue] : g_queues.servers)
                TakeExpired(queue.waiting, handed);
            // In their turn: they fail at once on the thread they are handed.
            TakeExpired(g_queues.named.waiting, handed);
        }
        PostAll(handed);
    }
    QZL_CATCH_REPORT(L"NxoApiRequestQueue::HandOverExpired")
}

} // namespace

namespace NxoApiRequestQueue {

std::string GetServerKey(const Net::CUri& uri)
{
    std::string key = uri.FormatServer();
    for (char& ch : key)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return key;
}

void Submit(const RequestPtr& request, bool namedInMail)
{
    const std::string server = GetServerKey(request->GetRequest()->GetUri());
    Os::StartThreadPoolWork(request);
    Handed handed;
    try {
        handed.reserve(1);
        Os::CCriticalSectionLock lock(g_queues.lock);
        Turn& turn = request->GetTurn();
        turn.server = server;
        turn.named = namedInMail;
        ServerQueue& queue = g_queues.servers[server];
        if (!queue.busy) {
            queue.busy = true;
            turn.held = true;
            HandOver(request, handed);
        } else {
            queue.waiting.push_back(request);
            SetTimerFor(request->GetDeadline());
        }
    } catch (...) {
        // Started, the request must complete: it fails on the pool without a turn.
        handed.assign(1, request);
    }
    PostAll(handed);
}

bool HoldsTurn(const CNxoApiRequestContext& request)
{
    Os::CCriticalSectionLock lock(g_queues.lock);
    return request.GetTurn().held;
}

void EndTurn(CNxoApiRequestContext& request)
{
    Handed handed;
    {
        Os::CCriticalSectionLock lock(g_queues.lock);
        PassTurn(request.GetTurn(), handed);
        PassThread(request.GetTurn(), handed);
    }
    PostAll(handed);
}

void MoveTurn(const RequestPtr& request, const Net::CUri& target)
{
    const std::string server = GetServerKey(target);
    Os::CHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready.IsValid())
        QZL_THROW(L"NxoApiRequestQueue::MoveTurn", CWinError(::GetLastError(), nullptr));
    Turn& turn = request->GetTurn();
    Handed handed;
    bool wait = false;
    bool held = false;
    {
        Os::CCriticalSectionLock lock(g_queues.lock);
        if (server == turn.server)
            return;
        // Given back before the wait, so that two requests redirected towards
        // each other's servers never hold up one another.
        PassTurn(turn, handed);
        turn.server = server;
        ServerQueue& queue = g_queues.servers[server];
        if (!queue.busy) {
            queue.busy = true;
            turn.held = held = true;
        } else if (!request->IsCanceled()) {
            turn.hopReady = ready.Get();
            queue.waiting.push_back(request);
            SetTimerFor(request->GetDeadline());
            wait = true;
        }
    }
    PostAll(handed);
    if (wait) {
        DateTimeSpan left;
        if (request->GetDeadline().LimitWait(left))
            Os::WaitForObject(ready.Get(), left);
        Os::CCriticalSectionLock lock(g_queues.lock);
        turn.hopReady = nullptr;
        held = turn.held;
        auto entry = g_queues.servers.find(server);
        if (!held && entry != g_queues.servers.end() && TakeOut(entry->second.waiting, *request))
            RemoveIfIdle(entry);
    }
    if (!held)
        QZL_THROW(L"NxoApiRequestQueue::MoveTurn", Net::CSocketError(WSAETIMEDOUT, server.c_str()));
}

void Withdraw(CNxoApiRequestContext& request)
{
    Handed handed;
    {
        Os::CCriticalSectionLock lock(g_queues.lock);
        const Turn& turn = request.GetTurn();
        RequestPtr withdrawn;
        if (!turn.held) {
            auto entry = g_queues.servers.find(turn.server);
            if (entry != g_queues.servers.end())
                withdrawn = TakeOut(entry->second.waiting, request);
        } else if (turn.threads == nullptr) {
            withdrawn = TakeOut(g_queues.named.waiting, request);
        }
        if (!withdrawn)
            return;
        Release(withdrawn, handed);
    }
    PostAll(handed);
}

} // namespace NxoApiRequestQueue

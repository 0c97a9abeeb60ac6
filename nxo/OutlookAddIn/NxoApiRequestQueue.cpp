#include "NxoApiRequestQueue.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "HttpRequest.h"
#include "NxoApiClient.h"
#include "ThreadPoolWork.h"
#include "Uri.h"
#include "Wait.h"

#include <algorithm>
#include <utility>

extern "C" IMAGE_DOS_HEADER __ImageBase;

using namespace Quenzal;

namespace {

// Under the queue's lock: false when the request is not in the list.
template <class List>
bool TakeOut(List& list, const CNxoApiRequestContext& request)
{
    auto found = std::find_if(list.begin(), list.end(), [&request](const auto& item) { return item.get() == &request; });
    if (found == list.end())
        return false;
    list.erase(found);
    return true;
}

} // namespace

CNxoApiRequestQueue& CNxoApiRequestQueue::GetInstance()
{
    static CNxoApiRequestQueue queue;
    return queue;
}

std::string CNxoApiRequestQueue::GetServerKey(const Net::CUri& uri)
{
    std::string key = uri.FormatServer();
    for (char& ch : key)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return key;
}

void CNxoApiRequestQueue::PostAll(const Handed& handed)
{
    for (const RequestPtr& request : handed)
        Os::PostThreadPoolWork(request);
}

void CNxoApiRequestQueue::Submit(const RequestPtr& request, bool namedInMail)
{
    std::string server = GetServerKey(request->GetRequest()->GetUri());
    Os::StartThreadPoolWork(request);
    CNxoApiRequestQueue& queue = GetInstance();
    Handed handed;
    try {
        Os::CCriticalSectionLock lock(queue.m_lock);
        CPlace& place = request->m_place;
        place.server = std::move(server);
        place.named = namedInMail;
        queue.Wait(request, handed);
    } catch (...) {
        // Started, the request must complete: it fails on the pool without a turn.
        Hand(request, handed);
    }
    PostAll(handed);
}

bool CNxoApiRequestQueue::IsOnWire(const CNxoApiRequestContext& request)
{
    CNxoApiRequestQueue& queue = GetInstance();
    Os::CCriticalSectionLock lock(queue.m_lock);
    return request.m_place.state == State::OnWire;
}

bool CNxoApiRequestQueue::Redirect(CNxoApiRequestContext& request, const Net::CUri& target, bool namedInMail)
{
    std::string server = GetServerKey(target);
    CNxoApiRequestQueue& queue = GetInstance();
    Os::CCriticalSectionLock lock(queue.m_lock);
    CPlace& place = request.m_place;
    if (place.state != State::OnWire || server == place.server)
        return true;
    place.target = std::move(server);
    place.targetNamed = namedInMail;
    place.state = State::Moving;
    return false;
}

bool CNxoApiRequestQueue::Finish(const RequestPtr& request)
{
    CNxoApiRequestQueue& queue = GetInstance();
    Handed handed;
    bool moving = false;
    {
        Os::CCriticalSectionLock lock(queue.m_lock);
        CPlace& place = request->m_place;
        queue.GiveBack(place, handed);
        moving = place.state == State::Moving;
        if (moving) {
            // Its next run may begin before this thread has let go of it.
            request->LeaveThread();
            // The pool lets go of the module as this run ends; the next run holds it from here.
            Os::LockModule();
            place.server = std::move(place.target);
            place.named = place.targetNamed;
            place.handed = false;
            queue.Wait(request, handed);
        } else {
            place.state = State::Done;
        }
    }
    PostAll(handed);
    return moving;
}

void CNxoApiRequestQueue::Withdraw(CNxoApiRequestContext& request)
{
    CNxoApiRequestQueue& queue = GetInstance();
    Handed handed;
    {
        Os::CCriticalSectionLock lock(queue.m_lock);
        const State state = request.m_place.state;
        if (state != State::WaitingForTurn && state != State::WaitingForThread)
            return;
        // A waiting request is held by its line.
        queue.Leave(request.shared_from_this(), handed);
    }
    PostAll(handed);
}

void CNxoApiRequestQueue::Hand(const RequestPtr& request, Handed& handed)
{
    if (std::exchange(request->m_place.handed, true))
        return;
    handed.push_back(request);
}

void CNxoApiRequestQueue::GiveBack(CPlace& place, Handed& handed)
{
    if (place.threads != nullptr) {
        CThreads& threads = *place.threads;
        place.threads = nullptr;
        --threads.busy;
        PassThread(threads, handed);
    }
    if (place.turn) {
        place.turn = false;
        auto entry = m_servers.find(place.server);
        if (entry != m_servers.end())
            entry->second.busy = false;
        Advance(place.server, handed);
    }
}

void CNxoApiRequestQueue::Wait(const RequestPtr& request, Handed& handed)
{
    CPlace& place = request->m_place;
    if (place.state != State::New && place.state != State::Moving)
        return;
    // One reading of the time left decides both whether the request waits and
    // when the timer ends the wait: a limit that passes in between would
    // leave it waiting with no timer.
    DateTimeSpan left;
    if (request->IsCanceled() || !request->GetDeadline().LimitWait(left)) {
        Leave(request, handed);
        return;
    }
    m_servers[place.server].line.push_back(request);
    place.state = State::WaitingForTurn;
    if (!left.IsZero())
        SetTimer(left.ToWaitTimeout());
    Advance(place.server, handed);
}

void CNxoApiRequestQueue::Leave(const RequestPtr& request, Handed& handed)
{
    CPlace& place = request->m_place;
    const State state = place.state;
    if (state != State::New && state != State::Moving && state != State::WaitingForTurn &&
        state != State::WaitingForThread)
        return;
    place.state = State::Leaving;
    if (state == State::WaitingForThread)
        TakeOut(m_named.waiting, *request);
    if (state == State::WaitingForTurn || state == State::WaitingForThread) {
        auto entry = m_servers.find(place.server);
        if (entry != m_servers.end() && TakeOut(entry->second.line, *request))
            Advance(place.server, handed);
    }
    if (!place.named)
        Hand(request, handed);
    else if (!TakeThread(m_leaving, request, handed))
        m_leaving.waiting.push_back(request);
}

void CNxoApiRequestQueue::Advance(const std::string& server, Handed& handed)
{
    auto entry = m_servers.find(server);
    if (entry == m_servers.end())
        return;
    CServer& queue = entry->second;
    if (!queue.busy && !queue.line.empty()) {
        CPlace& first = queue.line.front()->m_place;
        if (first.state == State::WaitingForTurn) {
            if (!first.named || m_named.busy < m_named.limit) {
                GoOnWire(queue, handed);
            } else {
                first.state = State::WaitingForThread;
                m_named.waiting.push_back(queue.line.front());
            }
        }
    }
    RemoveIfIdle(server);
}

void CNxoApiRequestQueue::GoOnWire(CServer& server, Handed& handed)
{
    const State state = server.line.front()->m_place.state;
    if (state != State::WaitingForTurn && state != State::WaitingForThread)
        return;
    RequestPtr request = std::move(server.line.front());
    server.line.pop_front();
    server.busy = true;
    CPlace& place = request->m_place;
    place.turn = true;
    place.state = State::OnWire;
    if (!place.named || !TakeThread(m_named, request, handed))
        Hand(request, handed);
}

bool CNxoApiRequestQueue::TakeThread(CThreads& threads, const RequestPtr& request, Handed& handed)
{
    if (threads.busy >= threads.limit)
        return false;
    ++threads.busy;
    request->m_place.threads = &threads;
    Hand(request, handed);
    return true;
}

void CNxoApiRequestQueue::PassThread(CThreads& threads, Handed& handed)
{
    while (threads.busy < threads.limit && !threads.waiting.empty()) {
        RequestPtr next = std::move(threads.waiting.front());
        threads.waiting.pop_front();
        if (&threads == &m_leaving) {
            TakeThread(threads, next, handed);
            continue;
        }
        // First in the line of a server with none on the wire: it goes now.
        auto entry = m_servers.find(next->m_place.server);
        if (entry != m_servers.end() && !entry->second.busy && !entry->second.line.empty() &&
            entry->second.line.front() == next)
            GoOnWire(entry->second, handed);
    }
}

void CNxoApiRequestQueue::LeaveExpired(Handed& handed)
{
    Requests expired;
    for (auto& [key, server] : m_servers) {
        for (const RequestPtr& request : server.line) {
            DateTimeSpan left;
            if (!request->GetDeadline().LimitWait(left))
                expired.push_back(request);
            else if (!left.IsZero())
                SetTimer(left.ToWaitTimeout());
        }
    }
    for (const RequestPtr& request : expired)
        Leave(request, handed);
}

void CALLBACK CNxoApiRequestQueue::OnTimer(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER)
{
    try {
        CNxoApiRequestQueue& queue = GetInstance();
        Handed handed;
        {
            Os::CCriticalSectionLock lock(queue.m_lock);
            queue.m_timerDue = 0;
            queue.LeaveExpired(handed);
        }
        PostAll(handed);
    }
    QZL_CATCH_REPORT(L"CNxoApiRequestQueue::OnTimer")
}

void CNxoApiRequestQueue::SetTimer(DWORD milliseconds)
{
    const ULONGLONG due = ::GetTickCount64() + milliseconds;
    if (m_timerDue != 0 && m_timerDue <= due)
        return;
    if (m_timer == nullptr) {
        TP_CALLBACK_ENVIRON environment;
        ::InitializeThreadpoolEnvironment(&environment);
        // The pool holds the module while the timer's callback runs.
        ::SetThreadpoolCallbackLibrary(&environment, &__ImageBase);
        m_timer = ::CreateThreadpoolTimer(OnTimer, nullptr, &environment);
        ::DestroyThreadpoolEnvironment(&environment);
        // Without a timer a waiting request still fails once it has its turn.
        if (m_timer == nullptr)
            return;
        m_timerLock.emplace();
    }
    m_timerDue = due;
    ULARGE_INTEGER relative;
    relative.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(milliseconds) * 10000);
    FILETIME dueTime{relative.LowPart, relative.HighPart};
    ::SetThreadpoolTimer(m_timer, &dueTime, 0, 0);
}

void CNxoApiRequestQueue::RemoveIfIdle(const std::string& server)
{
    auto entry = m_servers.find(server);
    if (entry == m_servers.end() || entry->second.busy || !entry->second.line.empty())
        return;
    m_servers.erase(entry);
    if (!m_servers.empty() || m_timer == nullptr)
        return;
    // A callback under way finds nothing left to hand over.
    ::SetThreadpoolTimer(m_timer, nullptr, 0, 0);
    ::CloseThreadpoolTimer(m_timer);
    m_timer = nullptr;
    m_timerLock.reset();
    m_timerDue = 0;
}

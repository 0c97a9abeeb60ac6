#pragma once
// Who of the appliance requests may go on the wire, and who waits for what.
// Requests take turns per server (scheme, host and port): two requests to one
// appliance never share the wire, while a server that accepts and never
// answers holds up only the requests to itself. Servers named in mail are
// many and may all be silent: their requests on the wire hold a few pool
// threads between them, and the configured appliance's requests never wait
// for those.
//
// Each request is in one state, changed only here under one lock. A request
// that waits (for its server's turn, for a thread, for the turn of the server
// a redirection sends it to) holds nothing: it sits in its server's line, not
// on a pool thread, and has given back its turn and its thread first, so that
// no request ever waits for what a waiting request holds. A redirection starts
// the request again: it leaves its pool thread and comes back as a waiting
// request of the target. A waiting request that is canceled, or whose time
// limit passes, leaves for the pool at once and fails there without a turn.

#include "CriticalSection.h"
#include "ModuleLock.h"

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CNxoApiRequestContext;

namespace Quenzal::Net {
class CUri;
}

class CNxoApiRequestQueue {
    using RequestPtr = std::shared_ptr<CNxoApiRequestContext>;
    using Requests = std::deque<RequestPtr>;

    // A few pool threads, and the requests waiting for one of them.
    struct CThreads {
        size_t limit;
        size_t busy = 0;
        Requests waiting;
    };

public:
    // A request's place in the queue, which only the queue reads or writes,
    // under its lock.
    class CPlace {
    public:
        CPlace() = default;
        CPlace(const CPlace&) = delete;
        CPlace& operator=(const CPlace&) = delete;

    private:
        friend class CNxoApiRequestQueue;
        enum class State {
            New,
            // In its server's line.
            WaitingForTurn,
            // First in the line of a server with none on the wire, for one of
            // the threads of servers named in mail.
            WaitingForThread,
            OnWire,
            // Redirected, on its way out of its pool thread.
            Moving,
            // Out of the lines, to fail on the pool without a turn.
            Leaving,
            Done,
        };
        State state = State::New;
        // The server whose turn it waits for or holds, whatever the request's
        // URI says by the time it is given back.
        std::string server;
        bool named = false;
        // What it holds: the server's turn, one of a group's threads.
        bool turn = false;
        CThreads* threads = nullptr;
        // Where a redirection sends it.
        std::string target;
        bool targetNamed = false;
        // Handed to the pool in this run; a redirection begins the next.
        bool handed = false;
    };

    // The server's name in the queue: host names compare without regard to case.
    static std::string GetServerKey(const Quenzal::Net::CUri& uri);

    // Starts the request, which from now on counts among the live ones, and
    // lines it up for its server's turn. Raises when the start is refused.
    static void Submit(const std::shared_ptr<CNxoApiRequestContext>& request, bool namedInMail);
    // On the request's pool thread: whether it is on the wire, its turn taken.
    static bool IsOnWire(const CNxoApiRequestContext& request);
    // A redirection to the target: true when the request goes on at once,
    // false when it is to leave its thread and wait for the target's turn.
    static bool Redirect(CNxoApiRequestContext& request, const Quenzal::Net::CUri& target, bool namedInMail);
    // On the request's pool thread, its work done: a redirected request lines
    // up for the target's turn (true); any other is done with the queue and
    // gives back what it holds (false).
    static bool Finish(const std::shared_ptr<CNxoApiRequestContext>& request);
    // A request waiting in a line leaves it for the pool at once.
    static void Withdraw(CNxoApiRequestContext& request);

private:
    // What goes to the pool once the lock is left.
    using Handed = std::vector<RequestPtr>;
    using State = CPlace::State;

    struct CServer {
        bool busy = false;
        Requests line;
    };

    CNxoApiRequestQueue() = default;
    static CNxoApiRequestQueue& GetInstance();
    static void PostAll(const Handed& handed);
    static void CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER);

    // A request goes to the pool at most once a run, whatever asks for it.
    static void Hand(const RequestPtr& request, Handed& handed);
    // The one change of state, for a request that holds nothing or is done:
    // it gives back its turn and its thread, and those go on to the requests
    // that waited for them.
    void GiveBack(CPlace& place, Handed& handed);
    // A request that holds nothing (new, or moving to a redirection's
    // target) lines up for its server's turn, or leaves when its time is up or
    // it is canceled.
    void Wait(const RequestPtr& request, Handed& handed);
    // Only a request that holds nothing or is waiting can leave: one on the
    // wire or already leaving is left as it is.
    void Leave(const RequestPtr& request, Handed& handed);
    // The first of the server's line goes on the wire when it may.
    void Advance(const std::string& server, Handed& handed);
    // The first of the server's line, while it waits, takes its turn and a
    // thread when it needs one.
    void GoOnWire(CServer& server, Handed& handed);
    bool TakeThread(CThreads& threads, const RequestPtr& request, Handed& handed);
    void PassThread(CThreads& threads, Handed& handed);
    void LeaveExpired(Handed& handed);
    void SetTimer(DWORD milliseconds);
    void RemoveIfIdle(const std::string& server);

    Quenzal::Os::CCriticalSection m_lock;
    std::map<std::string, CServer> m_servers;
    // Enough for several slow servers named in mail at once, few enough that
    // a flood of silent ones costs little; those that fail without their
    // turn, all at once when a flood's time limit passes, run on fewer still.
    CThreads m_named{8, 0, {}};
    CThreads m_leaving{4, 0, {}};
    // There while any server is, for the waiting requests whose time limit
    // passes; its procedure is in this module, which stays loaded meanwhile.
    PTP_TIMER m_timer = nullptr;
    std::optional<Quenzal::Os::CModuleLock> m_timerLock;
    // The tick count the timer is set for; 0 when it is not set.
    ULONGLONG m_timerDue = 0;
};

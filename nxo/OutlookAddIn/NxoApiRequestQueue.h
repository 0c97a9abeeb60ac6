#pragma once
// Appliance exchanges take turns per server (scheme, host and port): two
// requests to one appliance never share the wire, while a server that
// accepts and never answers holds up only the requests to itself. The
// requests of a server wait in its queue, not on pool threads, and are handed
// to the pool one at a time, so that no number of them keeps a thread from
// the requests to other servers. A waiting request that is canceled, or whose
// time limit passes, leaves the queue for the pool at once and fails there
// without taking a turn.
//
// Servers named in mail are many and may all be silent: their requests in
// turn take only a few pool threads between them, and the others wait for one
// without a thread. The configured appliance's requests never wait for those.

#include <windows.h>

#include <memory>
#include <string>

class CNxoApiRequestContext;

namespace Quenzal::Net {
class CUri;
}

namespace NxoApiRequestQueue {

struct Threads;

// A request's claim on a server's turn, taken at Submit. It names the server
// whose turn it is, whatever the request's URI says by the time the turn is
// given back (a redirection rewrites it), so that the turn goes back to the
// queue it came from, exactly once, however the request ends. Only the queue
// reads or writes it, under its lock.
struct Turn {
    std::string server;
    bool held = false;
    // A request to a server named in mail, and the few threads it has one of.
    bool named = false;
    Threads* threads = nullptr;
    // Set while the request waits on its pool thread for the turn of a
    // redirection's target.
    HANDLE hopReady = nullptr;
};

// The server's name in the queues: host names compare without regard to case.
std::string GetServerKey(const Quenzal::Net::CUri& uri);
// Starts the request, which from now on counts among the live ones, and
// hands it to the pool in its turn: at once when its server has none under
// way, else behind the requests before it. Raises when the start is refused.
void Submit(const std::shared_ptr<CNxoApiRequestContext>& request, bool namedInMail);
bool HoldsTurn(const CNxoApiRequestContext& request);
// The request is done with the wire: the next one gets the turn it holds,
// and another request to a server named in mail its thread.
void EndTurn(CNxoApiRequestContext& request);
// A redirection to another server: the request gives its turn back and waits
// on its thread, within its time limit, for the target's. Raises when that
// does not come.
void MoveTurn(const std::shared_ptr<CNxoApiRequestContext>& request, const Quenzal::Net::CUri& target);
// A request still waiting for its turn goes to the pool without it.
void Withdraw(CNxoApiRequestContext& request);

} // namespace NxoApiRequestQueue

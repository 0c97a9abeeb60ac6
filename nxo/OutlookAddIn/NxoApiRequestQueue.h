#pragma once
// Appliance exchanges take turns per server (scheme, host and port): two
// requests to one appliance never share the wire, while a server that
// accepts and never answers holds up only the requests to itself. The
// requests of a server wait in its queue, not on pool threads, and are handed
// to the pool one at a time, so that no number of them keeps a thread from
// the requests to other servers. A waiting request that is canceled, or whose
// time limit passes, leaves the queue for the pool at once and fails there
// without taking a turn.

#include <memory>
#include <string>

class CNxoApiRequestContext;

namespace NxoApiRequestQueue {

// The server's name in the queues: host names compare without regard to case.
std::string GetServerKey(const CNxoApiRequestContext& request);
// Starts the request, which from now on counts among the live ones, and
// hands it to the pool in its turn: at once when its server has none under
// way, else behind the requests before it. Raises when the start is refused.
void Submit(const std::shared_ptr<CNxoApiRequestContext>& request);
// The request in its turn is done with the wire: the next one gets the turn.
void PassTurn(const std::string& server);
// A request still waiting for its turn goes to the pool without it.
void Withdraw(const CNxoApiRequestContext& request);

} // namespace NxoApiRequestQueue

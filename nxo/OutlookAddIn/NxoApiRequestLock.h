#pragma once
// Appliance exchanges take turns per server (scheme, host and port): two
// requests to one appliance never share the wire, while a server that
// accepts and never answers holds up only the requests to itself. A turn is
// held by the pool thread that runs the exchange, for the exchange's time.

#include "Uri.h"
#include "Wait.h"

#include <windows.h>

#include <string>

class CNxoApiRequestLock {
public:
    // Waits for the server's turn, no longer than the deadline; when that
    // passes first, raises the time-out a server that does not answer gives.
    CNxoApiRequestLock(const Quenzal::Net::CUri& server, const Quenzal::Os::CDeadline& deadline);
    ~CNxoApiRequestLock();
    CNxoApiRequestLock(const CNxoApiRequestLock&) = delete;
    CNxoApiRequestLock& operator=(const CNxoApiRequestLock&) = delete;

private:
    std::string m_server;
    HANDLE m_turn = nullptr;
};

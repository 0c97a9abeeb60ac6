// WSAETIMEDOUT; Winsock's header goes before <windows.h>.
#include <winsock2.h>

#include "NxoApiRequestLock.h"

#include "CriticalSection.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "SmartPointer.h"
#include "SocketError.h"

#include <map>

using namespace Quenzal;

namespace {

// A semaphore of one rather than a critical section: the wait for a turn
// must be able to give up.
struct ServerTurn {
    Os::CHandle semaphore;
    size_t users = 0;
};

// The servers with a request under way or waiting; an entry goes with its last user.
struct ServerTurns {
    Os::CCriticalSection lock;
    std::map<std::string, ServerTurn> servers;
};

ServerTurns g_turns;

// Host names compare without regard to case.
std::string ServerKey(const Net::CUri& uri)
{
    std::string key = uri.FormatServer();
    for (char& ch : key)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return key;
}

HANDLE JoinTurns(const std::string& server)
{
    Os::CCriticalSectionLock hold(g_turns.lock);
    ServerTurn& turn = g_turns.servers[server];
    if (!turn.semaphore) {
        turn.semaphore.Reset(::CreateSemaphoreW(nullptr, 1, 1, nullptr));
        if (!turn.semaphore) {
            CWinError error(::GetLastError(), nullptr);
            g_turns.servers.erase(server);
            QZL_THROW(L"CNxoApiRequestLock::CNxoApiRequestLock", error);
        }
    }
    ++turn.users;
    return turn.semaphore.Get();
}

void LeaveTurns(const std::string& server)
{
    Os::CCriticalSectionLock hold(g_turns.lock);
    auto entry = g_turns.servers.find(server);
    if (entry != g_turns.servers.end() && --entry->second.users == 0)
        g_turns.servers.erase(entry);
}

} // namespace

CNxoApiRequestLock::CNxoApiRequestLock(const Net::CUri& server, const Os::CDeadline& deadline)
    : m_server(ServerKey(server))
{
    HANDLE turn = JoinTurns(m_server);
    DateTimeSpan timeout;
    if (!deadline.LimitWait(timeout) || !Os::WaitForObject(turn, timeout)) {
        LeaveTurns(m_server);
        Logging::LogA(Logging::Warning, ("Appliance request gave up waiting for the requests before it: " +
                                         server.FormatServer())
                                            .c_str());
        QZL_THROW(L"CNxoApiRequestLock::CNxoApiRequestLock", Net::CSocketError(WSAETIMEDOUT, m_server.c_str()));
    }
    m_turn = turn;
}

CNxoApiRequestLock::~CNxoApiRequestLock()
{
    ::ReleaseSemaphore(m_turn, 1, nullptr);
    LeaveTurns(m_server);
}

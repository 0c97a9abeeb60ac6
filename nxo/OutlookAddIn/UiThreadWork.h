#pragma once
// Work that another thread hands to Outlook's user-interface thread: the
// Outlook object model, the add-in's timer and message boxes belong to that
// thread. One marshaler message serves every piece of work; the pieces run in
// the order they were posted, with the add-in held: a piece may show a window
// whose loop lets Outlook disconnect and release the add-in.
//
// Each connection has work of its own. A thread that nobody waits for (a
// name lookup) may end after the connection did, or after a newer one began,
// even after the add-in is gone: it posts through a poster of the connection
// it began under, which drops the work once that connection has ended.

#include "AsyncMarshaler.h"
#include "CriticalSection.h"

#include <deque>
#include <functional>
#include <memory>

namespace Quenzal::OutlookAddIn {
class COutlookAddIn;
}

class CUiThreadWork {
    struct Connection;

public:
    // One connection's way to the user-interface thread; it keeps nothing of
    // the add-in alive. Copies may be used on any thread.
    class CPoster {
    public:
        CPoster() = default;
        // False, the work dropped, once the connection has ended.
        bool Post(std::function<void()> work) const;
        // Expires with the connection.
        std::weak_ptr<void> GetConnection() const { return m_connection; }

    private:
        friend class CUiThreadWork;
        explicit CPoster(std::weak_ptr<Connection> connection) : m_connection(std::move(connection)) {}
        std::weak_ptr<Connection> m_connection;
    };

    CUiThreadWork() = default;
    CUiThreadWork(const CUiThreadWork&) = delete;
    CUiThreadWork& operator=(const CUiThreadWork&) = delete;

    // On the user-interface thread, once the add-in's marshaler has its window.
    void Initialize(Quenzal::OutlookAddIn::COutlookAddIn& addIn);
    // On the user-interface thread. Work not yet run, and work posted
    // afterwards, is dropped: its owner is going away.
    void Uninitialize();
    // Any thread; returns at once. Raises when nothing would run the work.
    void Post(std::function<void()> work);
    // Any thread: the running connection's poster (one that drops everything
    // when none runs).
    CPoster GetPoster();

private:
    // Guards which connection runs; each connection guards its own work.
    Quenzal::Os::CCriticalSection m_lock;
    std::shared_ptr<Connection> m_connection;
};

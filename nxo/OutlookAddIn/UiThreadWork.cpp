#include "UiThreadWork.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "OutlookAddIn.h"

#include <utility>

using namespace Quenzal;

// The add-in and its marshaler are used only while the connection is open:
// closing it, on the user-interface thread, waits only for a post under way.
struct CUiThreadWork::Connection {
    Os::CCriticalSection lock;
    OutlookAddIn::COutlookAddIn* addIn = nullptr;
    OutlookAddIn::CAsyncMarshaler* marshaler = nullptr;
    UINT message = 0;
    std::deque<std::function<void()>> work;

    bool Post(std::function<void()>& piece)
    {
        Os::CCriticalSectionLock held(lock);
        if (marshaler == nullptr)
            return false;
        work.push_back(std::move(piece));
        marshaler->InvokeCallback(message);
        return true;
    }

    // Posted work runs only while the connection is open, while the add-in lives.
    void RunPosted()
    {
        OutlookAddIn::CAddInBusy busy(*addIn);
        for (;;) {
            std::function<void()> piece;
            {
                Os::CCriticalSectionLock held(lock);
                if (work.empty())
                    return;
                piece = std::move(work.front());
                work.pop_front();
            }
            try {
                piece();
            }
            QZL_CATCH_REPORT(L"CUiThreadWork::RunPosted")
        }
    }
};

void CUiThreadWork::Initialize(OutlookAddIn::COutlookAddIn& addIn)
{
    Uninitialize();
    auto connection = std::make_shared<Connection>();
    std::weak_ptr<Connection> weak = connection;
    // A piece of work may end the connection: the run holds what it works on.
    connection->message = OutlookAddIn::CAsyncMarshaler::RegisterCallback([weak](int64_t) {
        if (std::shared_ptr<Connection> running = weak.lock())
            running->RunPosted();
    });
    connection->addIn = &addIn;
    connection->marshaler = &addIn.GetMarshaler();
    Os::CCriticalSectionLock lock(m_lock);
    m_connection = std::move(connection);
}

void CUiThreadWork::Uninitialize()
{
    std::shared_ptr<Connection> ended;
    {
        Os::CCriticalSectionLock lock(m_lock);
        ended = std::move(m_connection);
    }
    if (!ended)
        return;
    OutlookAddIn::CAsyncMarshaler* marshaler = nullptr;
    std::deque<std::function<void()>> dropped;
    {
        Os::CCriticalSectionLock lock(ended->lock);
        marshaler = std::exchange(ended->marshaler, nullptr);
        dropped.swap(ended->work);
    }
    marshaler->UnregisterCallback(ended->message);
}

void CUiThreadWork::Post(std::function<void()> work)
{
    if (!GetPoster().Post(std::move(work)))
        QZL_THROW(QZL_FUNCTION, CException(L"No user-interface thread to run the work"));
}

CUiThreadWork::CPoster CUiThreadWork::GetPoster()
{
    Os::CCriticalSectionLock lock(m_lock);
    return CPoster(m_connection);
}

bool CUiThreadWork::CPoster::Post(std::function<void()> work) const
{
    std::shared_ptr<Connection> connection = m_connection.lock();
    return connection && connection->Post(work);
}

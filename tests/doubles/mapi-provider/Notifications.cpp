// Table notifications: the sinks advised on a folder's contents tables, and
// the provider's own thread that calls them, as a store calls sinks that were
// advised without a marshalling wrapper.
#include "Provider.h"

#include <condition_variable>
#include <deque>
#include <map>

namespace QzlTestMapi {
namespace {

// A copy of notifications as a test gave them, rows included, for a delivery
// that happens after the test's values are gone.
class CNotificationBatch {
public:
    CNotificationBatch(const NOTIFICATION* notifications, ULONG count)
        : m_notifications(notifications, notifications + (notifications != nullptr ? count : 0)), m_count(count)
    {
        for (NOTIFICATION& notification : m_notifications) {
            if (notification.ulEventType != fnevTableModified)
                continue;
            TABLE_NOTIFICATION& table = notification.info.tab;
            table.propIndex = table.propPrior = SPropValue{};
            SRow source = table.row;
            table.row.lpProps = nullptr;
            if (source.lpProps == nullptr ||
                FAILED(MAPIAllocateBuffer(sizeof(SPropValue) * (source.cValues + 1),
                                          reinterpret_cast<void**>(&table.row.lpProps))))
                continue;
            for (ULONG i = 0; i < source.cValues; ++i)
                CopyPropValue(table.row.lpProps[i], source.lpProps[i], table.row.lpProps);
        }
    }
    ~CNotificationBatch()
    {
        for (NOTIFICATION& notification : m_notifications) {
            if (notification.ulEventType == fnevTableModified)
                MAPIFreeBuffer(notification.info.tab.row.lpProps);
        }
    }
    CNotificationBatch(const CNotificationBatch&) = delete;
    CNotificationBatch& operator=(const CNotificationBatch&) = delete;

    // An empty batch comes as MAPI would never send it: no array at all.
    void DeliverTo(IMAPIAdviseSink* sink)
    {
        sink->OnNotify(m_count, m_notifications.empty() ? nullptr : m_notifications.data());
    }

private:
    std::vector<NOTIFICATION> m_notifications;
    ULONG m_count;
};
using BatchPtr = std::shared_ptr<CNotificationBatch>;

std::atomic<bool> g_holdSinks{true};

struct Delivery {
    NotificationHubPtr hub;
    BatchPtr batch;
    // A sink already unadvised, with the reference the delivery holds: it
    // hears the batch alone.
    IMAPIAdviseSink* late = nullptr;
};

// Never destroyed: the thread may still wait on it while the process ends.
class CDeliveryThread {
public:
    static CDeliveryThread& Instance()
    {
        static auto* thread = new CDeliveryThread;
        return *thread;
    }
    void Post(Delivery delivery)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queue.push_back(std::move(delivery));
        if (!m_started) {
            m_started = true;
            ::CloseHandle(::CreateThread(nullptr, 0, &Run, this, 0, nullptr));
        }
        m_changed.notify_all();
    }
    // Kept until the next wait for deliveries, so that it comes after
    // whatever the test does once Unadvise returned.
    void PostLate(Delivery delivery)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_late.push_back(std::move(delivery));
    }
    void WaitIdle()
    {
        std::vector<Delivery> late;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            late.swap(m_late);
        }
        for (Delivery& delivery : late)
            Post(std::move(delivery));
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    }

private:
    static DWORD WINAPI Run(void* self);
    void Deliver(const Delivery& delivery);

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Delivery> m_queue;
    std::vector<Delivery> m_late;
    bool m_started = false;
    bool m_busy = false;
};

} // namespace

class CNotificationHub : public std::enable_shared_from_this<CNotificationHub> {
public:
    HRESULT Advise(IMAPIAdviseSink* sink, ULONG* connection)
    {
        if (sink == nullptr || connection == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        BatchPtr duringAdvise;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            sink->AddRef();
            *connection = ++m_lastConnection;
            m_sinks[*connection] = sink;
            duringAdvise = std::move(m_duringAdvise);
        }
        if (duringAdvise) {
            CDeliveryThread::Instance().Post({shared_from_this(), duringAdvise});
            CDeliveryThread::Instance().WaitIdle();
        }
        return S_OK;
    }
    HRESULT Unadvise(ULONG connection)
    {
        IMAPIAdviseSink* sink = nullptr;
        BatchPtr late;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            auto it = m_sinks.find(connection);
            if (it == m_sinks.end())
                return MAPI_E_NOT_FOUND;
            sink = it->second;
            m_sinks.erase(it);
            late = std::move(m_afterUnadvise);
        }
        // A store that had the notification on its way holds the sink for it.
        if (late) {
            sink->AddRef();
            CDeliveryThread::Instance().PostLate({shared_from_this(), late, sink});
        }
        sink->Release();
        return S_OK;
    }
    void SetAfterUnadvise(BatchPtr batch)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_afterUnadvise = std::move(batch);
    }
    void SetDuringAdvise(BatchPtr batch)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_duringAdvise = std::move(batch);
    }
    // The sinks advised now, each with a reference for the delivery when it holds them.
    std::vector<IMAPIAdviseSink*> Sinks(bool hold)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<IMAPIAdviseSink*> sinks;
        for (auto& [connection, sink] : m_sinks) {
            if (hold)
                sink->AddRef();
            sinks.push_back(sink);
        }
        return sinks;
    }

private:
    std::mutex m_lock;
    std::map<ULONG, IMAPIAdviseSink*> m_sinks;
    ULONG m_lastConnection = 0;
    BatchPtr m_duringAdvise;
    BatchPtr m_afterUnadvise;
};

DWORD WINAPI CDeliveryThread::Run(void* self)
{
    auto* thread = static_cast<CDeliveryThread*>(self);
    std::unique_lock<std::mutex> lock(thread->m_lock);
    for (;;) {
        thread->m_changed.wait(lock, [thread] { return !thread->m_queue.empty(); });
        Delivery delivery = std::move(thread->m_queue.front());
        thread->m_queue.pop_front();
        thread->m_busy = true;
        lock.unlock();
        thread->Deliver(delivery);
        delivery = {};
        lock.lock();
        thread->m_busy = false;
        thread->m_changed.notify_all();
    }
}

void CDeliveryThread::Deliver(const Delivery& delivery)
{
    if (delivery.late != nullptr) {
        delivery.batch->DeliverTo(delivery.late);
        delivery.late->Release();
        return;
    }
    bool held = g_holdSinks;
    for (IMAPIAdviseSink* sink : delivery.hub->Sinks(held)) {
        delivery.batch->DeliverTo(sink);
        if (held)
            sink->Release();
    }
}

NotificationHubPtr NewNotificationHub()
{
    return std::make_shared<CNotificationHub>();
}

HRESULT AdviseHub(const NotificationHubPtr& hub, IMAPIAdviseSink* sink, ULONG* connection)
{
    return hub ? hub->Advise(sink, connection) : MAPI_E_NO_SUPPORT;
}

HRESULT UnadviseHub(const NotificationHubPtr& hub, ULONG connection)
{
    return hub ? hub->Unadvise(connection) : MAPI_E_NO_SUPPORT;
}

void QueueNotifications(const NotificationHubPtr& hub, const NOTIFICATION* notifications, ULONG count,
                        NotificationTime when)
{
    if (!hub)
        return;
    auto batch = std::make_shared<CNotificationBatch>(notifications, count);
    if (when == NotificationTime::DuringAdvise)
        hub->SetDuringAdvise(std::move(batch));
    else if (when == NotificationTime::AfterUnadvise)
        hub->SetAfterUnadvise(std::move(batch));
    else
        CDeliveryThread::Instance().Post({hub, std::move(batch)});
}

void WaitForNotifications()
{
    CDeliveryThread::Instance().WaitIdle();
}

void HoldSinksWhileNotifying(bool hold)
{
    g_holdSinks = hold;
}

} // namespace QzlTestMapi

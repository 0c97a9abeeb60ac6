#pragma once
// Background work on the system thread pool: a work item with a fixed life
// cycle (starting, beginning, executing, completing), completion handlers run
// in order on the pool thread, a completion event for waiters, cancellation,
// and the failure of the work carried back to whoever reads the result.

#include "CriticalSection.h"
#include "DateTime.h"
#include "DateTimeSpan.h"
#include "ExceptionTransport.h"
#include "SmartPointer.h"
#include "StringW.h"

#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace Quenzal::Os {

class IThreadPoolWork {
public:
    IThreadPoolWork() = default;
    IThreadPoolWork(const IThreadPoolWork&) = delete;
    IThreadPoolWork& operator=(const IThreadPoolWork&) = delete;
    virtual ~IThreadPoolWork() = default;

    // The name the pool thread carries while it runs this work.
    virtual std::string GetName() const;
    virtual bool IsComplete() const = 0;
    // Called once on the queueing thread before the pool gets the item.
    virtual void OnExecutionStarting();
    // First step on the pool thread: thread id, thread name, and the start
    // time of the first run.
    virtual void BeginExecution();
    // The body; runs the work function.
    virtual void Execute();
    virtual void SetException(std::exception_ptr exception) = 0;
    virtual void PreExecute();
    virtual void PostExecute();
    // Runs the completion handlers in the order they were added.
    virtual void OnExecutionCompleted();

    void SetWorkFunction(std::function<void()> work) { m_work = std::move(work); }
    bool IsStarted() const { return m_started.load(); }
    // The pool thread's id from the beginning on; 0 before.
    DWORD GetThreadId() const { return m_threadId.load(); }
    DateTime GetStartTime() const { return m_startTime; }
    // Zero until the work began.
    DateTimeSpan GetElapsedTime() const;

protected:
    void SetStarted() { m_started.store(true); }
    // For an item that OnExecutionCompleted finds unfinished, to be posted
    // again once what it waits for comes (PostThreadPoolWork, with a module
    // lock taken before the item leaves its thread): meanwhile it runs on none.
    void LeaveThread() { m_threadId.store(0); }
    // Appends a handler, or runs it at once when the handlers already ran.
    void AppendCompletionHandler(std::function<void()> handler);

    // Guards the handler list and the flag that the handlers have run.
    CCriticalSection m_lock;
    std::function<void()> m_work;

private:
    std::atomic<bool> m_started{false};
    // Read by other threads, for instance one that waits for all work but its own.
    std::atomic<DWORD> m_threadId{0};
    DateTime m_startTime;
    std::deque<std::function<void()>> m_completionHandlers;
    bool m_handlersRun = false;
};

// A work item with a completion event and an exception transport.
class CThreadPoolWork : public IThreadPoolWork, public IExceptionTransport {
public:
    CThreadPoolWork();
    ~CThreadPoolWork() override;

    std::string GetName() const override;
    bool IsComplete() const override;
    void SetException(std::exception_ptr exception) override;
    // The handlers, then the completion event.
    void OnExecutionCompleted() override;

    // May be called before or after queueing; a handler added once the
    // handlers have run is run at once on the caller's thread.
    void AddCompletionHandler(std::function<void()> handler);
    void SetName(const StringW& name) { m_name = name; }
    HANDLE GetCompletionEvent() const { return m_completionEvent.Get(); }

protected:
    CHandle m_completionEvent;
    StringW m_name;
};

// A work item that another thread may ask to stop.
class CCancelableThreadPoolWork : public CThreadPoolWork {
public:
    // Waits for the completion event or the cancel handle, whichever comes
    // first; when the cancel handle comes first the work is canceled.
    virtual void WaitForCompletionOrCancel(HANDLE cancel);
    // Marks the work canceled and calls the cancel callback; any thread.
    virtual void Cancel();

    void SetCancelCallback(std::function<void()> callback) { m_cancelCallback = std::move(callback); }
    bool IsCanceled() const { return m_canceled.load(); }

protected:
    std::function<void()> m_cancelCallback;
    std::atomic<bool> m_canceled{false};
};

// Hands the item to the system thread pool; an item runs only once.
void QueueThreadPoolWork(const std::shared_ptr<IThreadPoolWork>& work);
// The two halves of QueueThreadPoolWork, for an item that waits for its turn
// in a queue of its own between them: the start (OnExecutionStarting, from
// which on the item holds a module lock, see ModuleLock.h, until the pool
// thread has returned from it), and the hand-over of a started item.
void StartThreadPoolWork(const std::shared_ptr<IThreadPoolWork>& work);
void PostThreadPoolWork(const std::shared_ptr<IThreadPoolWork>& work);

} // namespace Quenzal::Os

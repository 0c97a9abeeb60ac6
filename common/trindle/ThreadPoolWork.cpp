#include "ThreadPoolWork.h"

#include "ErrorReport.h"
#include "Os.h"
#include "FatalExit.h"
#include "Logging.h"
#include "ModuleLock.h"
#include "StructuredExceptionGuard.h"
#include "ThreadName.h"

#include <comdef.h>
#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Quenzal::Os {

namespace {

// GCC names types in their mangled form; the log shows the C++ name.
std::string TypeName(const std::type_info& type)
{
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && readable != nullptr ? readable : type.name();
    std::free(readable);
    return name;
}

// Reports the exception being handled as caught during completion. Called
// only from inside a catch clause.
void ReportCompletionFailure()
{
    try {
        throw;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::Os::IThreadPoolWork::OnExecutionCompleted", e);
    } catch (const std::exception& e) {
        ReportException(L"Caught exception", __FILE__, L"Quenzal::Os::IThreadPoolWork::OnExecutionCompleted",
                        __LINE__, StringW(TypeName(typeid(e)) + ": " + e.what()));
    } catch (...) {
        ReportException(L"Caught exception", __FILE__, L"Quenzal::Os::IThreadPoolWork::OnExecutionCompleted",
                        __LINE__, L"Unknown exception");
    }
}

// A handler may fail in any way; that must neither stop the handlers after it
// nor keep the completion event from being set.
void RunCompletionHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        ReportCompletionFailure();
    }
}

} // namespace

std::string IThreadPoolWork::GetName() const
{
    return "Anonymous lambda";
}

void IThreadPoolWork::OnExecutionStarting()
{
    SetStarted();
}

void IThreadPoolWork::BeginExecution()
{
    m_threadId.store(::GetCurrentThreadId());
    SetThreadName(m_threadId.load(), GetName().c_str());
    // An item posted again runs on while its last thread may still read this.
    if (m_startTime.IsNull())
        m_startTime = DateTime::Now();
}

void IThreadPoolWork::Execute()
{
    m_work();
}

void IThreadPoolWork::PreExecute() {}

void IThreadPoolWork::PostExecute() {}

void IThreadPoolWork::OnExecutionCompleted()
{
    // Handlers are taken one at a time under the lock and run outside it, so
    // that one added meanwhile still runs in its turn and a handler may add
    // another without deadlock.
    for (;;) {
        std::function<void()> handler;
        {
            CCriticalSectionLock lock(m_lock);
            if (m_completionHandlers.empty()) {
                m_handlersRun = true;
                return;
            }
            handler = std::move(m_completionHandlers.front());
            m_completionHandlers.pop_front();
        }
        RunCompletionHandler(handler);
    }
}

void IThreadPoolWork::AppendCompletionHandler(std::function<void()> handler)
{
    if (!handler)
        return;
    {
        CCriticalSectionLock lock(m_lock);
        if (!m_handlersRun) {
            m_completionHandlers.push_back(std::move(handler));
            return;
        }
    }
    // Too late for the pool thread: run it here so that it is not lost.
    RunCompletionHandler(handler);
}

DateTimeSpan IThreadPoolWork::GetElapsedTime() const
{
    if (m_startTime.IsNull())
        return DateTimeSpan();
    return DateTime::Now() - m_startTime;
}

CThreadPoolWork::CThreadPoolWork() : m_completionEvent(CreateManualResetEvent()) {}

CThreadPoolWork::~CThreadPoolWork() = default;

std::string CThreadPoolWork::GetName() const
{
    if (m_name.empty())
        return IThreadPoolWork::GetName();
    return m_name.ToAnsi();
}

bool CThreadPoolWork::IsComplete() const
{
    return IsObjectSignaled(m_completionEvent.Get());
}

void CThreadPoolWork::SetException(std::exception_ptr exception)
{
    IExceptionTransport::SetException(std::move(exception));
}

void CThreadPoolWork::OnExecutionCompleted()
{
    IThreadPoolWork::OnExecutionCompleted();
    ::SetEvent(m_completionEvent.Get());
}

void CThreadPoolWork::AddCompletionHandler(std::function<void()> handler)
{
    AppendCompletionHandler(std::move(handler));
}

void CCancelableThreadPoolWork::WaitForCompletionOrCancel(HANDLE cancel)
{
    HANDLE handles[2] = {m_completionEvent.Get(), cancel};
    if (WaitForAnyObject(handles, 2, DateTimeSpan()) == WAIT_OBJECT_0)
        return;
    Cancel();
}

void CCancelableThreadPoolWork::Cancel()
{
    m_canceled.store(true);
    if (m_cancelCallback)
        m_cancelCallback();
}

namespace {

// Logs the exception being handled the way the runner reports a failed body
// and stores it for the reader. Called only from inside a catch clause.
void StoreEscapedException(IThreadPoolWork& work)
{
    try {
        throw;
    } catch (const CException& e) {
        Logging::Log(Logging::Error, (L"Caught unhandled exception: " + e.GetDescription()).c_str());
    } catch (const std::exception& e) {
        std::string text = "Caught unhandled std::exception (" + TypeName(typeid(e)) + "): " + e.what();
        Logging::Log(Logging::Error, StringW(text).c_str());
    } catch (const _com_error& e) {
        Logging::Log(Logging::Error,
                     (L"Caught unhandled COM exception: " + GetErrorText(static_cast<DWORD>(e.Error()))).c_str());
    } catch (...) {
        Logging::Log(Logging::Error, L"Caught unhandled exception (Unknown source)");
    }
    work.SetException(std::current_exception());
}

void RunThreadPoolWork(IThreadPoolWork& work)
{
    Logging::LogFormat(Logging::Debug, L"Beginning thread pool work on thread 0x%x", ::GetCurrentThreadId());
    // A C++ exception leaving a pool thread ends the host process, and a work
    // item that never completes leaves its waiters hanging: a failure to begin
    // is stored like a failure of the body, and the body is skipped.
    bool begun = false;
    try {
        work.BeginExecution();
        begun = true;
    } catch (...) {
        StoreEscapedException(work);
    }
    if (begun) {
        try {
            work.PreExecute();
            work.Execute();
            work.PostExecute();
        } catch (...) {
            StoreEscapedException(work);
        }
    }
    try {
        work.OnExecutionCompleted();
    } catch (...) {
        ReportCompletionFailure();
        // Waiters must wake even though the completion did not finish.
        if (auto* item = dynamic_cast<CThreadPoolWork*>(&work))
            ::SetEvent(item->GetCompletionEvent());
    }
    Logging::LogFormat(Logging::Debug, L"Completed thread pool work on thread 0x%x after %s", ::GetCurrentThreadId(),
                       work.GetElapsedTime().ToString().c_str());
}

using WorkHolder = std::shared_ptr<IThreadPoolWork>;

VOID CALLBACK ThreadPoolWorkCallback(PTP_CALLBACK_INSTANCE, void* context)
{
    auto* holder = static_cast<WorkHolder*>(context);
    // The runner catches every C++ exception; what reaches the guard is a
    // structured exception (an access violation and the like), which ends the
    // process with a dump.
    RunGuardedAgainstCrash([holder] { RunThreadPoolWork(**holder); });
    // The item may hold the last reference to whatever runs the module's code.
    delete holder;
    UnlockModule();
}

} // namespace

namespace {

void StartWork(IThreadPoolWork& work, const wchar_t* function)
{
    if (work.IsComplete() || work.IsStarted())
        QZL_THROW(function, CException(L"Thread pool work object being reused"));
    work.OnExecutionStarting();
    // Until the pool thread has returned from the item, the module that
    // holds this code must stay loaded (the pool holds it itself only for
    // the last instructions).
    LockModule();
}

} // namespace

void QueueThreadPoolWork(const std::shared_ptr<IThreadPoolWork>& work)
{
    StartWork(*work, QZL_FUNCTION);
    PostThreadPoolWork(work);
}

void StartThreadPoolWork(const std::shared_ptr<IThreadPoolWork>& work)
{
    StartWork(*work, QZL_FUNCTION);
}

void PostThreadPoolWork(const std::shared_ptr<IThreadPoolWork>& work)
{
    auto holder = std::make_unique<WorkHolder>(work);
    TP_CALLBACK_ENVIRON environment;
    ::InitializeThreadpoolEnvironment(&environment);
    ::SetThreadpoolCallbackRunsLong(&environment);
    // The pool holds the module from here until the callback has returned
    // (which QueueUserWorkItem cannot), so that a host that frees the module
    // as soon as it may unload leaves it mapped for the callback's last steps.
    ::SetThreadpoolCallbackLibrary(&environment, &__ImageBase);
    const BOOL submitted = ::TrySubmitThreadpoolCallback(ThreadPoolWorkCallback, holder.get(), &environment);
    ::DestroyThreadpoolEnvironment(&environment);
    if (!submitted) {
        DWORD code = ::GetLastError();
        Logging::Log(Logging::Error, (L"Unable to queue thread pool work: " + GetErrorText(code)).c_str());
        QZL_FATAL_EXIT(code, QZL_FUNCTION);
    }
    holder.release();
}

} // namespace Quenzal::Os

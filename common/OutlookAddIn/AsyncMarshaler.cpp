#include "AsyncMarshaler.h"

#include "CaughtException.h"
#include "CriticalSection.h"
#include "ErrorReport.h"
#include "Guid.h"
#include "Logging.h"
#include "OutlookAddInUtil.h"
#include "ResourceBuffer.h"
#include "StringW.h"

#include <map>
#include <set>

namespace Quenzal::OutlookAddIn {

namespace {

constexpr const wchar_t* WindowClassName = L"{CB1922F6-AB24-444B-9FBD-3BF55892F133}";
// Registered window messages lie in this range.
constexpr UINT FirstRegisteredMessage = 0xC000;
constexpr UINT LastRegisteredMessage = 0xFFFF;

// Built when the module loads, the lock before the table.
struct CCallbackTable {
    Os::CCriticalSection lock;
    std::map<UINT, CAsyncMarshaler::Callback> callbacks;
    // Numbers of unregistered callbacks, the lowest handed out first.
    std::set<UINT> unused;
};
CCallbackTable g_table;

} // namespace

CAsyncMarshaler::~CAsyncMarshaler()
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::CAsyncMarshaler::~CAsyncMarshaler";
    HWND window = m_window.load();
    if (window == nullptr)
        return;
    try {
        Os::CActivationContext context;
        ActivateVisualStyles(context);
        if (!::DestroyWindow(window))
            QZL_THROW(function, CWinError());
        m_window.store(nullptr);
        m_windowLock.reset();
        // The class is the process's: a marshaler of a newer connection may
        // still have its window, and unregisters the class when it goes.
        if (!::UnregisterClassW(WindowClassName, Os::GetThisModule()) && ::GetLastError() != ERROR_CLASS_HAS_WINDOWS)
            QZL_THROW(function, CWinError());
    }
    QZL_CATCH_REPORT(function)
}

void CAsyncMarshaler::Initialize()
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::CAsyncMarshaler::Initialize";
    if (m_window.load() != nullptr)
        QZL_THROW(function, CException(L"Already initialized"));
    // Class names are looked up through the active activation context:
    // registering, creating, destroying and unregistering all in the module's
    // one keeps them matched.
    Os::CActivationContext context;
    ActivateVisualStyles(context);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = Os::GetThisModule();
    windowClass.lpszClassName = WindowClassName;
    if (::RegisterClassExW(&windowClass) == 0) {
        try {
            QZL_THROW(function, CWinError());
        } catch (const CWinError& e) {
            // Left registered by an earlier marshaler whose window still exists.
            if (e.GetErrorCode() != ERROR_CLASS_ALREADY_EXISTS)
                throw;
            QZL_REPORT_CAUGHT(function, e);
        }
    }
    HWND window = ::CreateWindowExW(0, WindowClassName, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, HWND_MESSAGE, nullptr, Os::GetThisModule(), nullptr);
    if (window == nullptr || window == INVALID_HANDLE_VALUE)
        QZL_THROW(function, CWinError());
    m_windowLock.emplace();
    m_window.store(window);
}

UINT CAsyncMarshaler::RegisterCallback(Callback callback)
{
    {
        Os::CCriticalSectionLock lock(g_table.lock);
        if (!g_table.unused.empty()) {
            UINT message = *g_table.unused.begin();
            g_table.callbacks[message] = std::move(callback);
            g_table.unused.erase(g_table.unused.begin());
            return message;
        }
    }
    StringW name;
    name.SetAnsi(Guid::ToHexString(CreateGuid(), false), 0);
    UINT message = ::RegisterWindowMessageW(name.c_str());
    if (message == 0)
        QZL_THROW(L"Quenzal::OutlookAddIn::CAsyncMarshaler::RegisterCallback", CWinError());
    Os::CCriticalSectionLock lock(g_table.lock);
    g_table.callbacks[message] = std::move(callback);
    return message;
}

void CAsyncMarshaler::UnregisterCallback(UINT message)
{
    // No registration has any other number (and 0 would filter nothing out).
    if (message < FirstRegisteredMessage || message > LastRegisteredMessage)
        return;
    HWND window = m_window.load();
    // Invocations still queued would run whatever callback takes the number
    // next; they can only be taken out of the queue on the window's own thread.
    bool dropped = window == nullptr || ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId();
    MSG posted;
    while (window != nullptr && dropped &&
           ::PeekMessageW(&posted, window, message, message, PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE)) {
    }
    Os::CCriticalSectionLock lock(g_table.lock);
    if (g_table.callbacks.erase(message) != 0 && dropped)
        g_table.unused.insert(message);
}

void CAsyncMarshaler::InvokeCallback(UINT message) const
{
    const wchar_t* function = L"Quenzal::OutlookAddIn::CAsyncMarshaler::InvokeCallback";
    HWND window = m_window.load();
    // PostMessageW to no window posts to the calling thread's queue and
    // reports success; the callback would never run.
    if (window == nullptr)
        QZL_THROW(function, CWinError(ERROR_INVALID_WINDOW_HANDLE, L"The marshaler has no window"));
    if (!::PostMessageW(window, message, 0, 0))
        QZL_THROW(function, CWinError());
}

LRESULT CALLBACK CAsyncMarshaler::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message < FirstRegisteredMessage || message > LastRegisteredMessage)
        return ::DefWindowProcW(window, message, wParam, lParam);
    try {
        Os::CCriticalSectionLock lock(g_table.lock);
        auto entry = g_table.callbacks.find(message);
        if (entry == g_table.callbacks.end()) {
            lock.Unlock();
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
        Logging::Log(Logging::Debug,
                     L"Outlook add-in callback successfully marshaled to main Outlook thread; invoking callback");
        // The entry may be replaced while its callback runs (the lock is re-entrant).
        CAsyncMarshaler::Callback callback = entry->second;
        // No exception of any kind may leave a window procedure.
        try {
            callback(static_cast<int64_t>(lParam));
        }
        QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CAsyncMarshaler::WndProc")
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CAsyncMarshaler::WndProc")
    return 0;
}

} // namespace Quenzal::OutlookAddIn

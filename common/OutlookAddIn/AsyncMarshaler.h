#pragma once
// The way back from any thread to Outlook's user-interface thread: a
// callback registered once gets a window message of its own; posting that
// message to a message-only window made on the user-interface thread runs the
// callback there, also while that thread is inside a modal loop.
//
// The table from message to callback is shared by every marshaler of the
// process and guarded by one lock, which is held while a callback runs (a
// callback may itself register or invoke; it must not wait for a thread that
// registers).
//
// Registered window messages are a finite pool of the whole session, never
// given back: the number of a callback that was unregistered serves the next
// registration instead of a new message.

#include "ModuleLock.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace Quenzal::OutlookAddIn {

class CAsyncMarshaler {
public:
    using Callback = std::function<void(int64_t)>;

    CAsyncMarshaler() = default;
    // Destroys the window on its thread; never throws.
    virtual ~CAsyncMarshaler();
    CAsyncMarshaler(const CAsyncMarshaler&) = delete;
    CAsyncMarshaler& operator=(const CAsyncMarshaler&) = delete;

    // Makes the window on the calling thread; raises CException when it exists
    // already, CWinError when it cannot be made.
    void Initialize();
    // Any thread, also before Initialize; the callback is always called with 0.
    static UINT RegisterCallback(Callback callback);
    // The callback no longer runs, not even for invocations already posted to
    // this marshaler. Called on the window's thread (or before Initialize)
    // once nothing invokes the number any more; the number is then free for a
    // later registration.
    void UnregisterCallback(UINT message);
    // Any thread; returns at once. Raises CWinError when there is no window
    // (before Initialize, after the window is gone) or the post fails: a post
    // that nobody would ever receive is never taken for success.
    void InvokeCallback(UINT message) const;

    HWND GetWindow() const { return m_window.load(); }

    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    std::atomic<HWND> m_window{nullptr};
    // The window's procedure is the module's code: held while the window is.
    std::optional<Os::CModuleLock> m_windowLock;
};

} // namespace Quenzal::OutlookAddIn

#pragma once
// Driving this process's windows as a user would while the test's thread is
// inside a modal loop (a dialog, a message box): a script runs on a helper
// thread, waits for windows by their title, reads and presses their
// controls, saves pictures of them as PNG files and finds the texts that
// do not fit their controls.
//
// A script that misses a window stops there; the driver then closes every
// dialog the test's thread still shows, so that the test never hangs, and
// the test reports what the script missed.

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace QzlTest {

class CWindowDriver {
public:
    // Starts the script at once; the windows it looks for belong to the
    // calling thread.
    explicit CWindowDriver(std::function<void(CWindowDriver&)> script);
    // Waits for the script (and its clean-up) to end.
    ~CWindowDriver();
    CWindowDriver(const CWindowDriver&) = delete;
    CWindowDriver& operator=(const CWindowDriver&) = delete;

    // Waits for the script; the failures it met, empty when none.
    std::vector<std::string> Finish();

    // A visible top-level window of the test's thread with this title, not
    // one of those given; waits up to ten seconds, then stops the script.
    HWND WaitForWindow(const std::wstring& title, const std::vector<HWND>& except = {});
    // Such a window if one is shown now, else null (no failure).
    HWND FindWindowNow(const std::wstring& title, const std::vector<HWND>& except = {});
    // Waits until the condition holds (ten seconds at most, then stops the script).
    void WaitUntil(const std::function<bool()>& condition, const std::string& what);
    // Waits until the window has gone (or ten seconds have passed: a failure).
    void WaitUntilClosed(HWND window);
    // The control (at any depth) whose text is this; stops the script when none is.
    HWND FindControl(HWND parent, const std::wstring& text);
    // A control by its id; stops the script when there is none.
    HWND GetControl(HWND dialog, int id);
    static std::wstring GetText(HWND window);
    // The text of a message box.
    static std::wstring GetMessageText(HWND box);
    // Clicks the button; a button that is hidden or disabled is a failure.
    void Press(HWND button);
    void Press(HWND dialog, int id) { Press(GetControl(dialog, id)); }
    // Records a failure and goes on.
    void Expect(bool condition, const std::string& failure);

    // The window and what it shows, as a PNG file; false when it could not be taken.
    static bool SaveWindowPicture(HWND window, const std::wstring& path);
    // The texts of the buttons, labels and group boxes in the window that
    // their controls cut off, measured in each control's own font, or that
    // the font draws in part as boxes; and the window's caption when its
    // title bar cuts it off.
    static std::vector<std::wstring> ClippedTexts(HWND window);

private:
    [[noreturn]] void Stop(const std::string& failure);
    void CloseDialogs();

    DWORD m_testThread;
    std::mutex m_lock;
    std::vector<std::string> m_failures;
    std::thread m_thread;
};

// Where a test leaves its window pictures: "screenshots" in the build folder.
std::wstring ScreenshotPath(const wchar_t* name);

} // namespace QzlTest

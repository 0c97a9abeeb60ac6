#pragma once
// A user at the screen: on a thread of its own, finds the dialogs this process
// shows, reads and sets their controls and presses their buttons, the way
// the window messages of a real user arrive. Failures of the script are
// recorded by GoogleTest from that thread.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace NxoTest {

class CDialogUser {
public:
    // Runs the script at once on the user's thread.
    explicit CDialogUser(std::function<void()> script);
    // Waits for the script to finish.
    ~CDialogUser();
    CDialogUser(const CDialogUser&) = delete;
    CDialogUser& operator=(const CDialogUser&) = delete;

    // A shown dialog of this process (tests of other processes show theirs on
    // the same screen) with that caption, owned by owner when one is given,
    // that holds a control of that id (0: any); null when there is none.
    static HWND FindDialog(const std::wstring& caption, int controlId = 0, HWND owner = nullptr);
    // The same, waited for; null after 30 s.
    static HWND WaitForDialog(const std::wstring& caption, int controlId = 0, HWND owner = nullptr);
    // The static that holds a message box's text.
    static constexpr int MessageBoxText = 0xFFFF;
    // A message box, never the add-in's progress dialog of the same caption
    // and owner that may still be closing.
    static HWND WaitForMessageBox(const std::wstring& caption, HWND owner = nullptr)
    {
        return WaitForDialog(caption, MessageBoxText, owner);
    }
    // Waits until the window is gone.
    static bool WaitUntilClosed(HWND window);
    static std::wstring Text(HWND window);
    static std::wstring ItemText(HWND dialog, int id) { return Text(::GetDlgItem(dialog, id)); }
    // All static texts of a message box, joined.
    static std::wstring MessageText(HWND box);
    static bool IsChecked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    static bool IsEnabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }
    // A click, which may open a modal window: it is posted, not waited for.
    static void Click(HWND dialog, int id);
    // Selects an entry of a drop-down list as a user does, telling the dialog.
    static void Select(HWND dialog, int id, int index);
    static std::wstring Selected(HWND dialog, int id);
    // The window as it shows on the screen, as a picture in the screenshots folder.
    static void SaveScreenshot(HWND window, const wchar_t* fileName);

private:
    std::thread m_thread;
};

} // namespace NxoTest

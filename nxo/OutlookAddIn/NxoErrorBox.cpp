#include "NxoErrorBox.h"

#include "NxoProductName.h"

namespace {

// Per thread: a box shown by another thread's work tells nothing of this
// thread's command.
thread_local unsigned t_errorBoxes = 0;

} // namespace

void ShowNxoErrorBox(HWND owner, const std::wstring& text)
{
    ++t_errorBoxes;
    ::MessageBoxW(owner, text.c_str(), NxoProductName, MB_ICONERROR);
}

unsigned CountNxoErrorBoxes()
{
    return t_errorBoxes;
}

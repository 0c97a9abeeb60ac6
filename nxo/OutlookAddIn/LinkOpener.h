#pragma once
// The link opener behind the module's OpenLinkW export: the shell's DLL runner
// hands it the path of a link file (a mail's link attachment saved to disk),
// and it opens the file that the link names.
//
// A link can arrive in any mail, so its target is opened only when it is a
// plain local file of a type that does not run code: network shares, device
// and long-path forms, control characters and characters no file name holds,
// blocked extensions and names without an extension get the error message
// instead; and the shell is handed only a file that is there, never a name
// it would read as a command line.

#include "StringW.h"

#include <windows.h>

#include <functional>

struct LinkOpenerActions {
    // Opens the file with its registered program (the shell's "Open" verb).
    std::function<void(const Quenzal::StringW& path)> open;
    // The one error message of the opener, over the given window.
    std::function<void(HWND owner, const Quenzal::StringW& text)> showError;
};

// The shell's "Open" and a system-modal error box.
LinkOpenerActions GetShellLinkOpenerActions();

// Never throws: every failure ends in showError with "<message 373>: <path>"
// (the path empty when none was read).
void OpenLinkFile(HWND window, const wchar_t* commandLine, const LinkOpenerActions& actions);

// A drive-letter path to a file whose name, as written and as it stands on
// disk, ends in an extension of a type that runs no code.
bool IsOpenableLinkTarget(const std::wstring& path);

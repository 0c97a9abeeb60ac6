#pragma once
// The user's side of files: the open-file dialog and opening a file with its
// registered program.

#include "StringW.h"

#include <windows.h>

#include <vector>

// Our functions carry the plain names; the UNICODE macros would rename them.
#undef ShellExecute

namespace Quenzal::Os {

// Lets the user choose one or more existing files; the filter separates its
// texts with '|'. False when the user cancels.
bool GetOpenFileNames(const std::wstring& initialDirectory, const std::wstring& filter,
                      const std::wstring& title, std::vector<StringW>& paths, HWND owner);
// Opens the file with its registered program.
BOOL ShellExecute(const std::wstring& file, const std::wstring& parameters);

} // namespace Quenzal::Os

#pragma once
// Services on text files: keeping a growing file (the log) to its last
// mebibyte, copying the tail of a file so that it starts at a line boundary,
// and showing a file in the system's text editor.

#include "CreateProcess.h"
#include "StringW.h"

#include <cstdint>

namespace Quenzal {

// Files above this size are trimmed to their last this many bytes.
inline constexpr uint64_t kTextFileTailSize = 0x100000;

// Cuts the file to its last mebibyte, starting after the first line feed in
// it. A missing path, a folder or a file of at most a mebibyte is left alone.
void TrimTextFile(const std::wstring& path);
// TrimTextFile; false when anything failed.
bool TryTrimTextFile(const std::wstring& path);
// Copies the source whole when it is at most a mebibyte, otherwise the part of
// its last mebibyte after the first line feed there (nothing when it has none).
void CopyTextFileTail(const std::wstring& source, const std::wstring& destination);
// Starts the system's Notepad on the file and does not wait for it.
void OpenTextFile(const std::wstring& path);
// The launcher OpenTextFile starts.
Os::CreateProcess MakeTextEditorLauncher(const std::wstring& path);
// The text between double quotes (inner quotes are not escaped).
StringW QuoteCommandLineArgument(const std::wstring& text);

} // namespace Quenzal

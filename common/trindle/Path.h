#pragma once
// Path texts: folders, names and extensions of paths, without touching the
// file system.

#include "StringW.h"

namespace Quenzal::Os {

// The room Windows keeps behind a path it is handed: a folder it creates must
// leave room for an 8.3 name inside it.
enum class PathRoom : size_t { None = 0, ShortName = 12 };

// Whether Windows, and the shell, take a path of that many characters in its
// plain form: the path, the room it keeps and the terminating NUL fit in
// MAX_PATH.
constexpr bool FitsPlainForm(size_t length, PathRoom room = PathRoom::None)
{
    return length + static_cast<size_t>(room) < MAX_PATH;
}

// Path texts (no file-system access).
StringW GetDirectoryFromPath(const std::wstring& path);
StringW GetFileNameFromPath(const std::wstring& path);
StringW GetFileExtension(const std::wstring& path);
StringW RemoveFileExtension(const std::wstring& path);
StringW AppendFileExtension(const std::wstring& name, const std::wstring& extension);
StringW CombinePath(const std::wstring& directory, const std::wstring& relativePath);
// The form a path is handed to Windows in: as it is while it fits the plain
// form, else the full path behind the long-path prefix ("\\?\", "\\?\UNC\"
// for a share), which Windows takes literally. Every file wrapper hands
// Windows this form; texts shown to users and the log keep the plain one.
StringW GetLongPath(const std::wstring& path, PathRoom room = PathRoom::None);
// How many characters of the path are its long-path prefix (0 without one).
size_t GetLongPathPrefixLength(const std::wstring& path);
// The absolute path that Windows reads the path as; false when it cannot.
bool TryGetFullPathName(const std::wstring& path, std::wstring& full);
// A path Windows gave back for the form it was handed, in the form the caller
// gave: without the long-path prefix, unless the caller's path had one.
StringW GetPlainForm(const std::wstring& systemForm, const std::wstring& path);
bool IsInvalidFileNameChar(wchar_t ch);
StringW SanitizeFileName(const std::wstring& text);
// True for the extensions (without dot) of files that run code when opened.
bool IsBlockedFileExtension(const std::wstring& extension);
// The path with one backslash at its end.
StringW WithTrailingBackslash(const std::wstring& path);

} // namespace Quenzal::Os

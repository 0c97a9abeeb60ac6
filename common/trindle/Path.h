#pragma once
// Path texts: folders, names and extensions of paths, without touching the
// file system.

#include "StringW.h"

namespace Quenzal::Os {

// The limits above which a path gets the long-path prefix.
constexpr size_t LongPathLimitFile = 260;
constexpr size_t LongPathLimitDirectory = 248;

// Path texts (no file-system access).
StringW GetDirectoryFromPath(const std::wstring& path);
StringW GetFileNameFromPath(const std::wstring& path);
StringW GetFileExtension(const std::wstring& path);
StringW RemoveFileExtension(const std::wstring& path);
StringW AppendFileExtension(const std::wstring& name, const std::wstring& extension);
StringW CombinePath(const std::wstring& directory, const std::wstring& relativePath);
StringW GetLongPath(const std::wstring& path, size_t limit);
bool IsInvalidFileNameChar(wchar_t ch);
StringW SanitizeFileName(const std::wstring& text);
// True for the extensions (without dot) of files that run code when opened.
bool IsBlockedFileExtension(const std::wstring& extension);
// The path with one backslash at its end.
StringW WithTrailingBackslash(const std::wstring& path);

} // namespace Quenzal::Os

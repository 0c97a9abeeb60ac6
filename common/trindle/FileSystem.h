#pragma once
// Folders and files: creating, inspecting, copying, moving and deleting them,
// and the user's temporary and application-data folders.

#include "SmartPointer.h"
#include "StringW.h"

#include <windows.h>

#include <cstdint>

// Our functions carry the plain names; the UNICODE macros would rename them.
#undef GetCurrentDirectory
#undef CreateDirectory
#undef GetFileAttributes
#undef GetFileAttributesEx
#undef CopyFile
#undef MoveFile
#undef DeleteFile

namespace Quenzal::Os {

// Folders and files.
StringW GetCurrentDirectory();
void CreateDirectory(const std::wstring& path);
// Creates the folder and every missing parent.
void CreateDirectoryByPath(const std::wstring& path);
// The file opened or created as CreateFileW would; empty on failure, with the
// thread's last error saying why.
CHandle OpenFileHandle(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                       SECURITY_ATTRIBUTES* security = nullptr);
// The first entry that a folder's pattern ("folder\\*") names; empty when none.
CFindHandle FindFirstEntry(const std::wstring& pattern, WIN32_FIND_DATAW& found);
// The path with its 8.3 short names in their long form; empty when it does
// not exist.
StringW ExpandShortNames(const std::wstring& path);
// INVALID_FILE_ATTRIBUTES when the path does not exist.
DWORD GetFileAttributes(const std::wstring& path);
WIN32_FILE_ATTRIBUTE_DATA GetFileAttributesEx(const std::wstring& path);
uint64_t GetFileSize(HANDLE file);
// 0 for a folder, a missing path or any failure.
uint64_t GetFileSizeByPath(const std::wstring& path);
void CopyFile(const std::wstring& source, const std::wstring& destination);
void MoveFile(const std::wstring& source, const std::wstring& destination);
void DeleteFile(const std::wstring& path);
bool TryDeleteFile(const std::wstring& path);
// Deletes the folder with everything in it, and nothing outside it: a tree
// the shell cannot be trusted with (a path beyond MAX_PATH, a link inside) is
// deleted by hand, and an empty or wildcard name is refused.
void DeleteDirectory(const std::wstring& path);
bool TryDeleteDirectory(const std::wstring& path);
// Leaves a folder that still holds something in place without complaint.
void DeleteEmptyDirectory(const std::wstring& path);
bool TryDeleteEmptyDirectory(const std::wstring& path);
// The path itself when nothing exists there, otherwise "stem (n).ext" for the
// first n that names nothing.
StringW MakeUniqueFilePath(const std::wstring& path);

// The user's temporary folder, ending in a backslash.
StringW GetTemporaryDirectory();
// Creates a new empty file in the folder (the temporary folder when empty).
StringW CreateTemporaryFilePath(const std::wstring& directory);
// The user's local application-data folder, ending in a backslash.
StringW GetApplicationDataDirectory();
StringW GetApplicationDataSubdirectory(const std::wstring& relativePath);

} // namespace Quenzal::Os

#pragma once
// Operating-system services used across the program: path texts, folders and
// file operations, the temporary and application-data folders, the open-file
// dialog and the shell; events and the waits that every part of the program
// uses.

#include "DateTimeSpan.h"
#include "SmartPointer.h"
#include "StringW.h"

#include <windows.h>

#include <cstdint>
#include <vector>

// Our functions carry the plain names; the UNICODE macros would rename them.
#undef GetCurrentDirectory
#undef CreateDirectory
#undef GetFileAttributes
#undef GetFileAttributesEx
#undef CopyFile
#undef MoveFile
#undef DeleteFile
#undef ShellExecute

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

// Folders and files.
StringW GetCurrentDirectory();
void CreateDirectory(const std::wstring& path);
// Creates the folder and every missing parent.
void CreateDirectoryByPath(const std::wstring& path);
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
// Deletes the folder with everything in it.
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

// Lets the user choose one or more existing files; the filter separates its
// texts with '|'. False when the user cancels.
bool GetOpenFileNames(const std::wstring& initialDirectory, const std::wstring& filter,
                      const std::wstring& title, std::vector<StringW>& paths, HWND owner);
// Opens the file with its registered program.
BOOL ShellExecute(const std::wstring& file, const std::wstring& parameters);

// Events and waits. A zero time-out waits without limit; an abandoned object
// counts as signalled (with a warning); a wait that fails ends the process.
constexpr size_t MaximumWaitObjects = MAXIMUM_WAIT_OBJECTS;

// A new manual-reset event, not signalled.
CHandle CreateManualResetEvent();
// False on time-out.
bool WaitForObject(HANDLE object, const DateTimeSpan& timeout);
// The index of a signalled object, WAIT_TIMEOUT or WAIT_ABANDONED_0.
DWORD WaitForAnyObject(const HANDLE* objects, size_t count, const DateTimeSpan& timeout);
// False on time-out. More than 64 objects only without a time-out.
bool WaitForAllObjects(const HANDLE* objects, size_t count, const DateTimeSpan& timeout);
bool IsObjectSignaled(HANDLE object);

} // namespace Quenzal::Os

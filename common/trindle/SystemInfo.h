#pragma once
// What the program tells about the system it runs on: the Windows version,
// processor architectures and the time zone.

#include "StringW.h"

namespace Quenzal::Os {

// "Windows 7 (x64) build 7601 (Service Pack 1)", or "Windows 10.0.19045" for
// versions without a name.
StringW FormatWindowsVersion(bool withArchitecture, bool withBuild);
// The user's interface language, "English (1033)".
StringW GetUserUiLanguageText();
// Logs the Windows version and the user's interface language.
void LogWindowsVersion();

// The architecture of the machine, and of the running process (a 32-bit
// process on a 64-bit machine reports x86).
StringW GetNativeProcessorArchitecture();
StringW GetProcessArchitecture();
StringW GetProcessorArchitectureName(WORD architecture);

// Minutes to add to local time to get UTC.
LONG GetSystemTimezoneBias();
StringW GetSystemTimezoneName();

} // namespace Quenzal::Os

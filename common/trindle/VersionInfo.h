#pragma once
// Version resources of files and the one-line version texts built from them,
// and the record that describes the host application to the appliance.

#include "StringW.h"

namespace Quenzal::Os {

// The string entries of a version resource; an absent entry is empty.
struct VersionInfo {
    StringW ProductName;
    StringW ProductVersion;
    StringW FileVersion;
    StringW CommitHash;
    StringW CommitDate;
    StringW BuildDate;
};

// The host executable's name (no folder, no extension), its file version
// and the processor architecture of the running process.
struct HostApplicationInfo {
    StringW Name;
    StringW Version;
    StringW Architecture;
};

VersionInfo GetVersionInfo(const wchar_t* path);
// The version resource of the module this code is linked into.
VersionInfo GetModuleVersionInfo();
// FileVersion; with details also " (x64)" or " (x86)" and, when the build
// entries are present, ", built from <commit> at <build date>".
StringW FormatVersionString(const wchar_t* path, bool withDetails);
StringW GetModuleVersionString(HMODULE module, bool withDetails);
// The host's FileVersion, worked out once; empty when it cannot be read.
StringW GetHostVersionString();
HostApplicationInfo GetHostApplicationInfo();

} // namespace Quenzal::Os

#include "SystemInfo.h"

#include "FatalExit.h"
#include "Localization.h"
#include "Logging.h"

namespace Quenzal::Os {

namespace {

const wchar_t* WindowsName(const OSVERSIONINFOEXW& version)
{
    bool workstation = version.wProductType == VER_NT_WORKSTATION;
    DWORD major = version.dwMajorVersion;
    DWORD minor = version.dwMinorVersion;
    if (major == 5 && minor == 0)
        return L"Windows 2000";
    if (major == 5 && minor == 1)
        return L"Windows XP";
    if (major == 5 && minor == 2) {
        if ((version.wSuiteMask & 0x8000) != 0)
            return L"Windows Home Server";
        if (workstation)
            return L"Windows XP Professional x64 Edition";
        if (::GetSystemMetrics(SM_SERVERR2) != 0)
            return L"Windows Server 2003 R2";
        return L"Windows Server 2003";
    }
    if (major == 6 && minor == 0)
        return workstation ? L"Windows Vista" : L"Windows Server 2008";
    if (major == 6 && minor == 1)
        return workstation ? L"Windows 7" : L"Windows Server 2008 R2";
    if (major == 6 && minor == 2)
        return workstation ? L"Windows 8" : L"Windows Server 2012";
    return nullptr;
}

} // namespace

StringW FormatWindowsVersion(bool withArchitecture, bool withBuild)
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        QZL_FATAL_EXIT(::GetLastError(), QZL_FUNCTION);

    StringW text;
    if (const wchar_t* name = WindowsName(version)) {
        text = name;
        if (withArchitecture)
            text.AppendFormat(L" (%s)", GetNativeProcessorArchitecture().c_str());
        if (withBuild && version.dwBuildNumber != 0)
            text.AppendFormat(L" build %d", static_cast<int>(version.dwBuildNumber));
    } else {
        text = StringW::Format(L"Windows %d.%d.%d", static_cast<int>(version.dwMajorVersion),
                               static_cast<int>(version.dwMinorVersion), static_cast<int>(version.dwBuildNumber));
        if (withArchitecture)
            text.AppendFormat(L" (%s)", GetNativeProcessorArchitecture().c_str());
    }
    if (version.szCSDVersion[0] != L'\0')
        text.AppendFormat(L" (%s)", version.szCSDVersion);
    return text;
}

StringW GetUserUiLanguageText()
{
    return Localization::FormatLanguageName(::GetUserDefaultUILanguage());
}

void LogWindowsVersion()
{
    Logging::LogFormat(Logging::Debug, L"%s (%s)", FormatWindowsVersion(true, true).c_str(),
                       GetUserUiLanguageText().c_str());
}

StringW GetProcessorArchitectureName(WORD architecture)
{
    switch (architecture) {
    case 0:
        return L"x86";
    case 5:
        return L"ARM";
    case 6:
        return L"Itanium (64-bit)";
    case 9:
        return L"x64";
    default:
        return L"Unknown";
    }
}

StringW GetNativeProcessorArchitecture()
{
    SYSTEM_INFO system = {};
    ::GetNativeSystemInfo(&system);
    return GetProcessorArchitectureName(system.wProcessorArchitecture);
}

StringW GetProcessArchitecture()
{
    SYSTEM_INFO system = {};
    ::GetSystemInfo(&system);
    return GetProcessorArchitectureName(system.wProcessorArchitecture);
}

LONG GetSystemTimezoneBias()
{
    TIME_ZONE_INFORMATION zone = {};
    if (::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        QZL_FATAL_EXIT(::GetLastError(), QZL_FUNCTION);
    return zone.Bias;
}

StringW GetSystemTimezoneName()
{
    TIME_ZONE_INFORMATION zone = {};
    switch (::GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_UNKNOWN:
        return L"Unknown";
    case TIME_ZONE_ID_STANDARD:
        return StringW(zone.StandardName);
    case TIME_ZONE_ID_DAYLIGHT:
        return StringW(zone.DaylightName);
    default:
        QZL_FATAL_EXIT(::GetLastError(), QZL_FUNCTION);
    }
}

} // namespace Quenzal::Os

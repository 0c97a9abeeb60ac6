#include "CreateProcess.h"
#include "Logging.h"
#include "SystemInfo.h"
#include "TestLibrary.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Os;

QZL_CHILD_CASE(print_windows_version)
{
    OSVERSIONINFOEXW raw = {};
    raw.dwOSVersionInfoSize = sizeof(raw);
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&raw));
    Logging::LogFormat(Logging::Debug, L"raw[%lu.%lu %lu %d %s]", raw.dwMajorVersion, raw.dwMinorVersion,
                       raw.dwBuildNumber, raw.wProductType, raw.szCSDVersion);
    Logging::Log(Logging::Debug, (L"plain[" + FormatWindowsVersion(false, false) + L"]").c_str());
    Logging::Log(Logging::Debug, (L"full[" + FormatWindowsVersion(true, true) + L"]").c_str());
    Logging::Log(Logging::Debug, (L"arch[" + FormatWindowsVersion(true, false) + L"]").c_str());
    return 0;
}

namespace {

struct VersionTexts {
    std::string raw, plain, full, arch;
};

std::string Between(const std::string& text, const std::string& open)
{
    size_t start = text.find(open);
    if (start == std::string::npos)
        return "<missing>";
    start += open.size();
    return text.substr(start, text.find("]\r\n", start) - start);
}

// Declares that the program knows Windows 8.1 and 10; without it the system
// reports 6.2 to the program whatever it is.
const char CompatibilityManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
    "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\"><application>"
    "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"
    "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>"
    "</application></compatibility></assembly>";

// Runs a copy of this executable that Wine tells the given Windows version.
VersionTexts WindowsVersionTextsAs(const wchar_t* version, bool declareNewSystems = false)
{
    StringW name = StringW::Format(L"qzlwinver_%lu_%s.exe", GetCurrentProcessId(), version);
    QzlTest::CTemporaryFile copy(QzlTest::TempDirectory() + name);
    wchar_t exe[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH + 1);
    EXPECT_TRUE(CopyFileW(exe, copy.c_str(), FALSE));
    if (declareNewSystems) {
        HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
        EXPECT_TRUE(UpdateResourceW(update, RT_MANIFEST, MAKEINTRESOURCEW(1), 0,
                                    const_cast<char*>(CompatibilityManifest), sizeof(CompatibilityManifest) - 1));
        EXPECT_TRUE(EndUpdateResourceW(update, FALSE));
    }
    StringW key = L"Software\\Wine\\AppDefaults\\" + name;
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version,
                              static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    QzlTest::CLogCapture log;
    SetHandleInformation(Logging::GetLogHandle(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    Os::CreateProcess launcher(copy.Path(), L"--qzl-child=print_windows_version");
    launcher.SendOutputToLog = true;
    CHandle process = launcher.Execute();
    EXPECT_EQ(WaitForSingleObject(process.Get(), 60000), WAIT_OBJECT_0);
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    std::string text = log.Text();
    return {Between(text, "raw["), Between(text, "plain["), Between(text, "full["), Between(text, "arch[")};
}

// The names as the system's version numbers and product type call for them.
std::string ExpectedName(int major, int minor, int type)
{
    bool workstation = type == VER_NT_WORKSTATION;
    if (major == 5 && minor == 2)
        return workstation ? "Windows XP Professional x64 Edition" : "Windows Server 2003";
    if (major == 6 && minor == 1)
        return workstation ? "Windows 7" : "Windows Server 2008 R2";
    if (major == 6 && minor == 2)
        return workstation ? "Windows 8" : "Windows Server 2012";
    return "<unexpected>";
}

} // namespace

TEST(SystemInfo, ProcessorArchitectureNames)
{
    EXPECT_EQ(GetProcessorArchitectureName(0), StringW(L"x86"));
    EXPECT_EQ(GetProcessorArchitectureName(5), StringW(L"ARM"));
    EXPECT_EQ(GetProcessorArchitectureName(6), StringW(L"Itanium (64-bit)"));
    EXPECT_EQ(GetProcessorArchitectureName(9), StringW(L"x64"));
    EXPECT_EQ(GetProcessorArchitectureName(12), StringW(L"Unknown"));
    EXPECT_EQ(GetNativeProcessorArchitecture(), StringW(L"x64"));
    EXPECT_EQ(GetProcessArchitecture(), StringW(L"x64"));
}

TEST(SystemInfo, NamedWindowsVersions)
{
    for (const wchar_t* version : {L"win7", L"win2008r2", L"win8", L"win2003", L"winxp64"}) {
        VersionTexts texts = WindowsVersionTextsAs(version);
        std::smatch raw;
        ASSERT_TRUE(std::regex_match(texts.raw, raw, std::regex("([0-9]+)\\.([0-9]+) ([0-9]+) ([0-9]+) ?(.*)")))
            << texts.raw;
        std::string name = ExpectedName(std::stoi(raw[1]), std::stoi(raw[2]), std::stoi(raw[4]));
        std::string servicePack = raw[5].length() != 0 ? " (" + raw[5].str() + ")" : "";
        EXPECT_EQ(texts.plain, name + servicePack) << texts.raw;
        EXPECT_EQ(texts.arch, name + " (x64)" + servicePack) << texts.raw;
        EXPECT_EQ(texts.full, name + " (x64) build " + raw[3].str() + servicePack) << texts.raw;
    }
}

TEST(SystemInfo, UnnamedWindowsVersionsAreNumbers)
{
    VersionTexts win10 = WindowsVersionTextsAs(L"win10", true);
    EXPECT_TRUE(std::regex_match(win10.plain, std::regex("Windows 10\\.0\\.[0-9]+"))) << win10.plain;
    // The build flag adds nothing to the numeric form.
    EXPECT_EQ(win10.full, win10.plain + " (x64)");
    EXPECT_EQ(win10.arch, win10.plain + " (x64)");
    VersionTexts win81 = WindowsVersionTextsAs(L"win81", true);
    EXPECT_EQ(win81.plain, "Windows 6.3.9600");
}

TEST(SystemInfo, TimeZoneNameFollowsTheCurrentPeriod)
{
    TIME_ZONE_INFORMATION zone = {};
    DWORD period = GetTimeZoneInformation(&zone);
    EXPECT_EQ(GetSystemTimezoneBias(), zone.Bias);
    StringW expected = period == TIME_ZONE_ID_STANDARD   ? StringW(zone.StandardName)
                       : period == TIME_ZONE_ID_DAYLIGHT ? StringW(zone.DaylightName)
                                                         : StringW(L"Unknown");
    EXPECT_EQ(GetSystemTimezoneName(), expected);
}

TEST(SystemInfo, WindowsVersionLineWithTheUsersLanguage)
{
    LANGID language = GetUserDefaultUILanguage();
    StringW text = GetUserUiLanguageText();
    EXPECT_TRUE(std::regex_match(text.ToUtf8(), std::regex(".+ \\(" + std::to_string(language) + "\\)")))
        << text.ToUtf8();
    if (language == 0x409) {
        EXPECT_EQ(text, StringW(L"English (1033)"));
    }
    QzlTest::CLogCapture log;
    LogWindowsVersion();
    std::string line = StringW(FormatWindowsVersion(true, true) + L" (" + text + L")\r\n").ToUtf8();
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("^[0-9/]+ [0-9:]+ "))) << log.Text();
    EXPECT_NE(log.Text().find(line), std::string::npos) << log.Text();
}

#include "VersionInfo.h"

#include "ErrorReport.h"
#include "Modules.h"
#include "SystemInfo.h"

#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Quenzal::Os {

VersionInfo GetVersionInfo(const wchar_t* path)
{
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(path));
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path, 0, size, data.data()))
        QZL_THROW(QZL_FUNCTION, CWinError(path));

    void* translations = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translations, &length))
        QZL_THROW(QZL_FUNCTION, CWinError(path));
    if (translations == nullptr || length == 0 || length % 4 != 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to retrieve translations from version resource"));
    DWORD first = *static_cast<const DWORD*>(translations);
    unsigned language = first & 0xFFFF;
    unsigned codePage = first >> 16;

    VersionInfo info;
    struct Entry {
        const wchar_t* name;
        StringW VersionInfo::*field;
    };
    static const Entry entries[] = {
        {L"ProductName", &VersionInfo::ProductName}, {L"ProductVersion", &VersionInfo::ProductVersion},
        {L"FileVersion", &VersionInfo::FileVersion}, {L"CommitHash", &VersionInfo::CommitHash},
        {L"CommitDate", &VersionInfo::CommitDate},   {L"BuildDate", &VersionInfo::BuildDate},
    };
    for (const Entry& entry : entries) {
        StringW query = StringW::Format(L"\\StringFileInfo\\%.4hx%.4hx\\%s", language, codePage, entry.name);
        void* value = nullptr;
        UINT characters = 0;
        if (::VerQueryValueW(data.data(), query.c_str(), &value, &characters) && value != nullptr &&
            characters != 0)
            info.*entry.field = StringW(static_cast<const wchar_t*>(value), characters - 1);
    }
    return info;
}

VersionInfo GetModuleVersionInfo()
{
    return GetVersionInfo(GetModulePath(reinterpret_cast<HMODULE>(&__ImageBase)).c_str());
}

StringW FormatVersionString(const wchar_t* path, bool withDetails)
{
    VersionInfo info = GetVersionInfo(path);
    StringW text = info.FileVersion;
    if (withDetails) {
        SYSTEM_INFO system = {};
        ::GetSystemInfo(&system);
        bool wide = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64 ||
                    system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
        text.append(wide ? L" (x64)" : L" (x86)");
        if (!info.CommitHash.empty() && !info.CommitDate.empty() && !info.BuildDate.empty())
            text.AppendFormat(L", built from %s at %s", info.CommitHash.c_str(), info.BuildDate.c_str());
    }
    return text;
}

StringW GetModuleVersionString(HMODULE module, bool withDetails)
{
    return FormatVersionString(GetModulePath(module).c_str(), withDetails);
}

StringW GetHostVersionString()
{
    static const StringW version = [] {
        try {
            return FormatVersionString(GetHostModulePath().c_str(), false);
        } catch (...) {
            return StringW();
        }
    }();
    return version;
}

HostApplicationInfo GetHostApplicationInfo()
{
    HostApplicationInfo info;
    info.Name = GetModuleBaseName();
    info.Version = GetHostVersionString();
    info.Architecture = GetProcessArchitecture();
    return info;
}

} // namespace Quenzal::Os

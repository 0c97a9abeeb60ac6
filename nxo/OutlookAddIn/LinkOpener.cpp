#include "LinkOpener.h"

#include "ErrorReport.h"
#include "File.h"
#include "FileSystem.h"
#include "LinkFile.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoProductName.h"
#include "Path.h"
#include "Shell.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>
#include <iterator>

using namespace Quenzal;

namespace {

// Types the shell runs code for that the blocked table leaves out: those the
// mail program itself never lets a user open from a mail. Attaching keeps the
// blocked table alone; only the opener, which acts on a mail's word, refuses
// these too. Sorted by UTF-16 code units, lower case.
constexpr const wchar_t* UnsafeToOpenExtensions[] = {
    L"appcontent-ms", L"application", L"appref-ms", L"aspx", L"asx", L"bgi", L"cab", L"cdxml", L"diagcab", L"grp",
    L"htc", L"iso", L"jar", L"jnlp", L"mcf", L"msu", L"pl", L"printerexport", L"psd1", L"psdm1", L"pssc", L"py",
    L"pyc", L"pyo", L"pyw", L"pyz", L"pyzw", L"settingcontent-ms", L"theme", L"udl", L"vbp", L"vhd", L"vhdx",
    L"webpnp", L"website", L"wsb", L"xbap", L"xll",
};

bool IsSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

// A name without an extension makes the shell search for a program.
bool IsUnsafeToOpen(const std::wstring& fileName)
{
    const StringW extension = Os::GetFileExtension(fileName);
    if (extension.empty() || Os::IsBlockedFileExtension(extension))
        return true;
    std::wstring lower(extension);
    for (wchar_t& ch : lower)
        ch = static_cast<wchar_t>(towlower(ch));
    return std::binary_search(std::begin(UnsafeToOpenExtensions), std::end(UnsafeToOpenExtensions), lower,
                              [](const std::wstring& left, const std::wstring& right) { return left < right; }) ||
           ::AssocIsDangerous((L"." + extension).c_str());
}

// The name the file has on disk: an 8.3 short name ("X~1.SET") shows
// another type than the long name the shell goes by. The name as written
// when the file is not there (nothing is opened then).
StringW GetLongFileName(const std::wstring& path)
{
    const StringW onDisk = Os::ExpandShortNames(path);
    return Os::GetFileNameFromPath(onDisk.empty() ? path : onDisk);
}

} // namespace

bool IsOpenableLinkTarget(const std::wstring& path)
{
    // "C:\..." only: two leading separators are a share, "\\?\" or "\\.\";
    // a colon further on names an alternate data stream; a control character
    // ends the name early for the shell.
    if (!Stubbing::IsLocalDrivePath(path) || IsSeparator(path.back()))
        return false;
    // Only the file named is opened, never one the shell or the file system
    // finds in its place: without an extension the shell searches for a
    // program ("prog" runs prog.exe), and trailing dots and blanks are
    // dropped ("run.exe. " opens run.exe).
    if (path.back() == L'.' || path.back() == L' ')
        return false;
    return !IsUnsafeToOpen(Os::GetFileNameFromPath(path)) && !IsUnsafeToOpen(GetLongFileName(path));
}

LinkOpenerActions GetShellLinkOpenerActions()
{
    return {[](const StringW& path) {
                // A name the shell does not find it reads as a command line,
                // a program and its arguments: it is handed only a file that
                // is there.
                const DWORD attributes = Os::GetFileAttributes(path);
                if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                    QZL_THROW(L"GetShellLinkOpenerActions", CWinError(ERROR_FILE_NOT_FOUND, path.c_str()));
                Os::ShellExecute(path, std::wstring());
            },
            [](HWND owner, const StringW& text) {
                ::MessageBoxW(owner, text.c_str(), NxoProductName, MB_ICONERROR | MB_SYSTEMMODAL);
            }};
}

void OpenLinkFile(HWND window, const wchar_t* commandLine, const LinkOpenerActions& actions)
{
    StringW path;
    try {
        StringW link(commandLine != nullptr ? commandLine : L"");
        if (link.size() >= 2 && link.front() == L'"' && link.back() == L'"')
            link = link.substr(1, link.size() - 2);
        if (link.empty())
            return;
        path = Stubbing::GetPathFromLink(Os::ReadFileContents(link));
        if (!IsOpenableLinkTarget(path))
            QZL_THROW(QZL_FUNCTION, CException(L"Link names no local file that may be opened: " + path));
        actions.open(path);
        return;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"OpenLinkW", e);
    } catch (const std::exception& e) {
        Logging::LogFormat(Logging::Error, L"Caught exception in OpenLinkW: %hs", e.what());
    }
    try {
        Localization::TrySetLanguageId(::GetUserDefaultLangID());
        actions.showError(window, GetLocalizedMessage(373) + L": " + path);
    } catch (...) {
        // Nothing is left to tell the user with.
    }
}

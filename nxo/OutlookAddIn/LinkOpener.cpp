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

using namespace Quenzal;

namespace {

bool IsSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
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
    const StringW extension = Os::GetFileExtension(Os::GetFileNameFromPath(path));
    return !extension.empty() && !Os::IsBlockedFileExtension(extension);
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

#include "LinkOpener.h"

#include "ErrorReport.h"
#include "File.h"
#include "LinkFile.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoProductName.h"
#include "Path.h"
#include "Shell.h"

#include <cwctype>

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
    // a colon further on names an alternate data stream.
    if (path.size() < 4 || !iswalpha(path[0]) || path[1] != L':' || !IsSeparator(path[2]) ||
        path.find(L':', 2) != std::wstring::npos)
        return false;
    // The file system drops trailing dots and spaces: "run.exe. " opens run.exe.
    std::wstring name = path;
    while (!name.empty() && (name.back() == L'.' || name.back() == L' '))
        name.pop_back();
    if (name.empty() || IsSeparator(name.back()))
        return false;
    return !Os::IsBlockedFileExtension(Os::GetFileExtension(name));
}

LinkOpenerActions GetShellLinkOpenerActions()
{
    return {[](const StringW& path) { Os::ShellExecute(path, std::wstring()); },
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

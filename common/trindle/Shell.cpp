#include "Shell.h"

#include "ErrorReport.h"
#include "Logging.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>

namespace Quenzal::Os {

bool GetOpenFileNames(const std::wstring& initialDirectory, const std::wstring& filter, const std::wstring& title,
                      std::vector<StringW>& paths, HWND owner)
{
    constexpr DWORD FileBufferLength = 100000;
    std::wstring filters = filter.empty() ? std::wstring(L"All Files (*.*)|*.*") : filter;
    filters.append(L"||");
    std::replace(filters.begin(), filters.end(), L'|', L'\0');
    std::vector<wchar_t> files(FileBufferLength, L'\0');

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = files.data();
    dialog.nMaxFile = FileBufferLength;
    dialog.lpstrInitialDir = initialDirectory.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_DONTADDTORECENT;
    if (!::GetOpenFileNameW(&dialog))
        return false;

    // The folder, then each chosen name, NUL-separated; a lone first string is
    // the full path of the one chosen file.
    const wchar_t* folder = files.data();
    const wchar_t* name = folder + wcslen(folder) + 1;
    if (*name == L'\0') {
        paths.emplace_back(folder);
        return true;
    }
    for (; *name != L'\0'; name += wcslen(name) + 1)
        paths.push_back(StringW(folder) + L"\\" + name);
    return true;
}

BOOL ShellExecute(const std::wstring& file, const std::wstring& parameters)
{
    Logging::LogFormat(Logging::Debug, L"Invoking via shell: \"%s\" \"%s\"", file.c_str(), parameters.c_str());
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE;
    info.lpVerb = L"Open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    BOOL result = ::ShellExecuteExW(&info);
    if (!result)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), file.c_str()));
    return result;
}

} // namespace Quenzal::Os

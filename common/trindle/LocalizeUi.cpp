#include "LocalizeUi.h"

#include "ErrorReport.h"
#include "GdiObjects.h"
#include "Logging.h"
#include "Registry.h"

#include <cwchar>
#include <exception>
#include <memory>

namespace Quenzal::Localization {

namespace {

const wchar_t PlaceholderPrefix[] = L"lid_";
const size_t PlaceholderPrefixLength = 4;

bool ReadFitTestSwitch()
{
    bool enabled = Os::IsRegistryFlagSet(L"Software\\Quenzal\\Trindle", L"TestLocalizationFit");
    if (enabled)
        Logging::Log(Logging::Debug, L"Testing the UI fit of all localizations");
    return enabled;
}

// Every language on its own, loaded once on first use.
std::unique_ptr<LanguageTables> LoadFitTestTables()
{
    auto tables = std::make_unique<LanguageTables>();
    for (DWORD index = 0; index < LanguageCount; ++index) {
        try {
            LoadLocalizedMessages(index, (*tables)[index]);
        } catch (const CException& e) {
            Logging::LogFormat(Logging::Error, L"Unable to load localizations for locale '%s': %s",
                               GetLocaleName(index).c_str(), e.GetDescription().c_str());
            throw;
        }
    }
    return tables;
}

const LanguageTables& FitTestTables()
{
    static const std::unique_ptr<LanguageTables> tables = LoadFitTestTables();
    return *tables;
}

} // namespace

bool IsLocalizationFitTestEnabled()
{
    static const bool enabled = ReadFitTestSwitch();
    return enabled;
}

bool ParseLidText(HWND window, StringW& text)
{
    if (text.compare(0, PlaceholderPrefixLength, PlaceholderPrefix) != 0)
        return false;
    int lid = _wtoi(text.c_str() + PlaceholderPrefixLength);
    size_t suffixStart = PlaceholderPrefixLength;
    while (suffixStart < text.size() && text[suffixStart] >= L'0' && text[suffixStart] <= L'9')
        ++suffixStart;
    StringW suffix = text.substr(suffixStart);
    // The fit test reports through its own log lines.
    if (IsLocalizationFitTestEnabled())
        Ui::DoesLocalizedMessageFitInWindow(window, lid, suffix);
    text = GetLocalizedMessage(lid) + suffix;
    return true;
}

} // namespace Quenzal::Localization

namespace Quenzal::Ui {

namespace {

StringW GetText(HWND window)
{
    int length = ::GetWindowTextLengthW(window);
    if (length <= 0)
        return StringW();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return StringW(std::move(text));
}

bool LocalizeText(HWND window)
{
    StringW text = GetText(window);
    if (!Localization::ParseLidText(window, text))
        return false;
    ::SetWindowTextW(window, text.c_str());
    return true;
}

struct LocalizeChildrenContext {
    std::exception_ptr error;
};

// No exception may cross the system's enumeration, so the first one is
// carried out and raised again once the walk is done.
BOOL CALLBACK LocalizeChild(HWND child, LPARAM parameter)
{
    auto* context = reinterpret_cast<LocalizeChildrenContext*>(parameter);
    try {
        if (LocalizeText(child)) {
            // A translated label may hold '&', which must show rather than mark a mnemonic.
            wchar_t className[10] = {};
            ::GetClassNameW(child, className, 10);
            if (_wcsicmp(className, L"Static") == 0) {
                LONG style = ::GetWindowLongW(child, GWL_STYLE);
                ::SetWindowLongW(child, GWL_STYLE, style | SS_NOPREFIX);
            }
        }
    } catch (...) {
        if (!context->error)
            context->error = std::current_exception();
    }
    return TRUE;
}

} // namespace

void LocalizeWindow(HWND window)
{
    LocalizeText(window);
    LocalizeChildrenContext context;
    ::EnumChildWindows(window, LocalizeChild, reinterpret_cast<LPARAM>(&context));
    if (context.error)
        std::rethrow_exception(context.error);
}

bool DoesLocalizedMessageFitInWindow(HWND window, int lid, const std::wstring& suffix)
{
    return DoesLocalizedMessageFitInWindow(window, lid, suffix, Localization::FitTestTables());
}

bool DoesLocalizedMessageFitInWindow(HWND window, int lid, const std::wstring& suffix,
                                     const Localization::LanguageTables& tables)
{
    RECT client = {};
    if (!::GetClientRect(window, &client))
        QZL_THROW(QZL_FUNCTION, CWinError());
    const LONG clientWidth = client.right - client.left;
    const LONG clientHeight = client.bottom - client.top;
    CWindowDC dc(window);
    if (dc.Get() == nullptr)
        QZL_THROW(QZL_FUNCTION, CWinError());
    CSelectedObject font(dc.Get(), ::GetStockObject(DEFAULT_GUI_FONT));
    bool fits = true;
    for (DWORD index = 0; index < Localization::LanguageCount; ++index) {
        auto entry = tables[index].find(lid);
        if (entry == tables[index].end())
            continue;
        StringW text = entry->second + suffix;
        SIZE size = {};
        if (!::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size))
            QZL_THROW(QZL_FUNCTION, CWinError());
        // Only a one-line control can be too narrow; taller ones wrap.
        if (clientHeight >= 2 * size.cy)
            continue;
        LONG overflow = size.cx - clientWidth;
        StringW locale = Localization::GetLocaleName(index);
        if (overflow > 0) {
            Logging::LogFormat(Logging::Error, L"Message %d exceeds the width of the window by %d units for locale: %s",
                               lid, static_cast<int>(overflow), locale.c_str());
            fits = false;
        } else if (overflow >= -2) {
            Logging::LogFormat(Logging::Warning,
                               L"Message %d is within %d unit(s) of exceeding the width of the window by for locale: %s",
                               lid, static_cast<int>(-overflow), locale.c_str());
        }
    }
    return fits;
}

} // namespace Quenzal::Ui

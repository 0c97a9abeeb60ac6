#include "Localization.h"

#include "CriticalSection.h"
#include "DisplayLocale.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "Registry.h"

#include <exception>
#include <utility>

namespace Quenzal::Localization {

namespace {

const wchar_t* const CoreKeyPath = L"Software\\Quenzal\\Trindle";

// The process-wide message state. The current table, index and language
// change only under the lock; the initialisation error is set once at load.
struct CLocalizationState {
    Os::CCriticalSection lock;
    MessageTable table;
    DWORD index = EnglishLanguageIndex;
    LANGID languageId = 0x0400;
    std::exception_ptr initializationError;
};

CLocalizationState& State()
{
    static CLocalizationState state;
    return state;
}

void RethrowInitializationError(const wchar_t* function, int line)
{
    CLocalizationState& state = State();
    if (!state.initializationError)
        return;
    Logging::Log(Logging::Error,
                 FormatReportLine(L"Rethrowing localized message initialization error", __FILE__, function, line, L"")
                     .c_str());
    std::rethrow_exception(state.initializationError);
}

// English must work from the first moment the module is loaded.
[[maybe_unused]] const bool LocalizedMessagesInitialized = (InitializeLocalizedMessages(), true);

} // namespace

void InitializeLocalizedMessages()
{
    CLocalizationState& state = State();
    try {
        MessageTable english;
        LoadLocalizedMessages(EnglishLanguageIndex, english);
        Os::CCriticalSectionLock lock(state.lock);
        state.table.swap(english);
    } catch (...) {
        // The module must still load; every later lookup reports this.
        state.initializationError = std::current_exception();
    }
}

LANGID GetLanguageId()
{
    CLocalizationState& state = State();
    Os::CCriticalSectionLock lock(state.lock);
    return state.languageId;
}

DWORD GetForcedLocaleIndex()
{
    StringW forced = Os::TryGetRegistryString(HKEY_CURRENT_USER, CoreKeyPath, L"ForceLocale");
    if (forced.empty())
        return NoLanguageIndex;
    Logging::Log(Logging::Debug, (L"Using locale: " + forced).c_str());
    for (DWORD index = 0; index < LanguageCount; ++index) {
        if (_wcsicmp(forced.c_str(), GetLanguageRow(index)->localeName) == 0)
            return index;
    }
    return NoLanguageIndex;
}

void SetLocale(DWORD index)
{
    RethrowInitializationError(L"Quenzal::Localization::SetLocale", __LINE__);
    CLocalizationState& state = State();
    DWORD forced = GetForcedLocaleIndex();
    if (forced != NoLanguageIndex)
        index = forced;
    {
        Os::CCriticalSectionLock lock(state.lock);
        if (index == state.index)
            return;
    }
    // Built outside the lock: English underneath, the translation on top.
    MessageTable table;
    LoadLocalizedMessages(EnglishLanguageIndex, table);
    LoadLocalizedMessages(index, table);
    const LanguageRow* row = GetLanguageRow(index);
    {
        Os::CCriticalSectionLock lock(state.lock);
        state.table.swap(table);
        state.index = index;
        state.languageId = row->languageId;
        SetDisplayLocale(row->languageId);
    }
    Logging::Log(Logging::Debug, (L"Locale set to: " + StringW(row->localeName)).c_str());
    // The previous table is destroyed here, after the lock is released.
}

void SetLanguageId(LANGID languageId)
{
    DWORD index = FindLanguageIndex(languageId);
    if (index == NoLanguageIndex)
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"Language ID not supported: %u", static_cast<unsigned>(languageId))));
    SetLocale(index);
}

bool TrySetLanguageId(LANGID languageId)
{
    try {
        SetLanguageId(languageId);
        return true;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        return false;
    }
}

} // namespace Quenzal::Localization

namespace Quenzal {

StringW GetLocalizedMessage(int lid)
{
    Localization::RethrowInitializationError(L"Quenzal::GetLocalizedMessage", __LINE__);
    if (lid == 0)
        return StringW();
    Localization::CLocalizationState& state = Localization::State();
    Os::CCriticalSectionLock lock(state.lock);
    StringW& entry = state.table[lid];
    if (entry.empty()) {
        // Shown in place of the text, and logged only the first time.
        Logging::LogFormat(Logging::Error, L"Unable to load message: %d", lid);
        entry = StringW::Format(L"lid_%d", lid);
    }
    return entry;
}

CException::CException(int lid) : m_message(GetLocalizedMessage(lid)), m_userMessage(true) {}

} // namespace Quenzal

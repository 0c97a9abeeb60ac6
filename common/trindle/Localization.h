#pragma once
// Localized messages: every text shown to a user is looked up by its message
// number (lid) in the table of the current language, with English underneath
// every translation. The tables are UTF-8 resources of type "LOCALIZATION"
// carried in this module, one per language, one "windows_string<lid>=text"
// entry a line.

#include "StringW.h"

#include <windows.h>

#include <map>
#include <string>

namespace Quenzal {

// The message of a lid in the current language (a copy). A lid that no table
// holds gives "lid_" and the number, logged the first time.
StringW GetLocalizedMessage(int lid);

// The message of a lid with its insertion points (%1, %2) filled.
StringW FormatLocalizedMessage(int lid, const std::wstring& argument1);
StringW FormatLocalizedMessage(int lid, const std::wstring& argument1, const std::wstring& argument2);

} // namespace Quenzal

namespace Quenzal::Localization {

using MessageTable = std::map<int, StringW>;

// An index into the language table, or none.
inline constexpr DWORD NoLanguageIndex = 0xFFFFFFFF;
inline constexpr DWORD LanguageCount = 10;
inline constexpr DWORD EnglishLanguageIndex = 3;

// One row of the language table.
struct LanguageRow {
    const wchar_t* localeName;
    LANGID languageId;
    WORD resourceId;
    const wchar_t* englishName;
};

// The row of an index; null for none or an index past the table.
const LanguageRow* GetLanguageRow(DWORD index);
DWORD FindLanguageIndex(LANGID languageId);
StringW GetLocaleName(DWORD index);
StringW GetLanguageName(DWORD index);
// "German (1031)".
StringW FormatLanguageName(LANGID languageId);

// Loads English into the current table; runs once when the module loads.
void InitializeLocalizedMessages();
void SetLanguageId(LANGID languageId);
bool TrySetLanguageId(LANGID languageId);
void SetLocale(DWORD index);
DWORD GetForcedLocaleIndex();
// The current message language: 0x0400 (the user's default) until one is chosen.
LANGID GetLanguageId();

// Parses the table resource of a language into the table; entries already
// there are replaced.
void LoadLocalizedMessages(DWORD index, MessageTable& table);
void LoadLocalizedMessagesFromBuffer(const char* bytes, size_t length, MessageTable& table);

// Fills the insertion points of a message; an invalid message gives an empty text.
StringW FormatLocalizedMessage(const wchar_t* message, const wchar_t* const* arguments, DWORD argumentCount);
StringW ReplaceInsertionPoints(const wchar_t* message, const wchar_t* const* arguments);

} // namespace Quenzal::Localization

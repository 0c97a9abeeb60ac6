#include "Localization.h"

namespace Quenzal::Localization {

namespace {

const LanguageRow Languages[LanguageCount] = {
    {L"zh_CN", 0x0804, 109, L"Chinese"},
    {L"cs_CZ", 0x0405, 115, L"Czech"},
    {L"nl_NL", 0x0413, 107, L"Dutch"},
    {L"en_US", 0x0409, 103, L"English"},
    {L"fr_FR", 0x040C, 108, L"French"},
    {L"de_DE", 0x0407, 104, L"German"},
    {L"it_IT", 0x0410, 110, L"Italian"},
    {L"ja_JP", 0x0411, 106, L"Japanese"},
    {L"pl_PL", 0x0415, 111, L"Polish"},
    {L"es_ES", 0x040A, 105, L"Spanish"},
};

DWORD FindExactLanguage(LANGID languageId)
{
    for (DWORD index = 0; index < LanguageCount; ++index) {
        if (Languages[index].languageId == languageId)
            return index;
    }
    return NoLanguageIndex;
}

} // namespace

const LanguageRow* GetLanguageRow(DWORD index)
{
    return index < LanguageCount ? &Languages[index] : nullptr;
}

DWORD FindLanguageIndex(LANGID languageId)
{
    DWORD index = FindExactLanguage(languageId);
    if (index == NoLanguageIndex && languageId >= 0x0400)
        index = FindExactLanguage(languageId & 0x03FF);
    // Another country of the same language falls back to the language's main country.
    if (index == NoLanguageIndex && (languageId & 0xFC00) != 0x0400)
        index = FindExactLanguage(static_cast<LANGID>((languageId & 0x03FF) | 0x0400));
    return index;
}

StringW GetLocaleName(DWORD index)
{
    const LanguageRow* row = GetLanguageRow(index);
    return row != nullptr ? StringW(row->localeName) : StringW();
}

StringW GetLanguageName(DWORD index)
{
    const LanguageRow* row = GetLanguageRow(index);
    return StringW(row != nullptr ? row->englishName : L"Unknown");
}

StringW FormatLanguageName(LANGID languageId)
{
    return StringW::Format(L"%s (%u)", GetLanguageName(FindLanguageIndex(languageId)).c_str(),
                           static_cast<unsigned>(languageId));
}

} // namespace Quenzal::Localization

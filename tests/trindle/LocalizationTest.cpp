#include "DisplayLocale.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "LocalizationTestSupport.h"
#include "ResourceBuffer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using namespace Quenzal;
using namespace Quenzal::Localization;
using QzlTest::CLogCapture;
using QzlTest::CountOf;

namespace {

MessageTable Parse(const std::string& bytes, MessageTable table = {})
{
    LoadLocalizedMessagesFromBuffer(bytes.data(), bytes.size(), table);
    return table;
}

// The description of the CException the parse raises, or "(none)".
std::wstring ParseError(const std::string& bytes, MessageTable table = {})
{
    try {
        LoadLocalizedMessagesFromBuffer(bytes.data(), bytes.size(), table);
    } catch (const CException& e) {
        return e.GetDescription();
    }
    return L"(none)";
}

bool HasReportLine(const std::string& log, const std::string& event, const std::string& file,
                   const std::string& function, const std::string& description)
{
    std::regex line(event + " at " + file + ", " + function + ", line [0-9]+: " + description);
    return std::regex_search(log, line);
}

} // namespace

TEST(MessageTableParser, ReadsEntriesCommentsAndLineEnds)
{
    MessageTable table = Parse("\xEF\xBB\xBF# comment = with an equals sign\n"
                               " # second-byte comment=1\n"
                               "\n"
                               "windows_string0=DO_NOT_REMOVE Rev: $Revision$\r\n"
                               "\r\r\n"
                               "\rwindows_string5=  Close  \r\n"
                               "windows_string007=Schlie\xC3\x9F" "en\n"
                               "windows_string12=a=b\n"
                               "prefix_text_plays_no_part42=\xE6\x97\xA5\xE6\x9C\xAC\n"
                               "a line without an equals sign\n"
                               "windows_string9=last line without end");
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(table[0], L"DO_NOT_REMOVE Rev: $Revision$");
    EXPECT_EQ(table[5], L"Close");
    EXPECT_EQ(table[7], L"Schlie\u00DFen");
    EXPECT_EQ(table[12], L"a=b");
    EXPECT_EQ(table[42], L"\u65E5\u672C");
    // The line without '=' became part of the next key, whose digits still count.
    EXPECT_EQ(table[9], L"last line without end");
}

TEST(MessageTableParser, ABufferWithoutEntriesIsAnError)
{
    CLogCapture log;
    EXPECT_EQ(ParseError("# only a comment\n\n#another=1\n\r\n"), L"Unable to parse localization buffer");
    EXPECT_EQ(ParseError(""), L"Unable to parse localization buffer");
    // An '=' as the very last byte is not looked at.
    EXPECT_EQ(ParseError("windows_string5="), L"Unable to parse localization buffer");
    EXPECT_EQ(ParseError("windows_string5=   \nwindows_string6=\n"), L"Unable to parse localization buffer");
    MessageTable table;
    EXPECT_THROW(LoadLocalizedMessagesFromBuffer(nullptr, 10, table), CException);
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "LoadLocalizedMessages\\.cpp",
                              "Quenzal::Localization::LoadLocalizedMessagesFromBuffer",
                              "Unable to parse localization buffer"))
        << log.Text();
}

TEST(MessageTableParser, AKeyWithoutTrailingDigitsIsAnError)
{
    CLogCapture log;
    EXPECT_EQ(ParseError("windows_string=Hello, world\n"), L"Found invalid lid: windows_string=Hello");
    EXPECT_EQ(ParseError("\nkey=x"), L"Found invalid lid: key=x");
    EXPECT_EQ(ParseError("windows_string12x=y\n"), L"Found invalid lid: windows_string12x=y\n");
    EXPECT_TRUE(HasReportLine(log.Text(), "Throwing exception", "LoadLocalizedMessages\\.cpp", "ParseLid",
                              "Found invalid lid: windows_string=Hello"))
        << log.Text();
}

TEST(MessageTableParser, DuplicatesAreAnErrorOnlyInATableBuiltFromNothing)
{
    CLogCapture log;
    EXPECT_EQ(ParseError("windows_string5=a\nwindows_string6=b\nwindows_string5=c\n"), L"Found duplicate lid: 5");
    EXPECT_TRUE(HasReportLine(log.Text(), "Throwing exception", "LoadLocalizedMessages\\.cpp",
                              "Quenzal::Localization::LoadLocalizedMessagesFromBuffer", "Found duplicate lid: 5"));
    MessageTable english{{5, L"English five"}, {6, L"English six"}};
    MessageTable table = Parse("windows_string5=a\nwindows_string5=c\n", english);
    EXPECT_EQ(table[5], L"c");
    EXPECT_EQ(table[6], L"English six");
}

TEST(MessageTableParser, ABlankValueWarnsAndKeepsWhatWasThere)
{
    CLogCapture log;
    MessageTable english{{7, L"Add email addresses to whitelist"}};
    MessageTable table = Parse("windows_string7=  \t \r\nwindows_string8=Acht\r\n", english);
    EXPECT_EQ(table[7], L"Add email addresses to whitelist");
    EXPECT_EQ(table[8], L"Acht");
    EXPECT_TRUE(log.Contains("WARNING: Found empty string in localization for lid 7\r\n")) << log.Text();
}

TEST(MessageTableParser, InvalidUtf8IsASystemError)
{
    CLogCapture log;
    MessageTable table;
    try {
        std::string bytes = "windows_string5=ok\nwindows_string6=bad \xFF\xFE text\n";
        LoadLocalizedMessagesFromBuffer(bytes.data(), bytes.size(), table);
        FAIL() << "no exception";
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        EXPECT_NE(e.GetDescription().find(L": Unable to calculate length of UTF-8 string in messages.txt: bad "),
                  std::wstring::npos)
            << e.GetDescription().ToUtf8();
    }
    EXPECT_TRUE(HasReportLine(log.Text(), "Throwing exception", "LoadLocalizedMessages\\.cpp", "Utf8toUtf16",
                              ".*Unable to calculate length of UTF-8 string"));
}

TEST(MessageTables, EnglishIsCarriedInTheModule)
{
    std::string_view resource = Os::GetResourceBuffer(Os::GetThisModule(), 103);
    EXPECT_GT(resource.size(), 1000u);
    MessageTable table;
    LoadLocalizedMessages(EnglishLanguageIndex, table);
    EXPECT_EQ(table[0].rfind(L"DO_NOT_REMOVE", 0), 0u);
    EXPECT_EQ(table[318], L"Your Quenzal Inbox Rampart returned an unexpected response");
    EXPECT_EQ(table[375], L"The file you have selected is too large (%1).  Please select a file smaller than %2.");
    EXPECT_EQ(GetLocalizedMessage(185), L"View Log");
    // Entry 0 is the revision marker and never shown.
    EXPECT_EQ(GetLocalizedMessage(0), L"");
}

TEST(MessageTables, MissingResourcesAreErrors)
{
    CLogCapture log;
    try {
        Os::GetResourceBuffer(Os::GetThisModule(), 999);
        FAIL() << "no exception";
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
        EXPECT_TRUE(e.GetContext().empty());
    }
    EXPECT_TRUE(HasReportLine(log.Text(), "Throwing exception", "ResourceBuffer\\.cpp",
                              "Quenzal::Os::GetResourceBuffer", ""));
    MessageTable table;
    try {
        LoadLocalizedMessages(NoLanguageIndex, table);
        FAIL() << "no exception";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), L"Unable to identify localization resource");
    }
    EXPECT_TRUE(HasReportLine(log.Text(), "Throwing exception", "LoadLocalizedMessages\\.cpp",
                              "Quenzal::Localization::LoadLocalizedMessages", "Unable to identify localization resource"));
}

TEST(LanguageTable, MatchesLanguageThenMainCountry)
{
    EXPECT_EQ(FindLanguageIndex(0x0407), 5u);
    EXPECT_EQ(FindLanguageIndex(0x0C07), 5u); // de_AT
    EXPECT_EQ(FindLanguageIndex(0x0809), 3u); // en_GB
    EXPECT_EQ(FindLanguageIndex(0x080A), 9u); // es_MX
    EXPECT_EQ(FindLanguageIndex(0x0C0C), 4u); // fr_CA
    EXPECT_EQ(FindLanguageIndex(0x0804), 0u);
    EXPECT_EQ(FindLanguageIndex(0x0405), 1u);
    EXPECT_EQ(FindLanguageIndex(0x0404), NoLanguageIndex); // zh_TW
    EXPECT_EQ(FindLanguageIndex(0x0416), NoLanguageIndex); // pt_BR
    EXPECT_EQ(FindLanguageIndex(0x0007), 5u); // German without a country
    EXPECT_EQ(FindLanguageIndex(0), NoLanguageIndex);
}

TEST(LanguageTable, Names)
{
    EXPECT_EQ(GetLocaleName(5), L"de_DE");
    EXPECT_EQ(GetLocaleName(1), L"cs_CZ");
    EXPECT_EQ(GetLocaleName(NoLanguageIndex), L"");
    EXPECT_EQ(GetLanguageName(7), L"Japanese");
    EXPECT_EQ(GetLanguageName(NoLanguageIndex), L"Unknown");
    EXPECT_EQ(GetLanguageName(10), L"Unknown");
    EXPECT_EQ(FormatLanguageName(0x0407), L"German (1031)");
    EXPECT_EQ(FormatLanguageName(0x0416), L"Unknown (1046)");
    const WORD resources[LanguageCount] = {109, 115, 107, 103, 108, 104, 110, 106, 111, 105};
    for (DWORD index = 0; index < LanguageCount; ++index)
        EXPECT_EQ(GetLanguageRow(index)->resourceId, resources[index]) << index;
}

QZL_CHILD_CASE(localization_starts_in_english)
{
    // Before any language is chosen the user's default locale shows dates.
    if (GetLanguageId() != 0x0400 || Quenzal::Localization::GetDisplayLocale() != LOCALE_USER_DEFAULT)
        return 1;
    if (GetLocalizedMessage(37) != L"Close")
        return 2;
    // English chosen explicitly is the language already there: nothing is reloaded.
    SetLanguageId(0x0409);
    return GetLanguageId() == 0x0400 ? 0 : 3;
}

TEST(LocalizedMessages, EnglishIsThereFromTheStart)
{
    QzlTest::ChildResult r = QzlTest::RunChildCase("localization_starts_in_english");
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_EQ(r.output.find("Locale set to"), std::string::npos) << r.output;
}

class LanguageSwitch : public QzlTest::LocalizationFixture {};

TEST_F(LanguageSwitch, AMissingLidShowsItsPlaceholderAndIsLoggedOnce)
{
    // A fresh table: the fixture always leaves English behind.
    SetLanguageId(0x0407);
    CLogCapture log;
    EXPECT_EQ(GetLocalizedMessage(9999), L"lid_9999");
    EXPECT_EQ(GetLocalizedMessage(9999), L"lid_9999");
    EXPECT_EQ(CountOf(log.Text(), "ERROR: Unable to load message: 9999\r\n"), 1u) << log.Text();
}

TEST(LocalizedMessages, AnExceptionFromALidCarriesAUserMessage)
{
    CLogCapture log;
    CException e(318);
    EXPECT_EQ(e.GetDescription(), L"Your Quenzal Inbox Rampart returned an unexpected response");
    EXPECT_TRUE(e.IsUserMessage());
    EXPECT_STREQ(e.what(), "Your Quenzal Inbox Rampart returned an unexpected response");
    EXPECT_FALSE(CException(L"plain").IsUserMessage());
    CException missing(9998);
    EXPECT_EQ(missing.GetDescription(), L"lid_9998");
    EXPECT_TRUE(missing.IsUserMessage());
}

TEST_F(LanguageSwitch, ATranslationHasEnglishUnderneath)
{
    CLogCapture log;
    SetLanguageId(0x0C07); // de_AT finds German
    EXPECT_EQ(GetLocalizedMessage(9997), L"lid_9997");
    EXPECT_EQ(GetLanguageId(), 0x0407);
    EXPECT_EQ(Quenzal::Localization::GetDisplayLocale(), 0x0407u);
    EXPECT_EQ(GetLocalizedMessage(37), L"Schlie\u00DFen");
    EXPECT_EQ(GetLocalizedMessage(318), L"Your Quenzal Inbox Rampart returned an unexpected response");
    // The German table's blank entry leaves the English text.
    EXPECT_EQ(GetLocalizedMessage(7), L"Add email addresses to whitelist");
    EXPECT_TRUE(log.Contains("WARNING: Found empty string in localization for lid 7\r\n"));
    EXPECT_EQ(FormatLocalizedMessage(228, L"3", L"7"), L"Elemente werden gepr\u00FCft (3 von 7)");
    EXPECT_TRUE(log.Contains("Locale set to: de_DE\r\n")) << log.Text();

    SetLanguageId(0x0409);
    EXPECT_EQ(GetLanguageId(), 0x0409);
    // A new language forgets the placeholders shown so far.
    EXPECT_EQ(GetLocalizedMessage(9997), L"lid_9997");
    EXPECT_EQ(CountOf(log.Text(), "Unable to load message: 9997\r\n"), 2u);
    EXPECT_EQ(Quenzal::Localization::GetDisplayLocale(), 0x0409u);
    EXPECT_EQ(GetLocalizedMessage(37), L"Close");
    EXPECT_TRUE(log.Contains("Locale set to: en_US\r\n"));
}

TEST_F(LanguageSwitch, AnUnsupportedLanguageLeavesTheCurrentOne)
{
    SetLanguageId(0x0407);
    CLogCapture log;
    EXPECT_FALSE(TrySetLanguageId(0x0416));
    EXPECT_EQ(GetLanguageId(), 0x0407);
    EXPECT_TRUE(HasReportLine(log.Text(), "Throwing exception", "Localization\\.cpp",
                              "Quenzal::Localization::SetLanguageId", "Language ID not supported: 1046"))
        << log.Text();
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Caught exception", "Localization\\.cpp",
                              "Quenzal::Localization::TrySetLanguageId", "Language ID not supported: 1046"));
    EXPECT_THROW(SetLanguageId(0), CException);
    EXPECT_TRUE(TrySetLanguageId(0x0409));
    EXPECT_EQ(GetLocalizedMessage(37), L"Close");
}

TEST_F(LanguageSwitch, AFailedSwitchLeavesTheCurrentLanguage)
{
    SetLanguageId(0x0407);
    // This program carries no French table.
    EXPECT_THROW(SetLanguageId(0x040C), CWinError);
    EXPECT_EQ(GetLanguageId(), 0x0407);
    EXPECT_EQ(Quenzal::Localization::GetDisplayLocale(), 0x0407u);
    EXPECT_EQ(GetLocalizedMessage(32), L"Abbrechen");
    EXPECT_THROW(SetLocale(NoLanguageIndex), CException);
    EXPECT_EQ(GetLanguageId(), 0x0407);
}

TEST_F(LanguageSwitch, AForcedLocaleWinsOnlyForASupportedLanguage)
{
    QzlTest::SetCoreString(L"ForceLocale", L"DE_de");
    EXPECT_EQ(GetForcedLocaleIndex(), 5u);
    CLogCapture log;
    // Portuguese is not supported, so the forced locale is never consulted.
    EXPECT_FALSE(TrySetLanguageId(0x0416));
    EXPECT_EQ(GetLocalizedMessage(37), L"Close");
    EXPECT_FALSE(log.Contains("Using locale"));
    EXPECT_TRUE(TrySetLanguageId(0x040C));
    EXPECT_EQ(GetLanguageId(), 0x0407);
    EXPECT_EQ(GetLocalizedMessage(37), L"Schlie\u00DFen");
    EXPECT_TRUE(log.Contains("Using locale: DE_de\r\n")) << log.Text();
    EXPECT_TRUE(log.Contains("Locale set to: de_DE\r\n"));
}

TEST_F(LanguageSwitch, AnUnknownForcedLocaleIsIgnored)
{
    EXPECT_EQ(GetForcedLocaleIndex(), NoLanguageIndex);
    QzlTest::SetCoreString(L"ForceLocale", L"pt_BR");
    EXPECT_EQ(GetForcedLocaleIndex(), NoLanguageIndex);
    SetLanguageId(0x0407);
    EXPECT_EQ(GetLanguageId(), 0x0407);
    QzlTest::SetCoreString(L"ForceLocale", L"");
    EXPECT_EQ(GetForcedLocaleIndex(), NoLanguageIndex);
}

TEST(InsertionPoints, FillsArgumentsAndSystemEscapes)
{
    const wchar_t* two[] = {L"3", L"7"};
    EXPECT_EQ(FormatLocalizedMessage(L"%1 of %2", two, 2), L"3 of 7");
    EXPECT_EQ(FormatLocalizedMessage(L"%2 before %1", two, 2), L"7 before 3");
    EXPECT_EQ(FormatLocalizedMessage(L"100%% %1%n%!%t%r% x%0ignored", two, 2), L"100% 3\r\n!\t\r x");
    EXPECT_EQ(FormatLocalizedMessage(L"no points", two, 2), L"no points");
    EXPECT_EQ(FormatLocalizedMessage(L"", two, 2), L"");
    EXPECT_EQ(Quenzal::FormatLocalizedMessage(183, L"1.2.3"), L"Version: 1.2.3");
    EXPECT_EQ(Quenzal::FormatLocalizedMessage(375, L"2.0M", L"1.0M"),
              L"The file you have selected is too large (2.0M).  Please select a file smaller than 1.0M.");
    EXPECT_EQ(Quenzal::FormatLocalizedMessage(0, L"x"), L"");
}

TEST(InsertionPoints, MissingArgumentsArePaddedWithEmptyTexts)
{
    CLogCapture log;
    const wchar_t* one[] = {L"3"};
    EXPECT_EQ(FormatLocalizedMessage(L"%1 of %2", one, 1), L"3 of ");
    EXPECT_TRUE(log.Contains("WARNING: Invalid message (argument underrun); will pad: %1 of %2\r\n")) << log.Text();
    // One argument used twice counts as two points.
    EXPECT_EQ(FormatLocalizedMessage(L"%1 and %1", one, 1), L"3 and 3");
    EXPECT_EQ(FormatLocalizedMessage(L"[%2%1]", nullptr, 0), L"[]");
    // Front end with one argument for a message with two points.
    EXPECT_EQ(Quenzal::FormatLocalizedMessage(228, L"5"), L"Scanning items (5 of )");
}

TEST(InsertionPoints, InvalidMessagesGiveAnEmptyText)
{
    CLogCapture log;
    const wchar_t* one[] = {L"3"};
    EXPECT_EQ(FormatLocalizedMessage(L"%3", one, 1), L"");
    EXPECT_TRUE(log.Contains("ERROR: Invalid message (insertion point out of range): %3\r\n")) << log.Text();
    // Two digits the system formatter would read as point 12.
    EXPECT_EQ(FormatLocalizedMessage(L"%1 %123", one, 1), L"");
    std::string before = log.Text();
    EXPECT_EQ(FormatLocalizedMessage(L"%s", one, 1), L"");
    EXPECT_EQ(FormatLocalizedMessage(L"%1 is 100%", one, 1), L"");
    EXPECT_EQ(FormatLocalizedMessage(L"%.", one, 1), L"");
    EXPECT_EQ(log.Text(), before);
}

TEST(InsertionPoints, ASystemFailureIsRaisedWithTheMessage)
{
    CLogCapture log;
    const wchar_t* one[] = {L"3"};
    try {
        ReplaceInsertionPoints(L"100%", one);
        FAIL() << "no exception";
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetContext(), L"100%");
    }
    EXPECT_TRUE(HasReportLine(log.Text(), "Throwing exception", "FormatLocalizedMessage\\.cpp",
                              "Quenzal::Localization::ReplaceInsertionPoints", ".*: 100%"))
        << log.Text();
}

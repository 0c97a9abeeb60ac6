#include "Charsets.h"
#include "CodePageConversion.h"
#include "CodecVectors.h"
#include "Exception.h"
#include "TestSupport.h"
#include "Utf7.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;
using NetTest::Bytes;
using NetTest::ReadVectors;
using NetTest::Text;

namespace {

StringW ToUnicode(const std::string& bytes, uint32_t codePage)
{
    return Os::ConvertAnsiToUnicode(bytes.data(), bytes.size(), codePage);
}

const wchar_t kJapanese[] = L"\x65e5\x672c\x8a9e";

} // namespace

TEST(CharsetNames, ResolveWithoutRegardToCase)
{
    EXPECT_EQ(GetCodePageFromCharsetName(L"utf-8"), 65001u);
    EXPECT_EQ(GetCodePageFromCharsetName(L"UtF-8"), 65001u);
    EXPECT_EQ(GetCodePageFromCharsetName(L"ISO-8859-8 Visual"), 28598u);
    EXPECT_EQ(GetCodePageFromCharsetName(L"us-ascii"), 1252u);
    EXPECT_EQ(GetCodePageFromCharsetName(L"ISO-8859-1"), 1252u);
    EXPECT_EQ(GetCodePageFromCharsetName(L"csISO"), 28591u);
    // As the table has it, although 500 is an EBCDIC code page.
    EXPECT_EQ(GetCodePageFromCharsetName(L"CP500"), 775u);
}

TEST(CharsetNames, NumericNamesOfKnownCodePages)
{
    QzlTest::CLogCapture log;
    EXPECT_EQ(GetCodePageFromCharsetName(L"cp1252"), 1252u);
    EXPECT_EQ(GetCodePageFromCharsetName(L"CP437"), 437u);
    EXPECT_EQ(GetCodePageFromCharsetName(L"IBM1047"), 1047u);
    EXPECT_FALSE(log.Contains("No Windows codepage"));

    EXPECT_EQ(GetCodePageFromCharsetName(L"ibm"), kNoCodePage);
    EXPECT_EQ(GetCodePageFromCharsetName(L"cp12345"), kNoCodePage);
    EXPECT_EQ(GetCodePageFromCharsetName(L"cp12x"), kNoCodePage);
    EXPECT_EQ(GetCodePageFromCharsetName(L"UTF-16BE"), kNoCodePage);
    EXPECT_EQ(GetCodePageFromCharsetName(L" utf-8"), kNoCodePage);
    EXPECT_TRUE(log.Contains("ERROR: No Windows codepage found for charset: UTF-16BE\r\n")) << log.Text();
    EXPECT_TRUE(log.Contains("ERROR: No Windows codepage found for charset: ibm\r\n")) << log.Text();
}

TEST(CharsetNames, PreferredNamesAndDescriptions)
{
    EXPECT_EQ(GetCharsetNameFromCodePage(1252), StringW(L"iso-8859-1"));
    EXPECT_EQ(GetCharsetNameFromCodePage(20127), StringW(L"us-ascii"));
    EXPECT_EQ(GetCharsetNameFromCodePage(1), StringW());
    EXPECT_EQ(Os::GetCodePageName(949), StringW(L"ks_c_5601-1987"));
    EXPECT_EQ(Os::DescribeCodePage(65001), StringW(L"utf-8 (65001)"));
    EXPECT_EQ(Os::DescribeCodePage(1), StringW(L"Unknown (1)"));

    EXPECT_EQ(GetFallbackCodePage(28591), 1252u);
    EXPECT_EQ(Os::GetFallbackCodePage(65001), 1200u);
    EXPECT_EQ(GetFallbackCodePage(20261), kNoCodePage);
    EXPECT_EQ(GetFallbackCodePage(1), kNoCodePage);
}

TEST(CharsetNames, FallbacksAlwaysComeToAnEnd)
{
    // A conversion follows fallbacks until one differs no more from its code page.
    for (uint32_t codePage = 0; codePage < 70000; ++codePage) {
        uint32_t current = codePage;
        int steps = 0;
        for (uint32_t next = GetFallbackCodePage(current); next != kNoCodePage && next != current;
             next = GetFallbackCodePage(current)) {
            current = next;
            ASSERT_LT(++steps, 5) << codePage;
        }
    }
}

TEST(AnsiToUnicode, ConvertsThroughTheInternetCharsetConverter)
{
    EXPECT_EQ(ToUnicode("caf\xe9", 28591), StringW(L"caf\x00e9"));
    EXPECT_EQ(ToUnicode("\x80", 1252), StringW(L"\x20ac"));
    EXPECT_EQ(ToUnicode("caf\xc3\xa9", 65001), StringW(L"caf\x00e9"));
    EXPECT_EQ(ToUnicode("\x93\xfa\x96\x7b\x8c\xea", 932), StringW(kJapanese));
    EXPECT_EQ(ToUnicode("\x1b$BF|K\\8l\x1b(B", 50220), StringW(kJapanese));
    EXPECT_EQ(ToUnicode("\xc6\xfc\xcb\xdc\xb8\xec", 51932), StringW(kJapanese));
    EXPECT_EQ(ToUnicode("A+ImIDkQ.", 65000), StringW(L"A\x2262\x0391."));
    EXPECT_EQ(ToUnicode("abc", 0xFFFFFFFF), StringW(L"abc"));
    EXPECT_EQ(Os::ConvertAnsiToUnicode(nullptr, 3, 65001), StringW());
    EXPECT_EQ(ToUnicode(std::string("\0ab", 3), 65001), StringW());
}

TEST(AnsiToUnicode, Utf16IsTakenAsItLies)
{
    QzlTest::CLogCapture log;
    EXPECT_EQ(ToUnicode(std::string("a\0\xac\x20", 4), 1200), StringW(L"a\x20ac"));
    EXPECT_TRUE(log.Contains("WARNING: Multibyte string is of codepage 1200 (UTF-16); interpreting as UTF-16"));
    try {
        ToUnicode("abc", 1200);
        FAIL();
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), StringW(L"Unable to construct StringW from data of length 3B"));
    }
}

TEST(AnsiToUnicode, FallsBackWhenTheConverterLacksTheCodePage)
{
    QzlTest::CLogCapture log;
    EXPECT_EQ(ToUnicode("caf\xe9", 50000), StringW(L"caf\x00e9"));
    EXPECT_TRUE(log.Contains("WARNING: Failed to convert from multibyte to Unicode using codepage 50000; "
                             "retrying with codepage 1252"))
        << log.Text();
    std::regex caught(R"(EXCEPTION: Caught exception at CodePageConversion\.cpp, )"
                      R"(Quenzal::Os::ConvertAnsiToUnicode, line \d+: Failure during COM call: )");
    EXPECT_TRUE(std::regex_search(log.Text(), caught)) << log.Text();
}

TEST(AnsiToUnicode, RaisesWithoutAFurtherFallback)
{
    QzlTest::CLogCapture log;
    // 57002 falls back to itself, 12345 has no row at all.
    for (uint32_t codePage : {57002u, 12345u}) {
        try {
            ToUnicode("abc", codePage);
            ADD_FAILURE() << codePage;
        } catch (const CComError& e) {
            EXPECT_LT(e.GetHResult(), 0) << codePage;
        } catch (const CWinError& e) {
            EXPECT_NE(e.GetErrorCode(), 0u) << codePage;
        }
    }
}

TEST(UnicodeToAnsi, ConvertsAndKeepsTheCodePage)
{
    uint32_t codePage = 50220;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(kJapanese), &codePage), "\x1b$BF|K\\8l\x1b(B");
    EXPECT_EQ(codePage, 50220u);

    codePage = 932;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(kJapanese), &codePage), "\x93\xfa\x96\x7b\x8c\xea");

    codePage = 65000;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(L"A+B"), &codePage), "A+-B");
    EXPECT_EQ(codePage, 65000u);

    codePage = 0xFFFFFFFF;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(L"abc"), &codePage), "abc");
    EXPECT_EQ(codePage, GetACP());

    codePage = 65001;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(), &codePage), "");
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(nullptr, 4, &codePage), "");
}

TEST(UnicodeToAnsi, Utf16BecomesUtf8Silently)
{
    QzlTest::CLogCapture log;
    uint32_t codePage = 1200;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(L"caf\x00e9"), &codePage), "caf\xc3\xa9");
    EXPECT_EQ(codePage, 65001u);
    EXPECT_FALSE(log.Contains("Used codepage")) << log.Text();
}

TEST(UnicodeToAnsi, FallbackOfTheCodePageIsUsedSilently)
{
    QzlTest::CLogCapture log;
    uint32_t codePage = 50000;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(L"caf\x00e9"), &codePage), "caf\xe9");
    EXPECT_EQ(codePage, 1252u);
    EXPECT_FALSE(log.Contains("Used codepage")) << log.Text();
    EXPECT_TRUE(log.Contains("Caught exception at CodePageConversion.cpp, Quenzal::Os::ConvertUnicodeToAnsi"));
}

TEST(UnicodeToAnsi, LaterAttemptsAreLogged)
{
    QzlTest::CLogCapture log;
    // 20261 has no fallback of its own, so UTF-8 is next.
    uint32_t codePage = 20261;
    EXPECT_EQ(Os::ConvertUnicodeToAnsi(StringW(L"caf\x00e9"), &codePage), "caf\xc3\xa9");
    EXPECT_EQ(codePage, 65001u);
    EXPECT_TRUE(log.Contains("WARNING: Used codepage utf-8 (65001) instead of x-cp20261 (20261) to convert "
                             "Unicode to multibyte"))
        << log.Text();
}

TEST(Utf7, DecodesRfc2152Examples)
{
    for (const auto& v : ReadVectors("net/data/utf7-decode-rfc2152.txt")) {
        std::string bytes = Bytes(v.input);
        EXPECT_EQ(ConvertUtf7ToUtf16(bytes.data(), bytes.size()), Text(v.expected)) << "line " << v.line;
    }
}

TEST(Utf7, EncodesRfc2152Examples)
{
    for (const auto& v : ReadVectors("net/data/utf7-encode-rfc2152.txt")) {
        StringW text = Text(v.input);
        EXPECT_EQ(ConvertUtf16ToUtf7(text.data(), text.size()), Bytes(v.expected)) << "line " << v.line;
        std::string encoded = Bytes(v.expected);
        EXPECT_EQ(ConvertUtf7ToUtf16(encoded.data(), encoded.size()), text) << "line " << v.line;
    }
}

TEST(Utf7, IllFormedRunsRaise)
{
    QzlTest::CLogCapture log;
    for (const char* bad : {"+", "abc+", "+!", "+AB-", "a+ABCD"}) {
        try {
            ConvertUtf7ToUtf16(bad, strlen(bad));
            ADD_FAILURE() << bad;
        } catch (const CException& e) {
            EXPECT_EQ(e.GetDescription(), StringW(L"UTF-7 is ill-formed")) << bad;
        }
    }
    // A run that ends after a single character holds no bytes at all.
    EXPECT_EQ(ConvertUtf7ToUtf16("a+A-b", 5), StringW(L"ab"));
    EXPECT_EQ(ConvertUtf7ToUtf16("a\xe9", 2), StringW(L"a\x00e9"));
    EXPECT_EQ(ConvertUtf7ToUtf16("ab\0+", 4), StringW(L"ab"));
}

TEST(Utf7, DirectCharacters)
{
    for (wchar_t ch : {L'\t', L'\n', L'\v', L'\f', L'\r', L' ', L'!', L'A', L'}', L'-', L'/'})
        EXPECT_TRUE(IsUtf7DirectChar(ch)) << static_cast<int>(ch);
    for (wchar_t ch : {L'+', L'\\', L'~', L'\x7f', L'\0', L'\x01', L'\x00e9', L'\x20ac'})
        EXPECT_FALSE(IsUtf7DirectChar(ch)) << static_cast<int>(ch);
    EXPECT_EQ(ConvertUtf16ToUtf7(L"ab\0c", 4), "ab");
}

QZL_CHILD_CASE(MLangLoadsOnFirstConversion)
{
    // Nothing may load the converter while the process starts.
    if (::GetModuleHandleW(L"mlang.dll") != nullptr)
        return 1;
    StringW text = Os::ConvertAnsiToUnicode("caf\xe9", 4, 28591);
    if (text != StringW(L"caf\x00e9"))
        return 2;
    return ::GetModuleHandleW(L"mlang.dll") != nullptr ? 0 : 3;
}

TEST(MLang, LoadsOnFirstUseNotAtStartup)
{
    EXPECT_EQ(QzlTest::RunChildCase("MLangLoadsOnFirstConversion").exitCode, 0u);
}

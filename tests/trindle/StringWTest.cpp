#include "StringW.h"
#include "Util.h"
#include "Exception.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Quenzal;

TEST(StringW, SetAnsiUtf8StopsAtNulWithNpos)
{
    StringW s;
    s.SetAnsi("\xC3\xA9", 2, CP_UTF8);
    EXPECT_EQ(s, StringW(L"\u00e9"));
    const char text[] = "ab\0cd";
    s.SetAnsi(text, StringW::npos, CP_UTF8);
    EXPECT_EQ(s, StringW(L"ab"));
    s.SetAnsi(text, 0, CP_UTF8);
    EXPECT_TRUE(s.empty());
}

TEST(StringW, RoundTripThroughCodePages)
{
    StringW text(L"gr\u00fc\u00df \u65e5\u672c");
    EXPECT_EQ(text.GetAnsi(CP_UTF8), "gr\xC3\xBC\xC3\x9F \xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(StringW::FromAnsi(text.GetAnsi(CP_UTF8), CP_UTF8), text);
    EXPECT_EQ(StringW(L"").GetAnsi(CP_UTF8), "");
    // Windows-1252 puts the euro sign at 0x80.
    EXPECT_EQ(StringW::FromAnsi("\x80", 1252), StringW(L"\u20ac"));
}

TEST(StringW, ConversionFailureRaisesWinError)
{
    StringW s(L"x");
    try {
        s.SetAnsi("abc", 3, 12345);  // no such code page
        FAIL() << "expected CWinError";
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_TRUE(s.empty());
    }
    EXPECT_THROW(StringW(L"x").GetAnsi(12345), CWinError);
}

TEST(StringW, FromBinaryData)
{
    EXPECT_EQ(StringW(FromBinary, std::string("A\0B\0", 4)), StringW(L"AB"));
    EXPECT_TRUE(StringW(FromBinary, std::string()).empty());
    try {
        StringW(FromBinary, std::string("abc"));
        FAIL() << "expected CException";
    } catch (const CException& e) {
        StringW d = e.GetDescription();
        EXPECT_EQ(d, StringW(L"Unable to construct StringW from binary data of length 3B"));
    }
}

TEST(StringW, NullPointersGiveEmptyStrings)
{
    EXPECT_TRUE(StringW(static_cast<const wchar_t*>(nullptr)).empty());
    StringW s(L"abc");
    s.Assign(nullptr);
    EXPECT_TRUE(s.empty());
    EXPECT_TRUE(StringA(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(StringA(nullptr, 5).empty());
    EXPECT_EQ(static_cast<const wchar_t*>(nullptr) + StringW(L"x"), StringW(L"x"));
}

TEST(StringW, FormatUsesWideStringsForPercentS)
{
    EXPECT_EQ(StringW::Format(L"[%s] %d %I64u", L"wide", -3, 18446744073709551615ull),
              StringW(L"[wide] -3 18446744073709551615"));
    EXPECT_TRUE(StringW::Format(L"%s", L"").empty());
    StringW s(L"x");
    s.AppendFormat(L"%d", 5).AppendFormatLine(L"%s", L"y").AppendLineBreak();
    EXPECT_EQ(s, StringW(L"x5y\r\n\r\n"));
    StringW target(L"old");
    StringW::FormatString(target, L"%c%.2d", L'v', 7);
    EXPECT_EQ(target, StringW(L"v07"));
    // Long results are not cut.
    StringW big(5000, L'q');
    EXPECT_EQ(StringW::Format(L"<%s>", big.c_str()).size(), 5002u);
    EXPECT_EQ(StringA::Format("%s-%d", "narrow", 1), StringA("narrow-1"));
}

TEST(StringW, Trimming)
{
    EXPECT_TRUE(StringW(L"   \t").TrimLeft().empty());
    EXPECT_EQ(StringW(L"a \r\n").TrimRight(), StringW(L"a"));
    EXPECT_EQ(StringW(L" \ta b \n").Trimmed(), StringW(L"a b"));
    EXPECT_EQ(StringA(" x y\r\n").Trim(), StringA("x y"));
    StringW s(L"abcdef");
    EXPECT_EQ(s.EraseFront(0), StringW(L"abcdef"));
    EXPECT_EQ(s.EraseFront(2), StringW(L"cdef"));
    EXPECT_THROW(s.EraseFront(5), std::out_of_range);
}

TEST(StringW, SplitRules)
{
    using V = std::vector<StringW>;
    EXPECT_EQ(Split(L"a", L','), V{L"a"});
    EXPECT_EQ(Split(L",", L','), V{L""});
    EXPECT_EQ(Split(L"", L','), V{});
    EXPECT_EQ(Split(L"a,,b", L','), (V{L"a", L"", L"b"}));
    EXPECT_EQ(Split(L",a", L','), (V{L"", L"a"}));
    EXPECT_EQ(Split(L"a,b,", L','), (V{L"a", L"b"}));
}

TEST(StringW, JoinRules)
{
    using V = std::vector<StringW>;
    EXPECT_EQ(JoinWithComma(V{L"a"}), StringW(L"a"));
    EXPECT_EQ(JoinWithComma(V{L"", L"a"}), StringW(L"a"));
    EXPECT_EQ(JoinWithComma(V{L"a", L"", L"b"}), StringW(L"a,,b"));
    EXPECT_EQ(Join(V{L"x", L"y"}, L"; "), StringW(L"x; y"));
    EXPECT_TRUE(Join(V{}, L",").empty());
}

TEST(StringW, LastToken)
{
    EXPECT_EQ(GetLastToken(L"a\\b\\c", L'\\', false), StringW(L"c"));
    EXPECT_EQ(GetLastToken(L"a\\b\\c", L'\\', true), StringW(L"\\c"));
    EXPECT_TRUE(GetLastToken(L"abc", L'\\', false).empty());
    EXPECT_TRUE(GetLastToken(L"", L'\\', true).empty());
    EXPECT_TRUE(GetLastToken(L"abc\\", L'\\', false).empty());
}

TEST(StringW, HexAndNumbers)
{
    const unsigned char bytes[] = {0x00, 0xAB};
    EXPECT_EQ(BytesToHex(bytes, 2), "00ab");
    EXPECT_EQ(BytesToHex(bytes, 0), "");
    EXPECT_TRUE(IsNumericString(L"-12.5"));
    EXPECT_TRUE(IsNumericString(L""));
    EXPECT_TRUE(IsNumericString(L"-"));
    EXPECT_FALSE(IsNumericString(L"1.2.3"));
    EXPECT_FALSE(IsNumericString(L"12a"));
    EXPECT_FALSE(IsNumericString(L"1-2"));
}

TEST(StringW, ConvertToAscii)
{
    EXPECT_EQ(ConvertToAscii(L"\u201chi\u201d"), "\"hi\"");
    EXPECT_EQ(ConvertToAscii(L"it\u2019s"), "it's");
    EXPECT_EQ(ConvertToAscii(L"\u00e9"), "?");
    EXPECT_EQ(ConvertToAscii(L"plain"), "plain");
}

TEST(StringW, FormatByteSize)
{
    EXPECT_EQ(FormatByteSize(0), StringW(L"0K"));
    EXPECT_EQ(FormatByteSize(1023), StringW(L"1023B"));
    EXPECT_EQ(FormatByteSize(1024), StringW(L"1.0K"));
    EXPECT_EQ(FormatByteSize(1536), StringW(L"1.5K"));
    EXPECT_EQ(FormatByteSize(1048576), StringW(L"1.0M"));
    EXPECT_EQ(FormatByteSize(1073741824ull), StringW(L"1.0G"));
    EXPECT_EQ(FormatByteSize(5ull << 40), StringW(L"5120.0G"));
    EXPECT_EQ(FormatBufferSize(std::string(3, 'x')), StringW(L"3B"));
}

TEST(StringW, AllocSysString)
{
    BSTR b = StringW(L"bstr").AllocSysString();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 4u);
    EXPECT_STREQ(b, L"bstr");
    SysFreeString(b);
}

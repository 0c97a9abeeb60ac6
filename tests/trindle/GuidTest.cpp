#include "ErrorReport.h"
#include "Guid.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

using namespace Quenzal;

namespace {

const GUID kSample = {0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
const wchar_t kSampleBraced[] = L"{00112233-4455-6677-8899-AABBCCDDEEFF}";
const wchar_t kSampleHex[] = L"33221100554477668899aabbccddeeff";

bool Same(const GUID& a, const GUID& b)
{
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

GUID ParseOf(const std::wstring& text)
{
    GUID guid{};
    Guid::Parse(text, guid);
    return guid;
}

// The description of the CException that Parse raises, or "" when it succeeds.
std::wstring ParseError(const std::wstring& text)
{
    GUID guid{};
    try {
        Guid::Parse(text, guid);
    } catch (const CException& e) {
        return e.GetDescription();
    }
    return L"";
}

} // namespace

TEST(Guid, TextFormsOfAKnownGuid)
{
    EXPECT_EQ(Guid::ToString(kSample), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
    EXPECT_EQ(Guid::ToHexString(kSample, false), "33221100554477668899aabbccddeeff");
    EXPECT_EQ(Guid::ToHexString(kSample, true), "0x33221100554477668899aabbccddeeff");
    EXPECT_EQ(Guid::ToHexString(GUID{}, false), std::string(32, '0'));
    EXPECT_EQ(Guid::ToHexString(GUID{}, true), "0x" + std::string(32, '0'));
}

TEST(Guid, EveryFormParsesToTheSameGuid)
{
    EXPECT_TRUE(Same(ParseOf(kSampleBraced), kSample));
    EXPECT_TRUE(Same(ParseOf(kSampleHex), kSample));
    EXPECT_TRUE(Same(ParseOf(L"0x33221100554477668899AABBCCDDEEFF"), kSample));
    EXPECT_TRUE(Same(ParseOf(L"{00112233-4455-6677-8899-aabbccddeeff}"), kSample));
    // Nothing after the eleventh field is examined, the closing brace included.
    EXPECT_TRUE(Same(ParseOf(L"{00112233-4455-6677-8899-AABBCCDDEEFF"), kSample));
    // A field may be shorter than its width.
    GUID small = ParseOf(L"{1-2-3-0405-060708090A0B}");
    GUID expected = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_TRUE(Same(small, expected));
}

TEST(Guid, NewGuidsRoundTripThroughBothForms)
{
    for (int i = 0; i < 20; ++i) {
        GUID guid = CreateGuid();
        StringW braced(Guid::ToString(guid));
        EXPECT_EQ(braced.size(), 38u);
        EXPECT_TRUE(Same(ParseOf(braced), guid));
        EXPECT_TRUE(Same(ParseOf(StringW(Guid::ToHexString(guid, false))), guid));
        EXPECT_TRUE(Same(ParseOf(StringW(Guid::ToHexString(guid, true))), guid));
    }
    std::string a = CreateGuidHexString();
    std::string b = CreateGuidHexString();
    EXPECT_TRUE(std::regex_match(a, std::regex("[0-9a-f]{32}"))) << a;
    EXPECT_NE(a, b);
}

TEST(Guid, MalformedTextsRaiseWithTheirMessages)
{
    std::wstring hex(kSampleHex);
    std::wstring shortHex = hex.substr(0, 31);
    EXPECT_EQ(ParseError(shortHex), L"Found invalid hex character in GUID string: " + shortHex);
    EXPECT_EQ(ParseError(hex + L"0"), L"Unable to parse GUID string: " + hex + L"0");
    EXPECT_EQ(ParseError(L"0X" + hex), L"Found invalid hex character in GUID string: 0X" + hex);
    EXPECT_EQ(ParseError(L""), L"Found invalid hex character in GUID string: ");
    EXPECT_EQ(ParseError(L"0x"), L"Found invalid hex character in GUID string: 0x");
    std::wstring gap = hex.substr(0, 10) + L"g" + hex.substr(11);
    EXPECT_EQ(ParseError(gap), L"Found invalid hex character in GUID string: " + gap);
    EXPECT_EQ(ParseError(L"{00112233-4455-6677-8899}"),
              L"Unable to parse GUID registry string: {00112233-4455-6677-8899}");
    EXPECT_EQ(ParseError(L"{zz}"), L"Unable to parse GUID registry string: {zz}");
}

TEST(Guid, FailedParsesKeepOrPartlyWriteTheTarget)
{
    GUID guid = kSample;
    EXPECT_THROW(Guid::Parse(L"{00112233-4455}", guid), CException);
    EXPECT_TRUE(Same(guid, kSample));
    // The hex form leaves the bytes it decoded before the bad pair.
    guid = GUID{};
    EXPECT_THROW(Guid::Parse(L"ffee!", guid), CException);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&guid)[0], 0xFF);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&guid)[1], 0xEE);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&guid)[2], 0x00);
}

TEST(Guid, ParseFailureIsReported)
{
    QzlTest::CLogCapture log;
    GUID guid{};
    EXPECT_THROW(Guid::Parse(L"nonsense", guid), CException);
    std::regex line("EXCEPTION: Throwing exception at Guid\\.cpp, Quenzal::Guid::Parse, line \\d+: "
                    "Found invalid hex character in GUID string: nonsense");
    EXPECT_TRUE(std::regex_search(log.Text(), line)) << log.Text();
}

TEST(Guid, AppendFormatAppendsNarrowText)
{
    std::string text = "a";
    AppendFormat(text, "%s-%d-%I64u", "b", 42, static_cast<unsigned long long>(1) << 40);
    EXPECT_EQ(text, "ab-42-1099511627776");
    AppendFormat(text, "%s", "");
    EXPECT_EQ(text, "ab-42-1099511627776");
    std::string big;
    AppendFormat(big, "%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(big, std::string(5000, 'x'));
}

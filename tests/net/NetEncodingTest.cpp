#include "CodecVectors.h"
#include "Exception.h"
#include "NetEncoding.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::Raised;
using NetTest::Bytes;
using NetTest::ReadVectors;
using NetTest::Text;

namespace {

// The text a reader of XML gets back from a run of CDATA sections.
std::string CdataContent(const std::string& sections)
{
    std::string content;
    size_t position = 0;
    while ((position = sections.find("<![CDATA[", position)) != std::string::npos) {
        position += 9;
        size_t end = sections.find("]]>", position);
        content += sections.substr(position, end - position);
        position = end + 3;
    }
    return content;
}

} // namespace

TEST(HexDecode, DecodesBothCases)
{
    EXPECT_EQ(HexDecode("0aFF"), std::string("\x0a\xff", 2));
    EXPECT_EQ(HexDecode(""), "");
    EXPECT_EQ(HexDecode("00"), std::string(1, '\0'));
}

TEST(HexDecode, RejectsOddLengthsAndForeignCharacters)
{
    QzlTest::CLogCapture log;
    for (const char* bad : {"0g", "abc", "0x", " 0", "g0"})
        EXPECT_EQ(Raised([&] { HexDecode(bad); }).GetDescription(), StringW(L"AtlHexDecode failed")) << bad;
}

TEST(Base64, Rfc4648VectorsInBothDirections)
{
    for (const auto& v : ReadVectors("net/data/base64-rfc4648.txt")) {
        EXPECT_EQ(Base64Encode(Bytes(v.input)), Bytes(v.expected)) << "line " << v.line;
        EXPECT_EQ(Base64Decode(Bytes(v.expected)), Bytes(v.input)) << "line " << v.line;
    }
}

TEST(Base64, DecoderIsLenientWithWhiteSpaceAndPadding)
{
    for (const auto& v : ReadVectors("net/data/base64-lenient.txt"))
        EXPECT_EQ(Base64Decode(Bytes(v.input)), Bytes(v.expected)) << "line " << v.line;
    EXPECT_EQ(Base64Decode(nullptr, 5), "");
    EXPECT_EQ(Base64Decode("QUJD", 0), "");
}

TEST(Base64, LinesOfTheRoundedLengthWithoutTrailingBreak)
{
    std::string text57 = Base64Encode(std::string(57, 'x'), 78);
    EXPECT_EQ(text57.size(), 76u);
    EXPECT_EQ(text57.find('\r'), std::string::npos);

    std::string text58 = Base64Encode(std::string(58, 'x'), 78);
    ASSERT_EQ(text58.size(), 82u);
    EXPECT_EQ(text58.substr(76, 2), "\r\n");
    EXPECT_EQ(text58.substr(80), "==");

    std::string text76 = Base64Encode(std::string(76, 'x'), 78);
    ASSERT_EQ(text76.size(), 76u + 2 + 28);
    EXPECT_EQ(text76.substr(76, 2), "\r\n");

    // Lengths below 4 cannot hold a group: one line.
    EXPECT_EQ(Base64Encode(std::string(100, 'x'), 3), Base64Encode(std::string(100, 'x')));
}

TEST(Base64, RoundTripsEveryLengthAndLineLength)
{
    std::string data;
    for (int i = 0; i < 300; ++i)
        data.push_back(static_cast<char>(i * 37 + 11));
    for (size_t lineLength : {0, 4, 8, 64, 76, 78}) {
        for (size_t n = 0; n <= data.size(); ++n) {
            std::string text = Base64Encode(data.data(), n, lineLength);
            size_t rounded = lineLength - lineLength % 4;
            size_t lineStart = 0;
            for (size_t br = text.find("\r\n"); br != std::string::npos; br = text.find("\r\n", lineStart)) {
                ASSERT_EQ(br - lineStart, rounded) << n << " " << lineLength;
                lineStart = br + 2;
            }
            ASSERT_LE(text.size() - lineStart, rounded == 0 ? text.size() : rounded);
            ASSERT_EQ(Base64Decode(text), data.substr(0, n)) << n << " " << lineLength;
        }
    }
}

TEST(Base64, HighBytesRaiseAndAreReported)
{
    QzlTest::CLogCapture log;
    for (const char* bad : {"QUJD\x80", "\xffQUJD", "QU\xc3\xa9JD", "QUJDREVG\x80REVG"}) {
        EXPECT_EQ(Raised([&] { Base64Decode(bad); }).GetDescription(),
                  StringW(L"Base64-encoded stream contains invalid characters"));
    }
    std::regex line(R"(EXCEPTION: Throwing exception at NetEncoding\.cpp, Quenzal::Net::Base64Decode, line \d+: )"
                    R"(Base64-encoded stream contains invalid characters)");
    EXPECT_TRUE(std::regex_search(log.Text(), line)) << log.Text();
}

TEST(Uudecode, DecodesBlocksWithEitherLineEnd)
{
    QzlTest::CLogCapture log;
    for (const auto& v : ReadVectors("net/data/uudecode.txt")) {
        std::string input = Bytes(v.input);
        EXPECT_EQ(Uudecode(input.data(), input.size()), Bytes(v.expected)) << "line " << v.line;
    }
}

TEST(Uudecode, ReportsMissingSignatureAndTruncation)
{
    {
        QzlTest::CLogCapture log;
        EXPECT_EQ(Uudecode("#0V%T\r\n`\r\n", 10), "");
        EXPECT_TRUE(log.Contains("ERROR: Uuencoded data does not start with valid signature")) << log.Text();
    }
    {
        QzlTest::CLogCapture log;
        EXPECT_EQ(Uudecode("begin 644 x\n", 12), "");
        EXPECT_TRUE(log.Contains("ERROR: Uuencoded data has been truncated or is invalid")) << log.Text();
    }
    EXPECT_EQ(Uudecode(nullptr, 10), "");
}

TEST(QuotedPrintable, DecodesRfc2045Vectors)
{
    for (const auto& v : ReadVectors("net/data/qp-decode-rfc2045.txt"))
        EXPECT_EQ(QuotedPrintableDecode(Bytes(v.input)), Bytes(v.expected)) << "line " << v.line;
}

TEST(QuotedPrintable, EncodesRfc2045Vectors)
{
    for (const auto& v : ReadVectors("net/data/qp-encode-rfc2045.txt"))
        EXPECT_EQ(QuotedPrintableEncode(Bytes(v.input)), Bytes(v.expected)) << "line " << v.line;
}

TEST(QuotedPrintable, EncodedLinesStayShortAndDecodeToTheInput)
{
    // Every byte value, runs of blanks and line breaks at awkward columns.
    std::string data;
    for (int round = 0; round < 40; ++round) {
        for (int i = 0; i < round * 3; ++i)
            data.push_back(static_cast<char>((round * 31 + i * 7) & 0xFF));
        data.append(round % 3 == 0 ? "  \r\n" : round % 3 == 1 ? "\t\n" : " ");
    }
    std::string encoded = QuotedPrintableEncode(data);
    size_t lineStart = 0;
    for (size_t br = encoded.find("\r\n"); br != std::string::npos; br = encoded.find("\r\n", lineStart)) {
        std::string line = encoded.substr(lineStart, br - lineStart);
        EXPECT_LE(line.size(), 76u) << line;
        EXPECT_TRUE(line.empty() || (line.back() != ' ' && line.back() != '\t')) << line;
        lineStart = br + 2;
    }
    // Line breaks come back as CR LF; nothing else changes.
    std::string expected;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            expected.append("\r\n");
            if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
        } else {
            expected.push_back(data[i]);
        }
    }
    EXPECT_EQ(QuotedPrintableDecode(encoded), expected);
}

TEST(EscapeXml, EscapesMarkupAndKeepsApostrophes)
{
    EXPECT_EQ(EscapeXml(std::string("a<b>&\"c'")), "a&lt;b&gt;&amp;&quot;c'");
    EXPECT_EQ(EscapeXml(std::string("x\0<y", 4)), "x");
    EXPECT_EQ(EscapeXml(StringW(L"<\x07\tq'\x1f\r\n\x00e9")), StringW(L"&lt;\tq'\r\n\x00e9"));
    EXPECT_EQ(EscapeXml(StringW(L"a\0<", 3)), StringW(L"a"));

    std::string narrow;
    EXPECT_TRUE(EscapeXmlChar('&', narrow));
    EXPECT_FALSE(EscapeXmlChar('\'', narrow));
    EXPECT_EQ(narrow, "&amp;");
    StringW wide;
    EXPECT_TRUE(EscapeXmlChar(L'>', wide));
    EXPECT_FALSE(EscapeXmlChar(L'a', wide));
    EXPECT_EQ(wide, StringW(L"&gt;"));
}

TEST(Cdata, SectionsGiveBackExactlyTheText)
{
    EXPECT_EQ(MakeCdataSection("a]]>b"), "<![CDATA[a]]]]><![CDATA[>b]]>");
    EXPECT_EQ(MakeCdataSection(""), "");
    for (const char* text : {"plain", "a]]>b", "]]>", "]]]>>", "x]]>]]>y]]", "]]>]]>]]>", "]", "]]"}) {
        std::string section = MakeCdataSection(text);
        EXPECT_EQ(CdataContent(section), text) << section;
        // Only the section's own terminator ends a section the reader sees.
        EXPECT_EQ(section.substr(section.size() - 3), "]]>");
    }
    std::string text = "1]]>2]]>3";
    EXPECT_EQ(EscapeCdataTerminators(text), 2u);
    EXPECT_EQ(CdataContent("<![CDATA[" + text + "]]>"), "1]]>2]]>3");
}

TEST(Rfc2047, DecodesRfcExamples)
{
    QzlTest::CLogCapture log;
    for (const auto& v : ReadVectors("net/data/rfc2047-words.txt"))
        EXPECT_EQ(DecodeRfc2047(Bytes(v.input)), Text(v.expected)) << "line " << v.line;
}

TEST(Rfc2047, LogsUnknownEncodingsAndCharsets)
{
    QzlTest::CLogCapture log;
    DecodeRfc2047("=?iso-8859-1?X?abc?=");
    DecodeRfc2047("=?x-unknown*de?Q?abc?=");
    EXPECT_TRUE(log.Contains("ERROR: Unrecognized RFC 2047 encoding used: X")) << log.Text();
    EXPECT_TRUE(log.Contains("ERROR: No Windows codepage found for charset: x-unknown\r\n")) << log.Text();
}

TEST(Rfc2047, WordsThatDoNotConvertStayAsRawText)
{
    QzlTest::CLogCapture log;
    // One byte cannot be UTF-16; the blanks joined to the group stay with it.
    EXPECT_EQ(DecodeRfc2047("x =?utf-16?Q?a?=  =?UTF-16?Q?bc?= y"),
              StringW(L"x =?utf-16?Q?a?=  =?UTF-16?Q?bc?= y"));
    EXPECT_EQ(DecodeRfc2047("=?utf-7?Q?+?="), StringW(L"=?utf-7?Q?+?="));
}

TEST(Rfc2047, HighBytesInsideBWordsRaise)
{
    QzlTest::CLogCapture log;
    EXPECT_EQ(Raised([] { DecodeRfc2047("=?utf-8?B?w6\xe9k=?="); }).GetDescription(),
              StringW(L"Base64-encoded stream contains invalid characters"));
}

TEST(Rfc2047, EncodesOneBWordInTheCharsetUsed)
{
    EXPECT_EQ(EncodeRfc2047(L"plain ascii"), "plain ascii");
    EXPECT_EQ(EncodeRfc2047(L"caf\x00e9", 1252), "=?iso-8859-1?B?Y2Fm6Q==?=");
    EXPECT_EQ(EncodeRfc2047(L"caf\x00e9", 65001), "=?utf-8?B?Y2Fmw6k=?=");
    for (const wchar_t* text : {L"\x65e5\x672c\x8a9e", L"Gr\x00fc\x00df Gott", L"\x20ac 5"})
        EXPECT_EQ(DecodeRfc2047(EncodeRfc2047(text, 65001)), StringW(text));
}

TEST(Rfc2231, DecodesRfcExamples)
{
    for (const auto& v : ReadVectors("net/data/rfc2231-values.txt"))
        EXPECT_EQ(DecodeRfc2231(Bytes(v.input)), Text(v.expected)) << "line " << v.line;
}

TEST(Rfc2231, ReportsTheCodePageOrKeepsUnknownValues)
{
    uint32_t codePage = 7;
    EXPECT_EQ(DecodeRfc2231("iso-8859-2''%B1", &codePage), StringW(L"\x0105"));
    EXPECT_EQ(codePage, 28592u);

    QzlTest::CLogCapture log;
    codePage = 7;
    EXPECT_EQ(DecodeRfc2231("x-nothing'en'a%20b", &codePage), StringW(L"x-nothing'en'a%20b"));
    EXPECT_EQ(codePage, 7u);
    EXPECT_TRUE(log.Contains("No Windows codepage found for charset: x-nothing"));
}

TEST(Rfc2231, EncodesLettersAndDigitsOnlyAsThemselves)
{
    EXPECT_EQ(EncodeRfc2231(L"", 65001), "");
    EXPECT_EQ(EncodeRfc2231(L"a b.txt", 65001), "a b.txt");
    EXPECT_EQ(EncodeRfc2231(L"caf\x00e9 1.txt", 65001), "utf-8''caf%C3%A9%201%2Etxt");
    EXPECT_EQ(EncodeRfc2231(L"caf\x00e9", 1252), "iso-8859-1''caf%E9");
    for (const wchar_t* text : {L"\x65e5\x672c\x8a9e.doc", L"\x00e9t\x00e9 100%"})
        EXPECT_EQ(DecodeRfc2231(EncodeRfc2231(text, 65001)), StringW(text));
}

TEST(PercentCoding, UrlCodingFollowsTheUnreservedSet)
{
    std::string all;
    for (int ch = 1; ch < 256; ++ch)
        all.push_back(static_cast<char>(ch));
    std::string encoded = UrlEncode(all);
    std::string kept;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%')
            i += 2;
        else
            kept.push_back(encoded[i]);
    }
    EXPECT_EQ(kept, "-.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz~");
    EXPECT_EQ(UrlDecode(encoded), all);
    EXPECT_EQ(UrlEncode("a b/c"), "a%20b%2Fc");
    EXPECT_EQ(UrlEncode(std::string("a\0b", 3)), "a");
    EXPECT_EQ(UrlEncode("\xe9"), "%E9");

    EXPECT_EQ(UrlDecode("a+b%2fc%2F"), "a b/c/");
    EXPECT_EQ(UrlDecode("100%"), "100%");
    EXPECT_EQ(UrlDecode("%4"), "%4");
    EXPECT_EQ(UrlDecode(std::string("a\0%41", 5)), "a");
}

TEST(PercentCoding, DecodesToTextInTheCodePage)
{
    EXPECT_EQ(PercentDecodeToUnicode("caf%C3%A9+%", 65001), StringW(L"caf\x00e9+%"));
    EXPECT_EQ(PercentDecodeToUnicode("caf%e9", 28591), StringW(L"caf\x00e9"));
    EXPECT_EQ(PercentDecodeToUnicode("", 65001), StringW());
    EXPECT_EQ(PercentDecodeToUnicode(std::string("ab\0%41", 6), 65001), StringW(L"ab"));
}

TEST(GetLastThreeChars, ShortTextsComeBackWhole)
{
    EXPECT_EQ(GetLastThreeChars("abcdef"), "def");
    EXPECT_EQ(GetLastThreeChars("ab"), "ab");
    EXPECT_EQ(GetLastThreeChars(""), "");
}

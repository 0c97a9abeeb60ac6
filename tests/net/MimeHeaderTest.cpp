// Header objects, the tokenizer, RFC 2231 parameters and header blocks read
// and written back.

#include "Charsets.h"
#include "CodecVectors.h"
#include "Exception.h"
#include "MemoryStream.h"
#include "MimeHeaderMap.h"
#include "NameTables.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;
using NetTest::ReadData;

namespace {

std::string FormatBlock(const CMimeHeaderMap& headers, bool fold = false, uint32_t codePage = kNoCodePage)
{
    CMemoryStream stream;
    headers.FormatHeaders(stream, codePage, fold);
    return stream.GetData();
}

size_t Parse(const std::string& block, CMimeHeaderMap& headers)
{
    return ParseHeaderBlock(block.data(), block.size(), headers, GetMimeHeaderFactory());
}

std::shared_ptr<CMimeHeader> FromText(const char* name, const std::string& value)
{
    return CreateHeaderFromText(name, value.data(), value.size(), GetMimeHeaderFactory());
}

template <class T>
std::shared_ptr<T> Find(const CMimeHeaderMap& headers, const char* name)
{
    auto header = std::dynamic_pointer_cast<T>(headers.FindHeader(name));
    EXPECT_TRUE(header) << name;
    return header;
}

std::string Describe(const MimeTokens& tokens)
{
    std::string text;
    for (const MimeToken& token : tokens)
        text += (token.IsWord() ? "W[" : "S[") + token.text + "]";
    return text;
}

} // namespace

TEST(MimeHeaderBlock, BlocksAreWrittenBackAsRead)
{
    for (const char* path : {"net/data/mime/headers-simple.txt", "net/data/mime/headers-folded.txt",
                             "net/data/mime/headers-order.txt", "net/data/http/response-headers.txt"}) {
        QzlTest::CLogCapture log;
        const std::string block = ReadData(path);
        CMimeHeaderMap headers;
        EXPECT_EQ(Parse(block, headers), block.size()) << path;
        EXPECT_EQ(FormatBlock(headers) + "\r\n", block) << path;
        // Orders count the headers as read.
        std::vector<int32_t> orders;
        for (const auto& entry : headers.GetHeaders())
            orders.push_back(entry.second->GetOrder());
        std::sort(orders.begin(), orders.end());
        for (size_t i = 0; i < orders.size(); ++i)
            EXPECT_EQ(orders[i], static_cast<int32_t>(i)) << path;
        EXPECT_FALSE(log.Contains("Unable to parse")) << path << log.Text();
    }
}

TEST(MimeHeaderBlock, TypedValuesOfAFoldedBlock)
{
    CMimeHeaderMap headers;
    Parse(ReadData("net/data/mime/headers-folded.txt"), headers);
    auto contentType = Find<CContentTypeHeader>(headers, "content-type");
    ASSERT_TRUE(contentType);
    EXPECT_EQ(contentType->GetMediaType(), L"multipart/mixed");
    EXPECT_EQ(contentType->GetParameterValue(MimeParameterBoundary), L"simple boundary");
    EXPECT_EQ(contentType->GetParameterValue(MimeParameterCharset), L"us-ascii");
    EXPECT_EQ(headers.GetContentTypeId(), ContentTypeMultipartMixed);
    EXPECT_EQ(headers.GetHeaderValue("Subject").GetStringW(), L"a b");
    EXPECT_EQ(headers.GetHeaderValue("X-Tab").GetStringW(), L"value with tabs");
    EXPECT_EQ(headers.GetHeaderValue("Received").GetStringW(),
              L"from a.example by b.example; Tue, 5 Mar 2013 10:20:00 +0000");
}

TEST(MimeHeaderBlock, HeadersOfOneNameKeepTheirOrder)
{
    CMimeHeaderMap headers;
    Parse(ReadData("net/data/mime/headers-order.txt"), headers);
    auto first = headers.FindHeader("RECEIVED");
    ASSERT_TRUE(first);
    auto second = headers.FindHeader("Received", first.get());
    ASSERT_TRUE(second);
    EXPECT_EQ(first->GetValue().GetStringW(), L"one");
    EXPECT_EQ(second->GetValue().GetStringW(), L"two");
    EXPECT_FALSE(headers.FindHeader("Received", second.get()));
    EXPECT_FALSE(headers.FindHeader(nullptr));

    EXPECT_EQ(Find<CWordMimeHeader>(headers, "Mime-Version")->GetText(), L"1.0");
    EXPECT_EQ(Find<CWordMimeHeader>(headers, "Content-Transfer-Encoding")->GetText(), L"base64");
    EXPECT_EQ(Find<CMessageIdMimeHeader>(headers, "Content-ID")->GetText(), L"<part1@example.org>");
    auto disposition = Find<CContentDispositionHeader>(headers, "Content-Disposition");
    EXPECT_EQ(disposition->GetType(), ContentDispositionAttachment);
    EXPECT_EQ(disposition->GetFileName(), L"a \"b\".txt");
    EXPECT_EQ(headers.GetHeaderValue("Subject").GetStringW(), L"caf\u00e9");
}

TEST(MimeHeaderBlock, FoldingWithBlankOrTabUnfoldsToOneBlank)
{
    for (const char* block : {"Subject: a\r\n b\r\n\r\n", "Subject: a\r\n\tb\r\n\r\n", "Subject: a\n b\n\n"}) {
        CMimeHeaderMap headers;
        Parse(block, headers);
        EXPECT_EQ(headers.GetHeaderValue("Subject").GetStringW(), L"a b") << block;
    }
}

TEST(MimeHeaderBlock, UnusableLines)
{
    {
        QzlTest::CLogCapture log;
        CMimeHeaderMap headers;
        Parse("Microsoft Mail Internet Headers Version 2.0\r\nA: 1\r\n\r\n", headers);
        EXPECT_EQ(headers.GetHeaderValue("A").GetStringW(), L"1");
        EXPECT_EQ(headers.GetHeaders().size(), 1u);
        EXPECT_FALSE(log.Contains("Unable to parse")) << log.Text();
    }
    {
        // Dropped without a message, but counted: nothing usable is left.
        QzlTest::CLogCapture log;
        CMimeHeaderMap headers;
        Parse("X-Empty:\r\n\r\n", headers);
        EXPECT_FALSE(headers.HasHeaders());
        EXPECT_FALSE(log.Contains("Unable to parse MIME header"));
        EXPECT_TRUE(log.Contains("No parsable headers found")) << log.Text();
    }
    {
        QzlTest::CLogCapture log;
        CMimeHeaderMap headers;
        Parse("this is no header\r\nA: 1\r\n\r\n", headers);
        EXPECT_TRUE(log.Contains("Unable to parse MIME header: this is no header")) << log.Text();
        EXPECT_EQ(LoggableHeaderValue("X", std::string(255, 'x') + "\xC3\xA9" + std::string(10, 'y')),
                  std::string(255, 'x') + "... [12 more bytes]");
        EXPECT_FALSE(log.Contains("No parsable headers found"));
        EXPECT_EQ(headers.GetHeaders().size(), 1u);
    }
}

TEST(MimeHeaderBlock, EndOfTheBlock)
{
    {
        QzlTest::CLogCapture log;
        CMimeHeaderMap headers;
        const std::string block = "A: 1\r\nB: 2";
        EXPECT_EQ(Parse(block, headers), block.size());
        EXPECT_TRUE(headers.FindHeader("A"));
        EXPECT_FALSE(headers.FindHeader("B"));
        EXPECT_TRUE(log.Contains("Headers not properly terminated"));
    }
    {
        QzlTest::CLogCapture log;
        CMimeHeaderMap headers;
        const std::string block = "A: 1\r\nB: 2\r\n";
        EXPECT_EQ(Parse(block, headers), block.size());
        EXPECT_TRUE(headers.FindHeader("B"));
        EXPECT_FALSE(log.Contains("Headers not properly terminated"));
    }
    {
        CMimeHeaderMap headers;
        EXPECT_EQ(Parse("A: 1\n\nbody\r\n", headers), 6u);
        EXPECT_EQ(Parse("\r\nbody", headers), 2u);
        EXPECT_FALSE(headers.HasHeaders());
    }
}

TEST(MimeHeaderBlock, HeadersMadeByCodeComeFirstInByteOrder)
{
    CMimeHeaderMap headers;
    Parse("Z-Read: 1\r\nA-Read: 2\r\n\r\n", headers);
    headers.CreateHeader("b-made")->SetValue(Value(std::wstring(L"3")));
    headers.CreateHeader("C-made")->SetValue(Value(std::wstring(L"4")));
    headers.CreateHeader("Empty");
    EXPECT_EQ(FormatBlock(headers), "C-made: 4\r\nb-made: 3\r\nZ-Read: 1\r\nA-Read: 2\r\n");
    EXPECT_EQ(headers.FindHeader("C-MADE")->GetOrder(), -1);
}

TEST(MimeHeaderBlock, ValuesWithLineBreaksAreRefused)
{
    QzlTest::CLogCapture log;
    std::vector<std::function<void(CMimeHeaderMap&)>> setters = {
        [](CMimeHeaderMap& h) { h.SetHeaderValue("X-Test", Value(std::wstring(L"a\r\nInjected: b"))); },
        [](CMimeHeaderMap& h) { h.SetHeaderValue("X-Test", Value(std::wstring(L"a\nInjected: b"))); },
        [](CMimeHeaderMap& h) { h.SetHeaderValue("Content-ID", Value(std::wstring(L"<a>\rInjected: b"))); },
        [](CMimeHeaderMap& h) { h.GetContentTypeHeader()->SetMediaType(L"text/plain\r\nInjected: b"); },
        [](CMimeHeaderMap& h) {
            h.GetContentTypeHeader()->SetParameterValue(MimeParameterCharset, L"utf-8\"\r\nInjected: b");
        },
        [](CMimeHeaderMap& h) {
            auto header = h.GetContentDispositionHeader();
            header->SetType(ContentDispositionFormData);
            header->SetNameParameter(L"field\nInjected: b");
        },
    };
    for (auto& set : setters) {
        CMimeHeaderMap headers;
        set(headers);
        CMemoryStream stream;
        try {
            headers.FormatHeaders(stream, kNoCodePage, false);
            ADD_FAILURE() << stream.GetData();
        } catch (const CException& e) {
            EXPECT_NE(e.GetDescription().find(L"Line break in the value of header "), std::wstring::npos);
        }
        EXPECT_EQ(stream.GetData().find("Injected"), std::string::npos);
    }
    EXPECT_TRUE(log.Contains("Throwing exception at MimeHeader.cpp, Quenzal::Net::RefuseLineBreaks, line "));
}

TEST(MimeHeaderTokenizer, QuotesCommentsAndSpecials)
{
    CWordMimeHeader word("Mime-Version");
    const std::string text = "a (x \\) (nested) y) \"q \\\"b\\\\\" c.d<e@f> [g\\]h] \"\"";
    EXPECT_EQ(Describe(word.Tokenize(text.data(), text.size())),
              "W[a]W[q \"b\\]W[c]S[.]W[d]S[<]W[e]S[@]W[f]S[>]S[[]W[gh]S[]]");
    CContentTypeHeader contentType;
    const std::string parameters = "a/b.c; x=\"1;2\"";
    EXPECT_EQ(Describe(contentType.Tokenize(parameters.data(), parameters.size())),
              "W[a]S[/]W[b.c]S[;]W[x]S[=]W[1;2]");
}

TEST(ContentTypeHeader, Rfc2231AndEncodedParameters)
{
    for (const NetTest::Vector& vector : NetTest::ReadVectors("net/data/mime/rfc2231-parameters.txt")) {
        QzlTest::CLogCapture log;
        auto header = std::dynamic_pointer_cast<CContentTypeHeader>(FromText("Content-Type", vector.input));
        ASSERT_TRUE(header) << vector.line;
        const size_t equals = vector.expected.find('=');
        const StringW name(vector.expected.substr(0, equals));
        EXPECT_EQ(header->GetParameterValue(GetMimeParameterTable().LookupValue(name)),
                  NetTest::Text(vector.expected.substr(equals + 1)))
            << "line " << vector.line;
        EXPECT_FALSE(log.Contains("Unable to parse")) << vector.line << log.Text();
    }
}

TEST(ContentTypeHeader, ParametersAreQuotedEscapedAndReadBack)
{
    CContentTypeHeader header;
    header.SetMediaType(L"text/plain");
    header.SetParameterValue(MimeParameterName, L"a \"b\" \\c");
    header.SetParameterValue(MimeParameterCharset, L"utf-8");
    const std::string line = header.Format(kNoCodePage, false);
    EXPECT_EQ(line, "Content-Type: text/plain; charset=\"utf-8\"; name=\"a \\\"b\\\" \\\\c\"");

    auto parsed = std::dynamic_pointer_cast<CContentTypeHeader>(FromText("Content-Type", line.substr(14)));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->GetParameterValue(MimeParameterName), L"a \"b\" \\c");

    // A name outside ASCII goes as an encoded word in the code page given.
    header.SetParameterValue(MimeParameterName, L"caf\u00e9");
    const std::string encoded = header.FormatValue(CP_UTF8, false);
    EXPECT_EQ(encoded, "text/plain; charset=\"utf-8\"; name=\"=?utf-8?B?Y2Fmw6k=?=\"");
    parsed = std::dynamic_pointer_cast<CContentTypeHeader>(FromText("Content-Type", encoded));
    EXPECT_EQ(parsed->GetParameterValue(MimeParameterName), L"caf\u00e9");
}

TEST(ContentTypeHeader, FoldsBeforeTheParameterThatReachesColumn79)
{
    CContentTypeHeader header;
    header.SetMediaType(L"multipart/form-data");
    header.SetParameterValue(MimeParameterBoundary, std::wstring(30, L'x'));
    header.SetParameterValue(MimeParameterCharset, L"utf-8");
    const std::string boundary = "boundary=\"" + std::string(30, 'x') + "\"";
    EXPECT_EQ(header.FormatValue(kNoCodePage, false), "multipart/form-data; " + boundary + "; charset=\"utf-8\"");
    const std::string folded = header.FormatValue(kNoCodePage, true);
    EXPECT_EQ(folded, "multipart/form-data; " + boundary + "; \r\n\tcharset=\"utf-8\"");

    CMimeHeaderMap headers;
    const std::string block = "Content-Type: " + folded + "\r\n\r\n";
    Parse(block, headers);
    EXPECT_EQ(FormatBlock(headers) + "\r\n", block);
    auto parsed = Find<CContentTypeHeader>(headers, "Content-Type");
    EXPECT_EQ(parsed->GetParameterValue(MimeParameterCharset), L"utf-8");
    EXPECT_EQ(parsed->GetParameterValue(MimeParameterBoundary), std::wstring(30, L'x'));
}

TEST(ContentTypeHeader, EmptyAndIncompleteValues)
{
    CContentTypeHeader header;
    EXPECT_EQ(header.Format(kNoCodePage, false), "");
    header.SetParameterValue(MimeParameterCharset, L"utf-8");
    EXPECT_EQ(header.FormatValue(kNoCodePage, false), "text/plain; charset=\"utf-8\"");

    QzlTest::CLogCapture log;
    auto fallback = FromText("Content-Type", "text");
    ASSERT_TRUE(fallback);
    EXPECT_TRUE(std::dynamic_pointer_cast<CUnstructuredMimeHeader>(fallback));
    EXPECT_EQ(fallback->GetValue().GetStringW(), L"text");
    EXPECT_TRUE(log.Contains("Unable to parse header 'Content-Type': text")) << log.Text();
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Throwing exception at MimeHeader\\.cpp, "
                                                         "Quenzal::Net::CContentTypeHeader::ParseTokens, "
                                                         "line [0-9]+: Unable to parse MIME header: Content-Type")));
}

TEST(ContentDispositionHeader, ParsedAndFormatted)
{
    auto header = std::dynamic_pointer_cast<CContentDispositionHeader>(
        CreateHeaderFromText("Content-Disposition", nullptr, 0, GetMimeHeaderFactory()));
    EXPECT_FALSE(header);

    const std::string text =
        "attachment; filename=\"report 1.pdf\"; creation-date=\"Wed, 12 Feb 1997 16:29:51 -0500\"; size=123";
    header = std::dynamic_pointer_cast<CContentDispositionHeader>(FromText("Content-Disposition", text));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->GetType(), ContentDispositionAttachment);
    EXPECT_EQ(header->GetFileName(), L"report 1.pdf");
    EXPECT_FALSE(header->GetCreationDate().IsNull());
    EXPECT_TRUE(header->GetModificationDate().IsNull());

    // Written back in the fixed order, read back to the same values.
    const std::string written = header->FormatValue(kNoCodePage, false);
    EXPECT_EQ(written.rfind("attachment; filename=\"report 1.pdf\"; creation-date=\"", 0), 0u) << written;
    auto again = std::dynamic_pointer_cast<CContentDispositionHeader>(FromText("Content-Disposition", written));
    ASSERT_TRUE(again);
    EXPECT_NEAR(again->GetCreationDate().ToUtc().GetDate(), header->GetCreationDate().ToUtc().GetDate(), 1e-6);

    // Names outside ASCII: the extended form for the field name, an encoded word for the file name.
    CContentDispositionHeader formData;
    formData.SetType(ContentDispositionFormData);
    formData.SetNameParameter(L"\u20ac field");
    formData.SetFileName(L"caf\u00e9.txt");
    const std::string value = formData.FormatValue(CP_UTF8, false);
    EXPECT_EQ(value, "form-data; name*=utf-8''%E2%82%AC%20field; filename=\"=?utf-8?B?Y2Fmw6kudHh0?=\"");
    again = std::dynamic_pointer_cast<CContentDispositionHeader>(FromText("Content-Disposition", value));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->GetNameParameter(), L"\u20ac field");
    EXPECT_EQ(again->GetFileName(), L"caf\u00e9.txt");

    formData.SetType(-1);
    EXPECT_EQ(formData.Format(kNoCodePage, false), "");
}

TEST(DateMimeHeader, InternetDates)
{
    auto parse = [](const std::string& text) {
        CDateMimeHeader header("Date");
        header.Parse(text.data(), text.size());
        return header.GetDate();
    };
    DateTime expected;
    ASSERT_TRUE(expected.SetDateTime(2013, 3, 5, 10, 20, 0, 0));
    expected.ParseTimezone(L"GMT");
    EXPECT_EQ(parse("Tue, 5 Mar 2013 10:20 GMT"), expected);
    EXPECT_EQ(parse("5 mar 2013 10:20:00 GMT (comment)"), expected);

    DateTime january;
    ASSERT_TRUE(january.SetDateTime(2013, 1, 5, 10, 20, 30, 0));
    EXPECT_EQ(parse("5 J 2013 10:20:30"), january);
    DateTime june;
    ASSERT_TRUE(june.SetDateTime(2013, 6, 5, 10, 20, 30, 0));
    EXPECT_EQ(parse("5 ju 2013 10:20:30"), june);

    QzlTest::CLogCapture log;
    for (const char* bad : {"5 Xyz 2013 10:20 GMT", "5 Mar 2013 GMT", "32 Mar 2013 10:20"}) {
        try {
            parse(bad);
            ADD_FAILURE() << bad;
        } catch (const CException& e) {
            EXPECT_EQ(e.GetDescription(), L"Unable to parse MIME header: Date");
        }
    }
    EXPECT_TRUE(log.Contains("Quenzal::Net::CDateMimeHeader::ParseTokens"));
}

TEST(MimeHeaderValues, UnstructuredAndStructuredValues)
{
    CUnstructuredMimeHeader subject("Subject");
    subject.SetValue(Value(std::wstring(L"caf\u00e9")));
    EXPECT_EQ(subject.Format(CP_UTF8, false), "Subject: =?utf-8?B?Y2Fmw6k=?=");
    subject.SetValue(Value(std::wstring(L"plain")));
    EXPECT_EQ(subject.Format(CP_UTF8, false), "Subject: plain");

    // Bytes 0x80-0x9F of raw 8-bit text survive.
    const std::string raw = "\x80 \xe9";
    subject.Parse(raw.data(), raw.size());
    EXPECT_EQ(subject.GetText(), StringW::FromAnsi(raw, CP_ACP));

    QzlTest::CLogCapture log;
    CContentTypeHeader contentType;
    EXPECT_THROW(contentType.GetValue(), CException);
    EXPECT_THROW(contentType.SetValue(Value(std::wstring(L"x"))), CException);
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Throwing exception at MimeHeader\\.cpp, "
                                                         "Quenzal::Net::CStructuredMimeHeader::GetValue, line "
                                                         "[0-9]+: Not supported")));

    // A parsed header is written as read, even after a new value.
    auto parsed = FromText("X-Read", "  original  ");
    parsed->SetRawLine("X-Read: original");
    parsed->SetValue(Value(std::wstring(L"changed")));
    EXPECT_EQ(parsed->Format(kNoCodePage, false), "X-Read: original");
}

TEST(MimeHeaderContainer, TypedHeadersAndValues)
{
    CMimeHeaderMap headers;
    EXPECT_EQ(headers.GetContentTypeId(), ContentTypeTextPlain);
    EXPECT_TRUE(headers.GetHeaderValue("Missing").IsValueNull());
    headers.SetHeaderValue("X-Nothing", Value());
    EXPECT_FALSE(headers.HasHeaders());

    // An unstructured Content-Type gives way to a typed one.
    headers.AddHeader(std::make_shared<CUnstructuredMimeHeader>("Content-Type"));
    EXPECT_EQ(headers.GetContentTypeText(), L"");
    auto typed = headers.GetContentTypeHeader();
    EXPECT_EQ(headers.FindHeader("Content-Type"), typed);
    EXPECT_EQ(headers.GetHeaders().count("content-type"), 1u);

    typed->SetParameterValue(MimeParameterCharset, L"utf-8");
    headers.SetContentType(ContentTypeTextHtml);
    EXPECT_EQ(headers.GetContentTypeText(), L"text/html");
    EXPECT_EQ(headers.GetContentTypeId(), ContentTypeTextHtml);
    EXPECT_EQ(typed->GetParameterValue(MimeParameterCharset), L"utf-8");

    headers.SetHeaderValue("X-One", Value(std::wstring(L"1")));
    headers.SetHeaderValue("X-One", Value(std::wstring(L"2")));
    EXPECT_EQ(headers.GetHeaders().count("X-One"), 1u);
    EXPECT_EQ(headers.GetHeaderValue("x-one").GetStringW(), L"2");
    headers.RemoveHeaders("X-ONE");
    EXPECT_FALSE(headers.FindHeader("X-One"));
    EXPECT_TRUE(std::dynamic_pointer_cast<CContentDispositionHeader>(headers.CreateHeader("content-disposition")));
    EXPECT_EQ(headers.FindHeader("Content-Disposition")->GetName(), "Content-Disposition");
    headers.ClearHeaders();
    EXPECT_FALSE(headers.HasHeaders());
}

#include "DateTime.h"
#include "Exception.h"
#include "TestSupport.h"
#include "Value.h"
#include "XmlGenerator.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlTest::Raised;
using QzlTest::CLogCapture;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";

Value Text(const wchar_t* text)
{
    return Value(std::wstring(text));
}

bool HasReport(const CLogCapture& log, const char* function, const char* description)
{
    std::regex line(std::string("EXCEPTION: Throwing exception at XmlGenerator\\.cpp, ") + function +
                    ", line \\d+: " + description);
    return std::regex_search(log.Text(), line);
}

} // namespace

TEST(XmlGenerator, WritesOneElementPerLineAndCutsOutEmptiedElements)
{
    CXmlGenerator xml;
    xml.StartElement(L"request");
    xml.AddElement(L"name", Text(L"a&b"));
    xml.StartElement(L"options");
    xml.EndElement();
    xml.AddEmptyElement(L"flag", {{L"on", L"1"}});
    xml.EndElement();
    EXPECT_EQ(xml.Format(), kDeclaration +
                                "<request>\r\n"
                                "\t<name>a&amp;b</name>\r\n"
                                "\t<flag on=\"1\"/>\r\n"
                                "</request>\r\n");
}

TEST(XmlGenerator, KeepsAnEmptyOutermostElementOfADocumentButNotOfAFragment)
{
    CXmlGenerator document;
    document.StartElement(L"root");
    document.EndElement();
    EXPECT_EQ(document.Format(), kDeclaration + "<root>\r\n</root>\r\n");

    CXmlFragment fragment;
    fragment.StartElement(L"root");
    fragment.EndElement();
    EXPECT_EQ(fragment.Format(), "");

    CXmlGenerator target;
    target.StartElement(L"root");
    target.AddElement(L"x", Text(L"1"));
    target += fragment;
    EXPECT_EQ(target.CloseAndFormat(), kDeclaration + "<root>\r\n\t<x>1</x>\r\n</root>\r\n");
}

TEST(XmlGenerator, DroppingEmptyElementsCascadesUpToTheOutermost)
{
    auto build = [](CXmlGenerator& xml) {
        xml.StartElement(L"a");
        xml.StartElement(L"b");
        xml.StartElement(L"c");
        xml.AddElement(L"null", Value());
        xml.AddElement(L"empty", Text(L""));
        xml.AddElement(L"blanks", Text(L"  \t "));
        xml.AddCdataElement(L"cdata", L"   ");
        xml.StartElement(L"d");
        xml.EndElement();
        xml.EndElement();
        xml.EndElement();
        xml.EndElement();
    };
    CXmlGenerator document;
    build(document);
    EXPECT_EQ(document.Format(), kDeclaration + "<a>\r\n</a>\r\n");
    CXmlFragment fragment;
    build(fragment);
    EXPECT_EQ(fragment.Format(), "");

    // A sibling with content keeps its parents, the emptied ones still go.
    CXmlGenerator mixed;
    mixed.StartElement(L"a");
    mixed.StartElement(L"b");
    mixed.StartElement(L"empty");
    mixed.EndElement();
    mixed.StartElement(L"c");
    mixed.AddElement(L"n", Value(42));
    mixed.EndElement();
    mixed.EndElement();
    mixed.EndElement();
    EXPECT_EQ(mixed.Format(), kDeclaration +
                                  "<a>\r\n"
                                  "\t<b>\r\n"
                                  "\t\t<c>\r\n"
                                  "\t\t\t<n>42</n>\r\n"
                                  "\t\t</c>\r\n"
                                  "\t</b>\r\n"
                                  "</a>\r\n");
}

TEST(XmlGenerator, EscapesContentAndAttributeValuesAndSortsAttributes)
{
    CXmlFragment xml;
    xml.AddElement(L"t", Text(L"  x < y  "));
    xml.AddEmptyElement(L"q", {{L"v", L"say \"hi\" & <go>"}});
    XmlAttributes inserted;
    inserted[L"b"] = L"2";
    inserted[L"a"] = L"1";
    xml.AddEmptyElement(L"e", inserted);
    XmlAttributes mixedCase;
    mixedCase[L"B"] = L"2";
    mixedCase[L"a"] = L"1";
    mixedCase[L"b"] = L"3"; // the same attribute as B
    xml.AddEmptyElement(L"f", mixedCase);
    // Control characters other than TAB, LF and CR are dropped from content.
    xml.AddElement(L"c", Text(L"a\x01" L"b\tc"));
    xml.AddCdataElement(L"d", L" one ]]> two ");
    EXPECT_EQ(xml.Format(), "<t>x &lt; y</t>\r\n"
                            "<q v=\"say &quot;hi&quot; &amp; &lt;go&gt;\"/>\r\n"
                            "<e a=\"1\" b=\"2\"/>\r\n"
                            "<f a=\"1\" B=\"3\"/>\r\n"
                            "<c>ab\tc</c>\r\n"
                            "<d><![CDATA[one ]]]]><![CDATA[> two]]></d>\r\n");
}

TEST(XmlGenerator, WritesTextAsUtf8)
{
    CXmlFragment xml;
    xml.AddElement(L"n\x00E4me", Text(L"gr\x00FC\x00DF \x20AC"), {{L"k", L"\x00E9"}});
    EXPECT_EQ(xml.Format(), "<n\xC3\xA4me k=\"\xC3\xA9\">gr\xC3\xBC\xC3\x9F \xE2\x82\xAC</n\xC3\xA4me>\r\n");
}

TEST(XmlGenerator, WritesGuidsDatesAndNumbersAndRefusesBytes)
{
    CXmlFragment xml;
    Value guid;
    guid.MakeGuid() = GUID{0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
    xml.AddElement(L"id", guid);
    Value zeroGuid;
    zeroGuid.MakeGuid() = GUID{};
    xml.AddElement(L"none", zeroGuid);
    Value date;
    ASSERT_TRUE(date.MakeDateTime().SetDateTime(2026, 12, 6, 14, 6, 18, 0));
    date.MakeDateTime().SetUtc(true);
    xml.AddElement(L"when", date);
    Value local;
    local.MakeDateTime() = date.MakeDateTime().ToLocal();
    xml.AddElement(L"local", local);
    Value number;
    number.SetInt32(-7);
    xml.AddElement(L"n", number);
    EXPECT_EQ(xml.Format(), "<id>{00112233-4455-6677-8899-AABBCCDDEEFF}</id>\r\n"
                            "<when>2026-12-06T14:06:18Z</when>\r\n"
                            "<local>2026-12-06T14:06:18Z</local>\r\n"
                            "<n>-7</n>\r\n");

    CLogCapture log;
    std::string before = xml.Format();
    EXPECT_EQ(Raised([&] { xml.AddElement(L"b", Value::FromBinary(std::string("\x01\x02", 2))); }).GetDescription(),
              L"Unexpected case");
    EXPECT_TRUE(HasReport(log, "Quenzal::Net::CXmlGenerator::AddElement", "Unexpected case"));
    EXPECT_EQ(xml.Format(), before);
}

TEST(XmlGenerator, RaisesOnUnbalancedElementsWithoutChangingTheText)
{
    CLogCapture log;
    CXmlGenerator document;
    document.StartElement(L"root");
    document.AddElement(L"x", Text(L"1"));
    EXPECT_EQ(Raised([&] { document.Format(); }).GetDescription(), L"Unterminated element in  XML generation");
    EXPECT_TRUE(HasReport(log, "Quenzal::Net::CXmlGenerator::Format", "Unterminated element in  XML generation"));
    std::string closed = document.CloseAndFormat();
    EXPECT_EQ(closed, kDeclaration + "<root>\r\n\t<x>1</x>\r\n</root>\r\n");
    EXPECT_EQ(Raised([&] { document.EndElement(); }).GetDescription(), L"Too many XML element terminations");
    EXPECT_TRUE(HasReport(log, "Quenzal::Net::CXmlGenerator::EndElement", "Too many XML element terminations"));
    EXPECT_EQ(document.Format(), closed);

    CXmlFragment fragment;
    EXPECT_EQ(Raised([&] { fragment.EndElement(); }).GetDescription(), L"Too many XML element terminations");
    EXPECT_TRUE(HasReport(log, "Quenzal::Net::CXmlFragment::EndElement", "Too many XML element terminations"));
    EXPECT_EQ(fragment.CloseAndFormat(), "");
}

TEST(XmlGenerator, CloseAndFormatClosesTheFragmentWay)
{
    CXmlFragment fragment;
    fragment.StartElement(L"a");
    fragment.StartElement(L"b");
    fragment.StartElement(L"c");
    fragment.AddElement(L"v", Text(L"1"));
    fragment.EndElement();
    fragment.StartElement(L"empty");
    EXPECT_EQ(fragment.CloseAndFormat(), "<a>\r\n\t<b>\r\n\t\t<c>\r\n\t\t\t<v>1</v>\r\n\t\t</c>\r\n\t</b>\r\n</a>\r\n");
}

TEST(XmlGenerator, AppendedFragmentsAreIndentedAtTheDocumentsDepth)
{
    CXmlFragment group;
    group.StartElement(L"group", {{L"id", L"g1"}});
    group.AddEmptyElement(L"button", {{L"id", L"b1"}});
    group.EndElement();

    CXmlGenerator ribbon;
    ribbon.StartElement(L"customUI");
    ribbon.StartElement(L"tabs");
    ribbon.Append(group);
    ribbon.EndElement();
    ribbon.EndElement();
    EXPECT_EQ(ribbon.Format(), kDeclaration +
                                   "<customUI>\r\n"
                                   "\t<tabs>\r\n"
                                   "\t\t<group id=\"g1\">\r\n"
                                   "\t\t\t<button id=\"b1\"/>\r\n"
                                   "\t\t</group>\r\n"
                                   "\t</tabs>\r\n"
                                   "</customUI>\r\n");
}

TEST(XmlGenerator, AppendingAnOpenFragmentClosesACopyAndLeavesTheFragmentOpen)
{
    CXmlFragment open;
    open.StartElement(L"g");
    open.AddElement(L"v", Text(L"1"));
    open.StartElement(L"empty");

    CXmlGenerator document;
    document.StartElement(L"root");
    document += open;
    document += open;
    EXPECT_EQ(document.CloseAndFormat(), kDeclaration +
                                             "<root>\r\n"
                                             "\t<g>\r\n\t\t<v>1</v>\r\n\t</g>\r\n"
                                             "\t<g>\r\n\t\t<v>1</v>\r\n\t</g>\r\n"
                                             "</root>\r\n");
    EXPECT_THROW(open.Format(), CException);
    open.AddElement(L"w", Text(L"2"));
    EXPECT_EQ(open.CloseAndFormat(), "<g>\r\n\t<v>1</v>\r\n\t<empty>\r\n\t\t<w>2</w>\r\n\t</empty>\r\n</g>\r\n");

    // A fragment whose elements all end empty adds nothing.
    CXmlFragment empty;
    empty.StartElement(L"g");
    CXmlGenerator target;
    target.StartElement(L"root");
    target.Append(empty);
    EXPECT_EQ(target.CloseAndFormat(), kDeclaration + "<root>\r\n</root>\r\n");
}

TEST(XmlGenerator, InitialTextStartsTheOutput)
{
    CXmlGenerator withBreak(L"<!-- head -->\r\n");
    withBreak.AddEmptyElement(L"x");
    EXPECT_EQ(withBreak.Format(), "<!-- head -->\r\n<x/>\r\n");
    CXmlGenerator withoutBreak(L"<!-- head -->");
    withoutBreak.AddEmptyElement(L"x");
    EXPECT_EQ(withoutBreak.Format(), "<!-- head -->\r\n<x/>\r\n");

    // A fragment that received only the initial text counts as empty.
    CXmlGenerator target;
    target.StartElement(L"root");
    target.Append(CXmlFragment());
    EXPECT_EQ(target.CloseAndFormat(), kDeclaration + "<root>\r\n</root>\r\n");
    EXPECT_EQ(target.FormatXmlDeclaration() + "\r\n", kDeclaration);
}

TEST(XmlGenerator, CopiesAreIndependent)
{
    CXmlGenerator original;
    original.StartElement(L"root");
    CXmlGenerator copy(original);
    copy.AddElement(L"x", Text(L"1"));
    EXPECT_EQ(original.CloseAndFormat(), kDeclaration + "<root>\r\n</root>\r\n");
    EXPECT_EQ(copy.CloseAndFormat(), kDeclaration + "<root>\r\n\t<x>1</x>\r\n</root>\r\n");
}

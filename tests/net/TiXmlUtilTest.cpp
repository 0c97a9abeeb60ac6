#include "Exception.h"
#include "TestSupport.h"
#include "TiXmlUtil.h"
#include "XmlGenerator.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using QzlTest::CLogCapture;

namespace {

StringW ParseError(const std::string& text, const char* expectedRoot = nullptr)
{
    try {
        ParseXmlDocument(text, expectedRoot);
    } catch (const CException& e) {
        return e.GetDescription();
    }
    return L"(nothing raised)";
}

// What TinyXML itself says about the text, in our format.
StringW TinyXmlError(const std::string& text)
{
    TiXmlDocument document;
    document.Parse(text.c_str());
    return FormatTiXmlError(document);
}

} // namespace

TEST(TiXmlUtil, ReturnsADocumentWhoseRootIsAsExpected)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- c -->\r\n<a><b>x</b></a>\r\n";
    TiXmlDocument any = ParseXmlDocument(text);
    ASSERT_NE(any.RootElement(), nullptr);
    EXPECT_EQ(any.RootElement()->ValueStr(), "a");
    TiXmlDocument checked = ParseXmlDocument(text, "a");
    ASSERT_NE(checked.RootElement(), nullptr);
    EXPECT_EQ(GetChildElementText(*checked.RootElement(), "b"), L"x");
}

TEST(TiXmlUtil, ReadsWhatTheGeneratorWrites)
{
    Net::CXmlGenerator xml;
    xml.StartElement(L"AttachedLink");
    xml.AddElement(L"Path", Value(std::wstring(L"c:\\d\x00FC" L"r\\a&b <1>.txt")));
    xml.AddCdataElement(L"Note", L"x ]]> y");
    xml.EndElement();
    TiXmlDocument document = ParseXmlDocument(xml.Format(), "AttachedLink");
    EXPECT_EQ(GetChildElementText(*document.RootElement(), "Path"), L"c:\\d\x00FC" L"r\\a&b <1>.txt");
    // The reader stops at the first of the two sections the writer split "]]>" into.
    EXPECT_EQ(GetChildElementText(*document.RootElement(), "Note"), L"x ]]");
}

TEST(TiXmlUtil, RejectsAnUnexpectedRoot)
{
    CLogCapture log;
    EXPECT_EQ(ParseError("<b/>", "a"), L"Unexpected root element in XML document (expected 'a', got 'b'");
    EXPECT_EQ(ParseError("<A/>", "a"), L"Unexpected root element in XML document (expected 'a', got 'A'");
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at TiXmlUtil\\.cpp, "
                                                         "Quenzal::ParseXmlDocument, line \\d+: Unexpected root")));
}

TEST(TiXmlUtil, ADocumentWithoutElementIsEmpty)
{
    {
        CLogCapture log;
        EXPECT_EQ(ParseError("<?xml version=\"1.0\"?>"), L"XML document is empty");
        std::string text = log.Text();
        EXPECT_NE(text.find("WARNING: XML document is empty"), std::string::npos);
        // The text itself goes into the log, with a line end added.
        EXPECT_NE(text.find("\n> <?xml version=\"1.0\"?>\r\n"), std::string::npos);
        EXPECT_TRUE(std::regex_search(text, std::regex("Throwing exception at TiXmlUtil\\.cpp, "
                                                       "Quenzal::ParseXmlDocument, line \\d+: XML document is empty")));
    }
    CLogCapture log;
    EXPECT_EQ(ParseError("<!-- only a comment -->\n01/01/26 00:00:00 ERROR: forged"), L"XML document is empty");
    EXPECT_NE(log.Text().find("\n> <!-- only a comment -->\r\n> 01/01/26 00:00:00 ERROR: forged\r\n"),
              std::string::npos);
}

TEST(TiXmlUtil, AnEmptyTextIsAParseErrorWithoutLocation)
{
    EXPECT_EQ(ParseError(""), L"Error parsing XML document: Error document empty. (12)");
    EXPECT_EQ(ParseError(" \r\n "), L"Error parsing XML document: Error document empty. (12)");
}

TEST(TiXmlUtil, TruncatedAndMalformedDocumentsAreParseErrors)
{
    // TinyXML keeps a root element for all of these; they are still errors.
    for (const char* text : {"<a>", "<a><b>x</b>", "<a", "<a><b>x</c></a>", "<a x=\"1/>", "<a><!-- x"}) {
        StringW tinyXml = TinyXmlError(text);
        EXPECT_NE(tinyXml, L"No tinyxml error occurred") << text;
        EXPECT_EQ(ParseError(text, "a"), L"Error parsing XML document: " + tinyXml) << text;
    }
    CLogCapture log;
    EXPECT_EQ(ParseError("<?xml version=\"1.0\"?>\n<a>\n  <b>x</c>\n</a>\n"),
              L"Error parsing XML document: Error reading end tag. (8) at row 3, column 7");
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Throwing exception at TiXmlUtil\\.cpp, "
                                                         "Quenzal::ParseXmlDocument, line \\d+: Error parsing XML "
                                                         "document: Error reading end tag\\. \\(8\\) at row 3")));
    // The error wins over the root check.
    EXPECT_EQ(ParseError("<b>", "a").find(L"Error parsing XML document: "), 0u);
}

TEST(TiXmlUtil, FormatsTheErrorOfADocument)
{
    TiXmlDocument fine;
    fine.Parse("<a/>");
    EXPECT_EQ(FormatTiXmlError(fine), L"No tinyxml error occurred");
    EXPECT_EQ(TinyXmlError(""), L"Error document empty. (12)");
    EXPECT_EQ(TinyXmlError("\n\n   <a x=\"1/>"), L"Error parsing Element. (3) at row 3, column 7");
    EXPECT_EQ(TinyXmlError("<a><!-- x"), L"Error reading Element value. (5)");
}

TEST(TiXmlUtil, ReadsTheTextOfAChildElement)
{
    TiXmlDocument document = ParseXmlDocument("<r><a>abc</a><e></e><s/><c><!-- x -->t</c><n><i>v</i></n>"
                                              "<u>\xC3\xA4\xE2\x82\xAC</u><a>second</a></r>");
    const TiXmlElement& root = *document.RootElement();
    EXPECT_EQ(GetChildElementText(root, "a"), L"abc");
    EXPECT_EQ(GetChildElementText(root, "missing"), L"");
    EXPECT_EQ(GetChildElementText(root, "e"), L"");
    EXPECT_EQ(GetChildElementText(root, "s"), L"");
    EXPECT_EQ(GetChildElementText(root, "c"), L"");
    EXPECT_EQ(GetChildElementText(root, "n"), L"");
    EXPECT_EQ(GetChildElementText(root, "u"), L"\x00E4\x20AC");
    // Only direct children count.
    EXPECT_EQ(GetChildElementText(root, "i"), L"");
}

// Kept white space reads back as written whichever way TinyXML's own switch
// stands; a NUL byte is refused rather than end the text early.
TEST(TiXmlUtil, KeepsTheWhiteSpaceOfTextWhateverTinyXmlIsSetTo)
{
    const std::string text = "<?xml version=\"1.0\"?>\r\n<a>\r\n\t<b> x  y\t</b><!-- c  d -->\r\n</a>\r\n";
    for (bool condense : {false, true}) {
        TiXmlBase::SetCondenseWhiteSpace(condense);
        TiXmlDocument document = ParseXmlDocument(text, "a", XmlWhiteSpace::Keep);
        EXPECT_EQ(GetChildElementText(*document.RootElement(), "b"), L" x  y\t") << condense;
        EXPECT_EQ(document.RootElement()->FirstChild()->ValueStr(), "b") << condense;
    }
    EXPECT_EQ(GetChildElementText(*ParseXmlDocument(text).RootElement(), "b"), L"x y");
    EXPECT_EQ(ParseError(std::string("<a>x</a>\0<b/>", 13)),
              L"Error parsing XML document: the text holds a NUL character");
}

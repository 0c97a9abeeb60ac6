#include "TiXmlUtil.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "TiXmlNesting.h"

#include <cctype>
#include <cstring>

namespace Quenzal {

namespace {

// Far above any document the system reads (an appliance's answer, a link
// file), far below what would exhaust a thread's stack in TinyXML.
constexpr unsigned kMaxDocumentSize = 1024 * 1024;
constexpr unsigned kMaxNesting = 256;
constexpr size_t kLongestUtf8Character = 4;

bool IsXmlWhiteSpace(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// Where the markup that starts at text[start] ('<') ends, as TinyXML reads
// it: a '>' in a quoted attribute value does not end a tag.
size_t MarkupEnd(const std::string& text, size_t start)
{
    const auto after = [&](const char* terminator) {
        const size_t found = text.find(terminator, start);
        return found == std::string::npos ? text.size() : found + strlen(terminator);
    };
    if (text.compare(start, 4, "<!--") == 0)
        return after("-->");
    if (text.compare(start, 9, "<![CDATA[") == 0)
        return after("]]>");
    char quote = 0;
    for (size_t i = start + 1; i < text.size(); ++i) {
        if (quote != 0) {
            if (text[i] == quote)
                quote = 0;
        } else if (text[i] == '"' || text[i] == '\'') {
            quote = text[i];
        } else if (text[i] == '>') {
            return i + 1;
        }
    }
    return text.size();
}

// TinyXML folds the white space of element content unless a process-wide
// switch, which any caller may flip, says otherwise. White space written as
// character references reaches the text unchanged either way; white space
// outside the root element and inside markup stays as it is.
std::string ProtectContentWhiteSpace(const std::string& text)
{
    std::string protectedText;
    protectedText.reserve(text.size());
    int depth = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '<') {
            const size_t end = MarkupEnd(text, i);
            if (text.compare(i, 2, "</") == 0)
                --depth;
            else if (end - i > 2 && text[end - 2] != '/' && (isalpha(static_cast<unsigned char>(text[i + 1])) ||
                                                            text[i + 1] == '_'))
                ++depth;
            protectedText.append(text, i, end - i);
            i = end;
            continue;
        }
        if (depth > 0 && IsXmlWhiteSpace(text[i]))
            protectedText.append("&#").append(std::to_string(text[i])).append(";");
        else
            protectedText.push_back(text[i]);
        ++i;
    }
    return protectedText;
}

} // namespace

TiXmlDocument ParseXmlDocument(const std::string& text, const char* expectedRoot, XmlWhiteSpace whiteSpace)
{
    // TinyXML would read up to the NUL and take the rest for absent.
    if (text.find('\0') != std::string::npos)
        QZL_THROW(QZL_FUNCTION, CException(L"Error parsing XML document: the text holds a NUL character"));
    if (text.size() > kMaxDocumentSize)
        QZL_THROW(QZL_FUNCTION, CException(StringW::Format(L"XML document is larger than %u bytes", kMaxDocumentSize)));
    std::string parsed = whiteSpace == XmlWhiteSpace::Keep ? ProtectContentWhiteSpace(text) : text;
    // TinyXML steps over a UTF-8 character by the length its lead byte tells,
    // past the terminating NUL when the text breaks off inside one: with NULs
    // for the longest character after the text, every step stays inside.
    parsed.append(kLongestUtf8Character - 1, '\0');
    if (IsXmlNestedDeeperThan(parsed.c_str(), TIXML_DEFAULT_ENCODING, kMaxNesting))
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"XML document nests its elements more than %u deep", kMaxNesting)));
    TiXmlDocument document;
    document.Parse(parsed.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    // TinyXML keeps the elements it had read when the text breaks off, so a
    // truncated document still has a root: any parse error rejects the text.
    if (document.Error())
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Error parsing XML document: " + FormatTiXmlError(document)));
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) {
        Logging::Log(Logging::Warning, L"XML document is empty");
        Logging::LogRawA(Logging::Debug, text.c_str());
        QZL_THROW(QZL_FUNCTION, CException(L"XML document is empty"));
    }
    if (expectedRoot != nullptr && root->ValueStr() != expectedRoot) {
        std::string message = "Unexpected root element in XML document (expected '";
        message.append(expectedRoot).append("', got '").append(root->ValueStr()).append("'");
        QZL_THROW(QZL_FUNCTION, CException(message));
    }
    return document;
}

StringW GetChildElementText(const TiXmlElement& element, const char* childName)
{
    const TiXmlElement* child = element.FirstChildElement(childName);
    if (child == nullptr)
        return StringW();
    const TiXmlNode* first = child->FirstChild();
    if (first == nullptr || first->ToText() == nullptr)
        return StringW();
    return StringW::FromAnsi(first->ValueStr(), CP_UTF8);
}

StringW FormatTiXmlError(const TiXmlDocument& document)
{
    if (!document.Error())
        return StringW(L"No tinyxml error occurred");
    const char* description = document.ErrorDesc();
    StringW text(std::string(description == nullptr ? "" : description));
    text.AppendFormat(L" (%d)", document.ErrorId());
    // TinyXML counts rows and columns from 1 and gives 0 for both when the
    // error has no location.
    if (document.ErrorRow() != 0 || document.ErrorCol() != 0)
        text.AppendFormat(L" at row %d, column %d", document.ErrorRow(), document.ErrorCol());
    return text;
}

} // namespace Quenzal

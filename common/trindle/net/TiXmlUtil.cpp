#include "TiXmlUtil.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "TiXmlNesting.h"

namespace Quenzal {
namespace {

// Far above any document the system reads (an appliance's answer, a link
// file), far below what would exhaust a thread's stack in TinyXML.
constexpr unsigned kMaxDocumentSize = 1024 * 1024;
constexpr unsigned kMaxNesting = 256;

} // namespace

TiXmlDocument ParseXmlDocument(const std::string& text, const char* expectedRoot)
{
    if (text.size() > kMaxDocumentSize)
        QZL_THROW(QZL_FUNCTION, CException(StringW::Format(L"XML document is larger than %u bytes", kMaxDocumentSize)));
    if (IsXmlNestedDeeperThan(text.c_str(), TIXML_DEFAULT_ENCODING, kMaxNesting))
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"XML document nests its elements more than %u deep", kMaxNesting)));
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
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

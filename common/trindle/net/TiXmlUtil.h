#pragma once
// Reading XML with TinyXML: parsing a document whose root element is checked,
// the text of a child element, and the description of a parse error.

#include "StringW.h"

#include <tinyxml.h>

#include <string>

namespace Quenzal {

// Parses the text; raises CException when it is malformed, has no element or
// its root element is not named expectedRoot (when one is given), and before
// parsing when it is too large or nests its elements too deeply for TinyXML
// to read safely.
TiXmlDocument ParseXmlDocument(const std::string& text, const char* expectedRoot = nullptr);
// The text of the first child element of that name, converted from UTF-8;
// empty when there is no such child or its content does not begin with text.
StringW GetChildElementText(const TiXmlElement& element, const char* childName);
// "<description> (<id>) at row <r>, column <c>" of the document's parse error.
StringW FormatTiXmlError(const TiXmlDocument& document);

} // namespace Quenzal

#pragma once
// Reading XML with TinyXML: parsing a document whose root element is checked,
// the text of a child element, and the description of a parse error.

#include "StringW.h"

#include <tinyxml.h>

#include <string>

namespace Quenzal {

// How the text of elements reads back: folded as TinyXML does by default
// (leading and trailing white space dropped, runs made one blank), or
// exactly as written.
enum class XmlWhiteSpace { Condense, Keep };

// Parses the text; raises CException when it is malformed (a NUL byte
// included), has no element or its root element is not named expectedRoot
// (when one is given), and before parsing when it is too large or nests its
// elements too deeply for TinyXML to read safely.
TiXmlDocument ParseXmlDocument(const std::string& text, const char* expectedRoot = nullptr,
                               XmlWhiteSpace whiteSpace = XmlWhiteSpace::Condense);
// The text of the first child element of that name, converted from UTF-8;
// empty when there is no such child or its content does not begin with text.
StringW GetChildElementText(const TiXmlElement& element, const char* childName);
// "<description> (<id>) at row <r>, column <c>" of the document's parse error.
StringW FormatTiXmlError(const TiXmlDocument& document);

} // namespace Quenzal

#pragma once
// Reading a link file: the small XML document that stands in a mail for a
// large file, naming the file's full path.

#include "StringW.h"

#include <string>

namespace Quenzal::Stubbing {

// The text of the root "AttachedLink"'s child "Path"; raises CException when
// the XML is malformed or names no path.
StringW GetPathFromLink(const std::string& linkXml);

} // namespace Quenzal::Stubbing

#pragma once
// How deep TinyXML would nest a text's elements, learnt before TinyXML parses
// it. TinyXML's parser, its destructor and its copy all recurse once per
// element, so a document nested a few thousand deep from a server or a mail
// overflows the stack of Outlook's user-interface thread and ends the process.

#include <tinyxml.h>

#include <cstddef>

namespace Quenzal {

// True once TinyXML's parse of the text (up to its first NUL), with that
// encoding, would hold more than limit elements open at once. As for
// TinyXML's own parse, the text must be followed by NULs enough for the
// longest UTF-8 character (ParseXmlDocument gives it them).
bool IsXmlNestedDeeperThan(const char* text, TiXmlEncoding encoding, size_t limit);

} // namespace Quenzal

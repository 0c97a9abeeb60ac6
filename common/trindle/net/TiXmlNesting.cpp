#include "TiXmlNesting.h"

#include <cstring>
#include <string>

namespace Quenzal {
namespace {

// TinyXML's parse, followed step by step without building a tree. Every node
// but an element is read by TinyXML's own reader for it, with the encoding
// the parser would use at that point, so the walk always stands where the
// parser would stand; an element's content, which the parser reads by
// recursing, only moves a counter here. Once the parser would stop at an
// error nothing deeper can follow, so what the walk does after that point
// does not matter.
class CNestingWalk : private TiXmlBase {
public:
    static bool IsDeeperThan(const char* p, TiXmlEncoding encoding, size_t limit);

private:
    enum class Node { Declaration, Comment, Cdata, Unknown, Element };

    static Node Identify(const char* p, TiXmlEncoding encoding);
    // Past the start tag; empty for one that ends in "/>".
    static const char* SkipStartTag(const char* p, TiXmlEncoding encoding, bool& empty);
    static const char* SkipNode(Node node, const char* p, bool atTop, TiXmlEncoding& encoding);
};

bool CNestingWalk::IsDeeperThan(const char* p, TiXmlEncoding encoding, size_t limit)
{
    if (p == nullptr || *p == '\0')
        return false;
    const auto* lead = reinterpret_cast<const unsigned char*>(p);
    if (encoding == TIXML_ENCODING_UNKNOWN && lead[0] == 0xEF && lead[1] == 0xBB && lead[2] == 0xBF)
        encoding = TIXML_ENCODING_UTF8;
    size_t depth = 0;
    p = SkipWhiteSpace(p, encoding);
    const char* withWhiteSpace = p;
    while (p != nullptr && *p != '\0') {
        if (depth > 0 && *p != '<') {
            TiXmlText text("");
            p = text.Parse(IsWhiteSpaceCondensed() ? p : withWhiteSpace, nullptr, encoding);
        } else if (depth > 0 && StringEqual(p, "</", false, encoding)) {
            // The innermost element's end tag: its name, blanks and '>' (any
            // other end tag stops the parser).
            p = strchr(p, '>');
            if (p == nullptr)
                return false;
            ++p;
            --depth;
        } else if (*p != '<') {
            // Text beside the root ends the parse.
            return false;
        } else if (Node node = Identify(p, encoding); node == Node::Element) {
            bool empty = false;
            p = SkipStartTag(p, encoding, empty);
            if (p != nullptr && !empty && ++depth > limit)
                return true;
        } else {
            p = SkipNode(node, p, depth == 0, encoding);
        }
        withWhiteSpace = p;
        p = SkipWhiteSpace(p, encoding);
    }
    return false;
}

CNestingWalk::Node CNestingWalk::Identify(const char* p, TiXmlEncoding encoding)
{
    if (StringEqual(p, "<?xml", true, encoding))
        return Node::Declaration;
    if (StringEqual(p, "<!--", false, encoding))
        return Node::Comment;
    if (StringEqual(p, "<![CDATA[", false, encoding))
        return Node::Cdata;
    if (StringEqual(p, "<!", false, encoding))
        return Node::Unknown;
    if (IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_')
        return Node::Element;
    return Node::Unknown;
}

const char* CNestingWalk::SkipStartTag(const char* p, TiXmlEncoding encoding, bool& empty)
{
    p = SkipWhiteSpace(p + 1, encoding);
    if (p == nullptr)
        return nullptr;
    std::string name;
    p = ReadName(p, &name, encoding);
    while (p != nullptr && *p != '\0') {
        p = SkipWhiteSpace(p, encoding);
        if (p == nullptr)
            return nullptr;
        empty = *p == '/';
        if (empty)
            return p[1] == '>' ? p + 2 : nullptr;
        if (*p == '>')
            return p + 1;
        TiXmlAttribute attribute;
        p = attribute.Parse(p, nullptr, encoding);
    }
    return nullptr;
}

const char* CNestingWalk::SkipNode(Node node, const char* p, bool atTop, TiXmlEncoding& encoding)
{
    if (node == Node::Declaration) {
        TiXmlDeclaration declaration;
        p = declaration.Parse(p, nullptr, encoding);
        // The document's first declaration decides how the rest is read.
        if (atTop && encoding == TIXML_ENCODING_UNKNOWN) {
            const char* name = declaration.Encoding();
            const bool utf8 = *name == '\0' || StringEqual(name, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
                              StringEqual(name, "UTF8", true, TIXML_ENCODING_UNKNOWN);
            encoding = utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY;
        }
        return p;
    }
    if (node == Node::Comment)
        return TiXmlComment().Parse(p, nullptr, encoding);
    if (node == Node::Cdata) {
        TiXmlText text("");
        text.SetCDATA(true);
        return text.Parse(p, nullptr, encoding);
    }
    return TiXmlUnknown().Parse(p, nullptr, encoding);
}

} // namespace

bool IsXmlNestedDeeperThan(const char* text, TiXmlEncoding encoding, size_t limit)
{
    return CNestingWalk::IsDeeperThan(text, encoding, limit);
}

} // namespace Quenzal

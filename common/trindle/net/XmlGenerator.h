#pragma once
// Writing XML as text, one element per line: CXmlGenerator writes a document
// (declaration line, TAB indentation per open element, CR LF line ends) and
// CXmlFragment a part without declaration that is appended into a document
// later. Elements that end up without content are cut out again when they are
// closed, so callers can open an element, add optional children and leave it
// to the generator to drop it when nothing was added.

#include "StringW.h"
#include "Value.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>

namespace Quenzal::Net {

// Attribute names compare without regard to case: they are written in that
// order, and names that differ only in case are one attribute.
struct XmlAttributeNameLess {
    bool operator()(const StringW& left, const StringW& right) const
    {
        return _wcsicmp(left.c_str(), right.c_str()) < 0;
    }
};
using XmlAttributes = std::map<StringW, StringW, XmlAttributeNameLess>;

class CXmlFragment;

// A document: keeps its outermost elements even when they stay empty, drops
// every emptied element below them.
class CXmlGenerator {
public:
    CXmlGenerator();
    // The text (converted to the ANSI code page) starts the output; a CR LF is
    // added when it does not end a line.
    explicit CXmlGenerator(const StringW& initialText);
    CXmlGenerator(const CXmlGenerator& other) = default;
    CXmlGenerator& operator=(const CXmlGenerator& other) = default;
    virtual ~CXmlGenerator() = default;

    virtual void StartElement(const StringW& name, const XmlAttributes& attributes = XmlAttributes());
    // Writes nothing for a null value or for content that is empty once trimmed.
    virtual void AddElement(const StringW& name, const Value& content,
                            const XmlAttributes& attributes = XmlAttributes());
    // The text as it stands, blanks around it included (a name, say, which a
    // blank more or less changes); nothing for an empty text.
    virtual void AddUntrimmedElement(const StringW& name, const StringW& content,
                                     const XmlAttributes& attributes = XmlAttributes());
    virtual void AddCdataElement(const StringW& name, const StringW& content,
                                 const XmlAttributes& attributes = XmlAttributes());
    virtual void AddEmptyElement(const StringW& name, const XmlAttributes& attributes = XmlAttributes());
    virtual void EndElement();

    // The text so far; raises while elements are still open.
    std::string Format() const;
    // Closes every open element, then gives the text.
    std::string CloseAndFormat();
    // Appends the fragment's lines at the current depth; a fragment with open
    // elements is closed in a copy, the fragment itself stays as it is.
    void Append(const CXmlFragment& fragment);
    CXmlGenerator& operator+=(const CXmlFragment& fragment);

    std::string FormatXmlDeclaration() const;

protected:
    struct ElementInfo {
        size_t lengthAfterStartTag;
        size_t lengthBeforeStartTag;
        StringW name;
    };

    // Closes the innermost element; an element that received nothing since
    // its start tag is cut out again unless it is outermost and keepOutermost.
    void CloseInnermostElement(bool keepOutermost);
    bool HasOpenElements() const { return !m_openElements.empty(); }

private:
    std::string ToXmlText(const std::wstring& text) const;
    std::string FormatStartTag(const StringW& name, const XmlAttributes& attributes, bool empty) const;
    // "<name ...>content</name>"
    std::string FormatElementLine(const StringW& name, const XmlAttributes& attributes,
                                  const std::string& content) const;
    void AppendLine(const std::string& line);
    void AppendLines(const std::string& text);

    uint32_t m_codePage = CP_UTF8;
    std::string m_text;
    size_t m_bodyStart = 0;
    std::deque<ElementInfo> m_openElements;
};

// XML without declaration; empty elements are dropped at every
// depth, so a fragment that received nothing is the empty text.
class CXmlFragment : public CXmlGenerator {
public:
    CXmlFragment() : CXmlGenerator(StringW()) {}

    void EndElement() override;
};

} // namespace Quenzal::Net

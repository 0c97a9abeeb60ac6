#include "XmlGenerator.h"

#include "Charsets.h"
#include "ErrorReport.h"
#include "Guid.h"
#include "NetEncoding.h"

namespace Quenzal::Net {

namespace {

// The text from offset up to and including the next LF, or the rest.
std::string GetNextLine(const std::string& text, size_t& offset)
{
    size_t end = text.find('\n', offset);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(offset, end - offset);
    offset = end;
    return line;
}

} // namespace

CXmlGenerator::CXmlGenerator() : m_text(FormatXmlDeclaration())
{
    m_text.append("\r\n");
    m_bodyStart = m_text.size();
}

CXmlGenerator::CXmlGenerator(const StringW& initialText) : m_text(initialText.ToAnsi())
{
    if (!m_text.empty() && m_text.back() != '\n')
        m_text.append("\r\n");
    m_bodyStart = m_text.size();
}

std::string CXmlGenerator::FormatXmlDeclaration() const
{
    StringW declaration = StringW::Format(L"<?xml version=\"1.0\" encoding=\"%s\"?>",
                                          GetCharsetNameFromCodePage(m_codePage).c_str());
    return declaration.GetAnsi(m_codePage);
}

std::string CXmlGenerator::ToXmlText(const std::wstring& text) const
{
    return StringW(text).Trimmed().GetAnsi(m_codePage);
}

std::string CXmlGenerator::FormatStartTag(const StringW& name, const XmlAttributes& attributes, bool empty) const
{
    std::string tag("<");
    tag.append(ToXmlText(name));
    for (const auto& [attributeName, attributeValue] : attributes) {
        tag.append(" ").append(ToXmlText(attributeName)).append("=\"");
        tag.append(EscapeXml(ToXmlText(attributeValue))).append("\"");
    }
    tag.append(empty ? "/>" : ">");
    return tag;
}

std::string CXmlGenerator::FormatElementLine(const StringW& name, const XmlAttributes& attributes,
                                             const std::string& content) const
{
    std::string line = FormatStartTag(name, attributes, false);
    line.append(content).append("</").append(ToXmlText(name)).append(">");
    return line;
}

void CXmlGenerator::AppendLine(const std::string& line)
{
    if (line.empty())
        return;
    m_text.append(m_openElements.size(), '\t');
    m_text.append(line);
    if (line.back() != '\n')
        m_text.append("\r\n");
}

void CXmlGenerator::AppendLines(const std::string& text)
{
    size_t offset = 0;
    while (offset < text.size())
        AppendLine(GetNextLine(text, offset));
}

void CXmlGenerator::StartElement(const StringW& name, const XmlAttributes& attributes)
{
    std::string tag = FormatStartTag(name, attributes, false);
    size_t before = m_text.size();
    AppendLine(tag);
    m_openElements.push_back(ElementInfo{m_text.size(), before, name});
}

void CXmlGenerator::AddElement(const StringW& name, const Value& content, const XmlAttributes& attributes)
{
    if (content.IsValueNull())
        return;
    std::string text;
    switch (content.GetKind()) {
    case Value::KindBinary:
        QZL_THROW(QZL_FUNCTION, CException(L"Unexpected case"));
    case Value::KindGuid:
        text = Guid::ToString(content.GetGuid());
        break;
    case Value::KindDateTime: {
        Value copy(content);
        text = copy.MakeDateTime().FormatIso8601().ToAnsi();
        break;
    }
    default:
        text = ToXmlText(EscapeXml(StringW(content.GetStringW())));
        break;
    }
    if (text.empty())
        return;
    AppendLine(FormatElementLine(name, attributes, text));
}

void CXmlGenerator::AddUntrimmedElement(const StringW& name, const StringW& content, const XmlAttributes& attributes)
{
    if (content.empty())
        return;
    AppendLine(FormatElementLine(name, attributes, EscapeXml(content).GetAnsi(m_codePage)));
}

void CXmlGenerator::AddCdataElement(const StringW& name, const StringW& content, const XmlAttributes& attributes)
{
    if (content.empty())
        return;
    std::string section = MakeCdataSection(ToXmlText(content));
    if (section.empty())
        return;
    AppendLine(FormatElementLine(name, attributes, section));
}

void CXmlGenerator::AddEmptyElement(const StringW& name, const XmlAttributes& attributes)
{
    AppendLine(FormatStartTag(name, attributes, true));
}

void CXmlGenerator::EndElement()
{
    if (m_openElements.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Too many XML element terminations"));
    CloseInnermostElement(true);
}

void CXmlGenerator::CloseInnermostElement(bool keepOutermost)
{
    const ElementInfo& element = m_openElements.back();
    size_t depth = m_openElements.size();
    if (m_text.size() <= element.lengthAfterStartTag && !(keepOutermost && depth == 1)) {
        m_text.resize(element.lengthBeforeStartTag);
        m_openElements.pop_back();
        return;
    }
    std::string endTag("</");
    endTag.append(ToXmlText(element.name)).append(">\r\n");
    m_text.append(depth - 1, '\t');
    m_text.append(endTag);
    m_openElements.pop_back();
}

std::string CXmlGenerator::Format() const
{
    if (!m_openElements.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Unterminated element in  XML generation"));
    return m_text;
}

std::string CXmlGenerator::CloseAndFormat()
{
    while (!m_openElements.empty())
        EndElement();
    return m_text;
}

void CXmlGenerator::Append(const CXmlFragment& fragment)
{
    const CXmlGenerator& source = fragment;
    if (source.m_codePage != m_codePage)
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"XML fragment's codepage (%s) does not match that of XML document (%s)",
                                             Os::DescribeCodePage(source.m_codePage).c_str(),
                                             Os::DescribeCodePage(m_codePage).c_str())));
    if (source.m_openElements.empty()) {
        if (source.m_text.size() != source.m_bodyStart)
            AppendLines(source.Format());
        return;
    }
    CXmlFragment closed(fragment);
    while (closed.HasOpenElements())
        closed.EndElement();
    const CXmlGenerator& closedText = closed;
    if (closedText.m_text.size() != closedText.m_bodyStart)
        AppendLines(closedText.m_text);
}

CXmlGenerator& CXmlGenerator::operator+=(const CXmlFragment& fragment)
{
    Append(fragment);
    return *this;
}

void CXmlFragment::EndElement()
{
    if (!HasOpenElements())
        QZL_THROW(QZL_FUNCTION, CException(L"Too many XML element terminations"));
    CloseInnermostElement(false);
}

} // namespace Quenzal::Net

#include "MimeContainer.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "MemoryStream.h"
#include "NameTables.h"
#include "Net.h"

namespace Quenzal::Net {

namespace {

// The end of a part that stops at a delimiter line: the line break in front
// of the delimiter belongs to the delimiter.
size_t EndBeforeLineBreak(const char* text, size_t start, size_t delimiter)
{
    size_t end = delimiter;
    if (end > start && text[end - 1] == '\n')
        --end;
    if (end > start && text[end - 1] == '\r')
        --end;
    return end;
}

} // namespace

CMimeContainer::CMimeContainer() = default;

CMimeContainer::CMimeContainer(int32_t contentTypeId)
{
    auto contentType = GetContentTypeHeader();
    contentType->SetMediaType(GetContentTypeName(contentTypeId));
    contentType->SetParameterValue(MimeParameterBoundary, StringW(CreateUniqueBoundary()));
}

CMimeContainer::~CMimeContainer() = default;

std::string CMimeContainer::GetDelimiter() const
{
    auto contentType = std::dynamic_pointer_cast<CContentTypeHeader>(FindHeader("Content-Type"));
    if (!contentType)
        return std::string();
    const StringW boundary = contentType->GetParameterValue(MimeParameterBoundary);
    return boundary.empty() ? std::string() : "--" + boundary.ToAnsi();
}

void CMimeContainer::FormatBody(IOutStream& stream, uint32_t codePage, bool fold) const
{
    FormatMultipartBody(stream, codePage, fold, true);
}

void CMimeContainer::FormatMultipartBody(IOutStream& stream, uint32_t codePage, bool fold, bool writeParts) const
{
    if (m_parts.empty())
        return;
    const std::string delimiter = GetDelimiter();
    if (delimiter.empty())
        QZL_THROW(QZL_FUNCTION,
                  CException(L"No boundary set for multipart entity"));
    for (const auto& part : m_parts) {
        stream.Write(delimiter + "\r\n");
        if (writeParts)
            part->Format(stream, codePage, fold);
        stream.Write("\r\n");
    }
    stream.Write(delimiter + "--");
}

uint64_t CMimeContainer::GetBodyLength(uint32_t codePage, bool fold) const
{
    if (m_parts.empty())
        return 0;
    CNullStream framing;
    FormatMultipartBody(framing, codePage, fold, false);
    uint64_t length = framing.GetBytesWritten();
    for (const auto& part : m_parts) {
        const uint64_t partLength = part->GetLength(codePage, fold);
        if (partLength == UnknownLength)
            return UnknownLength;
        length += partLength;
    }
    return length;
}

void CMimeContainer::ParseBody(const char* text, size_t length, const CMimeHeaderFactory& factory)
{
    m_parts.clear();
    const std::string delimiter = GetDelimiter();
    if (delimiter.empty()) {
        Logging::LogFormat(Logging::Error, L"No multipart boundary found for entity (%s)",
                           GetContentTypeText().c_str());
        return;
    }
    if (text == nullptr || length == 0)
        return;

    size_t matched = 0;
    const size_t first = FindBoundaryLine(text, length, delimiter, matched);
    if (first == std::string::npos)
        return;
    size_t start = first + matched;
    size_t closeMatched = 0;
    size_t close = FindBoundaryLine(text + start, length - start, delimiter + "--", closeMatched);
    const bool closed = close != std::string::npos;
    close = closed ? start + close : length;

    while (start < close) {
        size_t nextMatched = 0;
        size_t next = FindBoundaryLine(text + start, length - start, delimiter, nextMatched);
        const bool found = next != std::string::npos && start + next <= close;
        size_t end;
        bool lastWithoutClose = false;
        if (found) {
            next += start;
            end = EndBeforeLineBreak(text, start, next);
        } else if (closed) {
            end = EndBeforeLineBreak(text, start, close);
        } else {
            // Without a close delimiter the text ends where the close
            // delimiter's line break would have stood.
            end = close;
            lastWithoutClose = true;
        }
        if (end == start) {
            Logging::Log(Logging::Warning, L"Empty MIME entity found; skipping");
        } else if (auto part = ParseMimeEntity(text + start, end - start, factory, lastWithoutClose)) {
            m_parts.push_back(part);
        }
        if (!found)
            break;
        start = next + nextMatched;
    }
}

} // namespace Quenzal::Net

#include "MimeEntity.h"

#include "MemoryStream.h"
#include "MimeContainer.h"
#include "MimeContent.h"
#include "NameTables.h"

namespace Quenzal::Net {

CMimeEntity::CMimeEntity() : m_factory(&GetMimeHeaderFactory()) {}

CMimeEntity::~CMimeEntity() = default;

CMimeEntity::HeaderPtr CMimeEntity::CreateHeader(const char* name)
{
    HeaderPtr header = MakeHeader(*m_factory, name);
    AddHeader(header);
    return header;
}

void CMimeEntity::Format(IOutStream& stream, uint32_t codePage, bool fold) const
{
    FormatHeaders(stream, codePage, fold);
    stream.Write("\r\n", 2);
    FormatBody(stream, codePage, fold);
}

size_t CMimeEntity::ParseHeaders(const char* text, size_t length, const CMimeHeaderFactory& factory)
{
    return ParseHeaderBlock(text, length, *this, factory);
}

uint64_t CMimeEntity::GetHeadersLength(uint32_t codePage, bool fold) const
{
    CNullStream counter;
    FormatHeaders(counter, codePage, fold);
    return counter.GetBytesWritten();
}

uint64_t CMimeEntity::GetLength(uint32_t codePage, bool fold) const
{
    const uint64_t bodyLength = GetBodyLength(codePage, fold);
    if (bodyLength == UnknownLength)
        return UnknownLength;
    return GetHeadersLength(codePage, fold) + 2 + bodyLength;
}

std::shared_ptr<CMimeEntity> ParseMimeEntity(const char* text, size_t length, const CMimeHeaderFactory& factory,
                                             bool dropFinalLineBreak)
{
    if (text == nullptr || length == 0)
        return nullptr;
    CMimeHeaderMap headers;
    const size_t bodyStart = ParseHeaderBlock(text, length, headers, factory);
    const char* body = text + bodyStart;
    size_t bodyLength = length - bodyStart;
    if (dropFinalLineBreak && bodyLength >= 2 && body[bodyLength - 2] == '\r' && body[bodyLength - 1] == '\n')
        bodyLength -= 2;

    std::shared_ptr<CMimeEntity> entity;
    auto contentType = std::dynamic_pointer_cast<CContentTypeHeader>(headers.FindHeader("Content-Type"));
    if (contentType && GetMediaType(contentType->GetMediaType()) == MediaTypeMultipart)
        entity = std::make_shared<CMimeContainer>();
    else
        entity = std::make_shared<CMimeContent>();
    entity->ClearHeaders();
    for (const auto& entry : headers.GetHeaders())
        entity->AddHeader(entry.second);
    entity->ParseBody(body, bodyLength, factory);
    return entity;
}

} // namespace Quenzal::Net

#pragma once
// A MIME entity: a header block and a body. The body's kind decides the
// class: a single body of data, or a multipart container of entities.

#include "MimeHeaderMap.h"
#include "OutStream.h"

#include <cstdint>
#include <memory>

namespace Quenzal::Net {

// A length that cannot be told before the body is formatted.
inline constexpr uint64_t UnknownLength = ~0ull;

class CMimeEntity : public CMimeHeaderMap {
public:
    CMimeEntity();
    ~CMimeEntity() override;

    // Makes the header through the entity's own factory and adds it.
    HeaderPtr CreateHeader(const char* name) override;
    // Headers, CR LF, body.
    virtual void Format(IOutStream& stream, uint32_t codePage, bool fold) const;
    virtual void FormatBody(IOutStream& stream, uint32_t codePage, bool fold) const = 0;
    // Reads the header block into the entity; returns the position after it.
    virtual size_t ParseHeaders(const char* text, size_t length, const CMimeHeaderFactory& factory);
    virtual void ParseBody(const char* text, size_t length, const CMimeHeaderFactory& factory) = 0;
    // Bytes FormatBody writes; UnknownLength when that cannot be told beforehand.
    virtual uint64_t GetBodyLength(uint32_t codePage, bool fold) const = 0;
    virtual uint64_t GetHeadersLength(uint32_t codePage, bool fold) const;
    // Bytes Format writes; UnknownLength when the body's length is unknown.
    virtual uint64_t GetLength(uint32_t codePage, bool fold) const;

    const CMimeHeaderFactory& GetHeaderFactory() const { return *m_factory; }
    void SetHeaderFactory(const CMimeHeaderFactory& factory) { m_factory = &factory; }

private:
    const CMimeHeaderFactory* m_factory;
};

// The entity in text: a multipart container when its Content-Type says
// multipart, else a single body; null for no text. The line break that ends
// the text is not part of the body when dropFinalLineBreak is set (a whole
// message); the parts of a multipart body already come without the line
// break that belongs to their delimiter.
std::shared_ptr<CMimeEntity> ParseMimeEntity(const char* text, size_t length, const CMimeHeaderFactory& factory,
                                             bool dropFinalLineBreak = true);

} // namespace Quenzal::Net

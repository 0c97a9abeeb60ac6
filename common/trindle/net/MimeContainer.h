#pragma once
// A multipart MIME body: child entities between boundary lines. The boundary
// is the boundary parameter of the container's own Content-Type header.

#include "MimeEntity.h"

#include <memory>
#include <vector>

namespace Quenzal::Net {

class CMimeContainer : public CMimeEntity {
public:
    using Parts = std::vector<std::shared_ptr<CMimeEntity>>;

    // No headers and no parts (for parsing).
    CMimeContainer();
    // A Content-Type of the content type id with a new unique boundary.
    explicit CMimeContainer(int32_t contentTypeId);
    ~CMimeContainer() override;

    void FormatBody(IOutStream& stream, uint32_t codePage, bool fold) const override;
    void ParseBody(const char* text, size_t length, const CMimeHeaderFactory& factory) override;
    // The parts' lengths and the delimiter lines; UnknownLength when a part's is.
    uint64_t GetBodyLength(uint32_t codePage, bool fold) const override;
    // Every delimiter line, and the parts themselves when writeParts is set.
    void FormatMultipartBody(IOutStream& stream, uint32_t codePage, bool fold, bool writeParts) const;

    const Parts& GetParts() const { return m_parts; }
    void SetParts(const Parts& parts) { m_parts = parts; }

private:
    // "--" and the boundary; empty when there is no boundary.
    std::string GetDelimiter() const;

    Parts m_parts;
};

} // namespace Quenzal::Net

#pragma once
// A single-part MIME body: the decoded bytes as a streamable (memory or a
// file), transfer-encoded when written and decoded when read.

#include "MimeEntity.h"

#include <memory>

namespace Quenzal::Net {

class CMimeContent : public CMimeEntity {
public:
    CMimeContent();
    ~CMimeContent() override;

    void FormatBody(IOutStream& stream, uint32_t codePage, bool fold) const override;
    void ParseBody(const char* text, size_t length, const CMimeHeaderFactory& factory) override;
    uint64_t GetBodyLength(uint32_t codePage, bool fold) const override;

    std::shared_ptr<IStreamable> GetData() const { return m_data; }
    void SetData(const std::shared_ptr<IStreamable>& data) { m_data = data; }
    // Data is set and its length is not 0 (an unknown length counts as data).
    bool HasData() const;
    // The ContentTransferEncoding id the entity's header names; -1 when none
    // or unknown, which means the bytes as they are.
    int32_t GetTransferEncoding() const;

private:
    std::shared_ptr<IStreamable> m_data;
};

} // namespace Quenzal::Net

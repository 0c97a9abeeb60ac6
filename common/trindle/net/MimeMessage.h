#pragma once
// A message whose headers are those of its body entity: every header
// operation goes to the body. The base of HTTP messages, which supply the
// header factory and the wire form.

#include "MimeEntity.h"

#include <functional>
#include <memory>
#include <string>

namespace Quenzal::Net {

class CMimeMessage : public IMimeHeaderContainer {
public:
    using HeaderPredicate = std::function<bool(const HeaderPtr&)>;

    HeaderPtr FindHeader(const char* name, const CMimeHeader* after = nullptr) const override;
    bool HasHeaders() const override;
    void AddHeader(const HeaderPtr& header) override;
    void RemoveHeaders(const char* name) override;
    void ClearHeaders() override;
    HeaderPtr CreateHeader(const char* name) override;
    ~CMimeMessage() override;

    // Makes the entity the body: it gets the message's factory and every
    // header of the old body.
    virtual void SetEntity(const std::shared_ptr<CMimeEntity>& entity);
    // Parses the whole text as one entity and makes it the body.
    virtual void Parse(const std::string& text);
    // Adds the headers of the other message's body (the same header objects).
    virtual void AddHeaders(const CMimeMessage& other);
    virtual void AddHeaders(const CMimeMessage& other, const HeaderPredicate& predicate);
    virtual void Format(IOutStream& stream, uint32_t codePage) const = 0;
    virtual void FormatHead(IOutStream& stream, uint32_t codePage) const = 0;
    virtual const CMimeHeaderFactory& GetHeaderFactory() const = 0;

    const std::shared_ptr<CMimeEntity>& GetBody() const { return m_body; }

private:
    std::shared_ptr<CMimeEntity> m_body;
};

} // namespace Quenzal::Net

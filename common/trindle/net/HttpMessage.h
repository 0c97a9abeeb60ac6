#pragma once
// An HTTP message: a MIME message whose body entity holds the headers and the
// body, plus the HTTP version and the rules that frame the body on the wire
// (a computed Content-Length, or chunks when the message is chunked).

#include "MimeContainer.h"
#include "MimeMessage.h"
#include "NameTables.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Quenzal::Net {

class CHttpMessage : public CMimeMessage {
public:
    // Version 1.1 with an empty single body.
    CHttpMessage();
    ~CHttpMessage() override;

    // Takes the entity as body; a multipart body with a part of unknown length
    // makes the message chunked.
    void SetEntity(const std::shared_ptr<CMimeEntity>& entity) override;
    // The wire form: start line, headers, framing, body.
    void Format(IOutStream& stream, uint32_t codePage) const override;
    // The body's header lines; requests and responses put their start line first.
    void FormatHead(IOutStream& stream, uint32_t codePage) const override;
    // The HTTP header factory.
    const CMimeHeaderFactory& GetHeaderFactory() const override;

    // The data of a single body; raises when the body is multipart.
    void SetBody(const std::shared_ptr<IStreamable>& data);
    // The data of a single body; null for a multipart body or one without data.
    std::shared_ptr<IStreamable> GetContentBody() const;
    bool HasContentBody() const { return GetContentBody() != nullptr; }
    // A multipart/form-data body with a new boundary and these parts in order.
    void SetMultipartFormData(const CMimeContainer::Parts& parts);
    // The number of body bytes the wire form carries (before any chunk
    // framing); UnknownLength when it cannot be told beforehand.
    uint64_t GetBodyLength(uint32_t codePage) const;
    // The message has a Transfer-Encoding of chunked.
    bool IsChunked() const;

    int32_t GetVersion() const { return m_version; }
    void SetVersion(int32_t version) { m_version = version; }

protected:
    // The first header of the name, made through the factory when missing,
    // given the value; a header read from text is written with the new value.
    void SetHeaderText(const char* name, const std::wstring& value);
    // The text of the version, "HTTP/1.1".
    std::string FormatVersion() const;
    // Reads a version name into the version field; false when it is unknown.
    bool ParseVersion(const std::string& name);
    // Splits a whole message in text after its first LF: the start line with
    // white space trimmed, and the rest. False when the text holds no LF.
    static bool SplitStartLine(const std::string& text, std::string& startLine, std::string& rest);

private:
    int32_t m_version = HttpVersion11;
};

} // namespace Quenzal::Net

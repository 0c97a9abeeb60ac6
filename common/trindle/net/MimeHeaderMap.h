#pragma once
// Containers of header objects, the factories that choose a header's class by
// its name, and the parser and writer of a header block.

#include "MimeHeader.h"
#include "OutStream.h"

#include <map>
#include <memory>
#include <string>

namespace Quenzal::Net {

// A process-wide, read-only table from header name to the maker of its class.
class CMimeHeaderFactory {
public:
    using Maker = std::shared_ptr<CMimeHeader> (*)(const std::string& name);

    void Add(const std::string& name, Maker maker) { m_makers[name] = maker; }
    // The maker of the name; null when the table has none.
    Maker Find(const std::string& name) const;

private:
    std::map<std::string, Maker, HeaderNameLess> m_makers;
};

// Makers for factory rows: a class that takes the name asked for, and a
// class that carries its own name.
template <class T>
std::shared_ptr<CMimeHeader> MakeNamedHeader(const std::string& name)
{
    return std::make_shared<T>(name);
}
template <class T>
std::shared_ptr<CMimeHeader> MakeFixedHeader(const std::string&)
{
    return std::make_shared<T>();
}

// Content-Type, Content-Disposition, Content-ID, Content-Transfer-Encoding, Mime-Version.
const CMimeHeaderFactory& GetMimeHeaderFactory();
// A new header of the factory's class for the name; free text when the factory knows no class.
std::shared_ptr<CMimeHeader> MakeHeader(const CMimeHeaderFactory& factory, const std::string& name);
// A header parsed from its value bytes: the factory's class, or free text when
// that class cannot read the value; null when neither can. A failed parse
// sets failed (when given) and is logged unless quiet.
std::shared_ptr<CMimeHeader> CreateHeaderFromText(const std::string& name, const char* value, size_t length,
                                                  const CMimeHeaderFactory& factory, bool* failed = nullptr,
                                                  bool quiet = false);

class CContentTypeHeader;
class CContentDispositionHeader;

// Anything that holds headers: header maps, MIME entities, messages.
class IMimeHeaderContainer {
public:
    using HeaderPtr = std::shared_ptr<CMimeHeader>;

    // The first header of the name, or with after set the one that follows
    // after; null when there is none.
    virtual HeaderPtr FindHeader(const char* name, const CMimeHeader* after = nullptr) const = 0;
    virtual bool HasHeaders() const = 0;
    // Inserts the header after any of the same name.
    virtual void AddHeader(const HeaderPtr& header) = 0;
    virtual void RemoveHeaders(const char* name) = 0;
    virtual void ClearHeaders() = 0;
    // Makes a header of the name through the container's factory and adds it.
    virtual HeaderPtr CreateHeader(const char* name) = 0;
    virtual ~IMimeHeaderContainer() = default;

    // The value of the first header of the name, or an empty value.
    Value GetHeaderValue(const char* name) const;
    // The value of the first header of the name as it was sent; present tells
    // whether there is one.
    std::string GetHeaderText(const char* name, bool& present) const;
    // The first header of the name that is a T; null when there is none.
    template <class T>
    std::shared_ptr<T> FindHeaderAs(const char* name) const
    {
        for (HeaderPtr header = FindHeader(name); header; header = FindHeader(name, header.get())) {
            if (auto typed = std::dynamic_pointer_cast<T>(header))
                return typed;
        }
        return nullptr;
    }
    // Gives the value to the first header of the name, made when missing; an
    // empty value changes nothing.
    void SetHeaderValue(const char* name, const Value& value);
    // The media type of the typed Content-Type header; empty when there is none.
    StringW GetContentTypeText() const;
    // The ContentType id of that media type; text/plain when there is none.
    int32_t GetContentTypeId() const;
    // The typed header, replacing a header of that name of another class.
    std::shared_ptr<CContentTypeHeader> GetContentTypeHeader();
    std::shared_ptr<CContentDispositionHeader> GetContentDispositionHeader();
    // Sets the media type of the Content-Type header, keeping its parameters.
    void SetContentType(int32_t contentTypeId);
};

// Headers by name; headers of one name keep the order they were added in.
class CMimeHeaderMap : public IMimeHeaderContainer {
public:
    using HeaderMultimap = std::multimap<std::string, HeaderPtr, HeaderNameLess>;

    HeaderPtr FindHeader(const char* name, const CMimeHeader* after = nullptr) const override;
    bool HasHeaders() const override;
    void AddHeader(const HeaderPtr& header) override;
    void RemoveHeaders(const char* name) override;
    void ClearHeaders() override;
    HeaderPtr CreateHeader(const char* name) override;
    // Writes every header line with CR LF: headers made by code first, ordered
    // by name, then parsed headers in the order they were read. Headers of the
    // name left out are not written.
    virtual void FormatHeaders(IOutStream& stream, uint32_t codePage, bool fold,
                               const char* leftOut = nullptr) const;

    const HeaderMultimap& GetHeaders() const { return m_headers; }

private:
    HeaderMultimap m_headers;
};

// Reads a header block into the container (which is cleared first) and
// returns the position after it: after its empty line, or the end of the data.
// Bad lines are logged and skipped; nothing raises.
size_t ParseHeaderBlock(const char* data, size_t length, IMimeHeaderContainer& container,
                        const CMimeHeaderFactory& factory);

} // namespace Quenzal::Net

#pragma once
// Header lines of MIME entities and HTTP messages as objects: the name, where
// a parsed header stood in its block and the line as read, plus the value in
// typed form (free text, one word, a message id, a date, a media type or a
// disposition with parameters). Structured headers read their value through
// one tokenizer; parameters follow RFC 2231.

#include "DateTime.h"
#include "StringW.h"
#include "Value.h"

#include <boost/noncopyable.hpp>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Quenzal::Net {

// One token of a structured header value.
struct MimeToken {
    static constexpr int32_t Word = 0;
    static constexpr int32_t Special = 1;

    int32_t kind = Word;
    // A word's atom or quoted-string contents; a special's one character.
    std::string text;

    bool IsWord() const { return kind == Word; }
    bool IsSpecial(char ch) const { return kind == Special && text.size() == 1 && text[0] == ch; }
    // The text of a word; empty for a special.
    std::string WordText() const { return kind == Word ? text : std::string(); }
};
using MimeTokens = std::vector<MimeToken>;

// Whether there is a token at index and it is a word, or the special ch.
bool IsWordAt(const MimeTokens& tokens, size_t index);
bool IsSpecialAt(const MimeTokens& tokens, size_t index, char ch);
// Whether the tokens from index read "; name = value" (both words).
bool IsParameterAt(const MimeTokens& tokens, size_t index);

// Orders header names without regard to case (_stricmp).
struct HeaderNameLess {
    bool operator()(const std::string& left, const std::string& right) const
    {
        return _stricmp(left.c_str(), right.c_str()) < 0;
    }
};

// Raises CException when the text holds a CR or LF: a value written into a
// header line must not be able to start a line of its own.
void RefuseLineBreaks(const std::string& text, const std::string& headerName);
void RefuseLineBreaks(const std::wstring& text, const std::string& headerName);
// The value between double quotes, with '"' and '\' escaped by a backslash.
std::string QuoteString(const std::string& value);
// The value as it may appear in the log: the value of a header that carries
// credentials is hidden, a long one cut (a server chooses its length).
std::string LoggableHeaderValue(const std::string& headerName, const std::string& value);

// The root of all header classes; always held by shared pointer.
class CMimeHeader : private boost::noncopyable {
public:
    explicit CMimeHeader(const std::string& name);
    virtual ~CMimeHeader();

    // Sets the value from the bytes after the colon.
    virtual void Parse(const char* data, size_t length) = 0;
    // The header line without line end: the line as read for a parsed header,
    // else "name: value"; empty when the value is empty.
    virtual std::string Format(uint32_t codePage, bool fold) const;
    virtual std::string FormatValue(uint32_t codePage, bool fold) const = 0;
    virtual Value GetValue() const = 0;
    virtual void SetValue(const Value& value) = 0;

    const std::string& GetName() const { return m_name; }
    // -1 for a header made by code, else its position in the block it was read from.
    int32_t GetOrder() const { return m_order; }
    void SetOrder(int32_t order) { m_order = order; }
    const std::string& GetRawLine() const { return m_rawLine; }
    void SetRawLine(const std::string& rawLine) { m_rawLine = rawLine; }

private:
    const std::string m_name;
    int32_t m_order = -1;
    std::string m_rawLine;
};

// Free text: any header whose name the factory does not know.
class CUnstructuredMimeHeader : public CMimeHeader {
public:
    explicit CUnstructuredMimeHeader(const std::string& name);

    void Parse(const char* data, size_t length) override;
    std::string FormatValue(uint32_t codePage, bool fold) const override;
    Value GetValue() const override;
    void SetValue(const Value& value) override;

    const StringW& GetText() const { return m_value; }
    void SetText(const std::wstring& value) { m_value = value; }

private:
    StringW m_value;
};

// A value read as a token list.
class CStructuredMimeHeader : public CMimeHeader {
public:
    using CMimeHeader::CMimeHeader;

    void Parse(const char* data, size_t length) override;
    Value GetValue() const override;
    void SetValue(const Value& value) override;
    virtual bool IsSpecial(char ch) const;
    // Builds the value from the tokens, starting at index and moving it on.
    virtual void ParseTokens(const MimeTokens& tokens, size_t& index) = 0;

    // The token list of a header value as this header's specials cut it.
    MimeTokens Tokenize(const char* data, size_t length) const;

protected:
    // '"', '(', ')', ',', '.', ':', ';', '<', '>', '@', '[', '\', ']'.
    static bool IsBaseSpecial(char ch);
};

// A structured value kept as one text, written back as it is; what the
// text may hold is up to the subclass's ParseTokens.
class CSingleTextMimeHeader : public CStructuredMimeHeader {
public:
    using CStructuredMimeHeader::CStructuredMimeHeader;

    std::string FormatValue(uint32_t codePage, bool fold) const override;
    Value GetValue() const override;
    void SetValue(const Value& value) override;

    const StringW& GetText() const { return m_value; }
    void SetText(const std::wstring& value) { m_value = value; }

protected:
    StringW m_value;
};

// A single word: "Mime-Version", "Content-Transfer-Encoding".
class CWordMimeHeader : public CSingleTextMimeHeader {
public:
    using CSingleTextMimeHeader::CSingleTextMimeHeader;

    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
};

// A message id with its angle brackets: "Content-ID".
class CMessageIdMimeHeader : public CSingleTextMimeHeader {
public:
    using CSingleTextMimeHeader::CSingleTextMimeHeader;

    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
};

// An Internet date; the zero date means there is none.
class CDateMimeHeader : public CStructuredMimeHeader {
public:
    using CStructuredMimeHeader::CStructuredMimeHeader;

    std::string FormatValue(uint32_t codePage, bool fold) const override;
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;

    const DateTime& GetDate() const { return m_date; }
    void SetDate(const DateTime& date) { m_date = date; }

protected:
    DateTime m_date;
};

// A main value followed by "; name=value" parameters, with the RFC 2231
// forms (extended values and numbered sections).
class CParameterizedMimeHeader : public CStructuredMimeHeader {
public:
    using CStructuredMimeHeader::CStructuredMimeHeader;

    bool IsSpecial(char ch) const override;
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    virtual void SetParameter(const StringW& name, const StringW& value) = 0;

protected:
    // Appends "; name=value" with the value quoted and escaped (unless it is
    // an extended value), folding before the piece when it would reach
    // column 79; lineLength counts the current line. An empty value adds nothing.
    void AppendParameter(std::string& text, const char* name, const std::string& value, size_t& lineLength,
                         bool fold, bool quoted) const;
};

class CContentTypeHeader : public CParameterizedMimeHeader {
public:
    static constexpr size_t ParameterCount = 16;

    CContentTypeHeader();

    std::string FormatValue(uint32_t codePage, bool fold) const override;
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    // Keeps the parameters whose names are well known; ignores the others.
    void SetParameter(const StringW& name, const StringW& value) override;

    const StringW& GetMediaType() const { return m_mediaType; }
    void SetMediaType(const std::wstring& mediaType) { m_mediaType = mediaType; }
    // The value of a well-known parameter (a MimeParameter id); empty when unset.
    StringW GetParameterValue(int32_t id) const;
    void SetParameterValue(int32_t id, const std::wstring& value);

private:
    StringW m_mediaType;
    std::array<StringW, ParameterCount> m_parameters;
};

class CContentDispositionHeader : public CParameterizedMimeHeader {
public:
    CContentDispositionHeader();

    std::string FormatValue(uint32_t codePage, bool fold) const override;
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    // Keeps name, filename, creation-date and modification-date.
    void SetParameter(const StringW& name, const StringW& value) override;

    // A ContentDispositionType id; -1 when none.
    int32_t GetType() const { return m_type; }
    void SetType(int32_t type) { m_type = type; }
    const StringW& GetFileName() const { return m_fileName; }
    void SetFileName(const std::wstring& fileName) { m_fileName = fileName; }
    const DateTime& GetCreationDate() const { return m_creationDate; }
    void SetCreationDate(const DateTime& date) { m_creationDate = date; }
    const DateTime& GetModificationDate() const { return m_modificationDate; }
    void SetModificationDate(const DateTime& date) { m_modificationDate = date; }
    // The "name" parameter (the field name of form data).
    const StringW& GetNameParameter() const { return m_nameParameter; }
    void SetNameParameter(const std::wstring& name) { m_nameParameter = name; }

private:
    int32_t m_type = -1;
    StringW m_fileName;
    DateTime m_creationDate;
    DateTime m_modificationDate;
    StringW m_nameParameter;
};

} // namespace Quenzal::Net

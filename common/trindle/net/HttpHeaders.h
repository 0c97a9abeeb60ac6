#pragma once
// The headers HTTP understands beyond MIME: dates, comma lists of codings and
// directives, authentication challenges and credentials (Basic and Digest),
// the Accept family, and the factory through which HTTP messages make headers.

#include "MimeHeaderMap.h"

#include <map>
#include <string>
#include <vector>

namespace Quenzal::Net {

// A date header named as it was asked for ("Date", "Last-Modified", ...).
class CDateHttpHeader : public CDateMimeHeader {
public:
    explicit CDateHttpHeader(const std::string& name);

    // The date in UTC as an Internet date; empty for the zero date.
    std::string FormatValue(uint32_t codePage, bool fold) const override;
    Value GetValue() const override;
    // The date of a date value; the zero date for any other kind.
    void SetValue(const Value& value) override;
};

class CExpiresHeader : public CDateHttpHeader {
public:
    CExpiresHeader();

    // "-1" for the zero date.
    std::string FormatValue(uint32_t codePage, bool fold) const override;
};

// A comma list of which one known item is kept, as an id of the header's table.
class CCommaDelimitedListHeader : public CStructuredMimeHeader {
public:
    CCommaDelimitedListHeader(const std::string& name, int32_t initialId);

    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    virtual void AddListItem(const std::string& text) = 0;

    int32_t GetId() const { return m_id; }
    void SetId(int32_t id) { m_id = id; }

protected:
    int32_t m_id;
};

// Keeps the first known directive.
class CCacheControlHeader : public CCommaDelimitedListHeader {
public:
    CCacheControlHeader();
    std::string FormatValue(uint32_t codePage, bool fold) const override;
    void AddListItem(const std::string& text) override;
};

// Keeps the first known option.
class CConnectionHeader : public CCommaDelimitedListHeader {
public:
    CConnectionHeader();
    std::string FormatValue(uint32_t codePage, bool fold) const override;
    void AddListItem(const std::string& text) override;
};

// Keeps the first known coding other than identity.
class CContentEncodingHeader : public CCommaDelimitedListHeader {
public:
    CContentEncodingHeader();
    std::string FormatValue(uint32_t codePage, bool fold) const override;
    void AddListItem(const std::string& text) override;
};

// Keeps the first known coding other than identity, and every coding of the
// list in the order the sender applied them (unknown ones as -1).
class CTransferEncodingHeader : public CCommaDelimitedListHeader {
public:
    CTransferEncodingHeader();
    std::string FormatValue(uint32_t codePage, bool fold) const override;
    void AddListItem(const std::string& text) override;

    const std::vector<int32_t>& GetCodings() const { return m_codings; }
    // Chunks frame the body: chunked is the last coding read, or the coding
    // of a header made by code.
    bool IsChunked() const;

private:
    std::vector<int32_t> m_codings;
};

// A main token followed by comma-separated name=value parameters.
class CParameterizedHttpHeader : public CStructuredMimeHeader {
public:
    using CStructuredMimeHeader::CStructuredMimeHeader;

    bool IsSpecial(char ch) const override;
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    virtual void SetParameter(const StringW& name, const StringW& value) = 0;
    // A ";name=value" following a parameter; ignored.
    virtual void SetExtraParameter(const StringW& name, const StringW& value);

protected:
    // Appends " name=value," with the value quoted and escaped when quoted is
    // set; nothing for an empty value. With fold set, a line break goes before
    // an item that would pass column 78.
    void AppendItem(std::string& text, const char* name, const std::string& value, bool quoted, bool fold) const;
    static void RemoveTrailingCommas(std::string& text);
};

// The scheme and the parameters both sides of an authentication share.
class CAuthenticationHeader : public CParameterizedHttpHeader {
public:
    explicit CAuthenticationHeader(const std::string& name);

    std::string FormatValue(uint32_t codePage, bool fold) const override;
    // Sets the scheme by its name; an unknown name leaves none (logged).
    void SetValue(const Value& value) override;
    void SetParameter(const StringW& name, const StringW& value) override;

    // An AuthenticationScheme id; -1 when none.
    int32_t GetScheme() const { return m_scheme; }
    void SetScheme(int32_t scheme) { m_scheme = scheme; }
    // The qop becomes the name of a DigestQop id (empty for -1: no qop).
    void SetQop(int32_t qopId);
    const StringW& GetQop() const { return m_qop; }
    const StringW& GetRealm() const { return m_realm; }
    void SetRealm(const std::wstring& realm) { m_realm = realm; }
    const StringW& GetAlgorithm() const { return m_algorithm; }
    void SetAlgorithm(const std::wstring& algorithm) { m_algorithm = algorithm; }
    const StringW& GetNonce() const { return m_nonce; }
    void SetNonce(const std::wstring& nonce) { m_nonce = nonce; }
    const StringW& GetOpaque() const { return m_opaque; }
    void SetOpaque(const std::wstring& opaque) { m_opaque = opaque; }

protected:
    // The scheme's name and, for Digest, realm, qop, algorithm, nonce and
    // opaque items (trailing comma kept); empty (logged) without a scheme.
    std::string FormatSchemeAndParameters(bool fold, bool quoteQop) const;

    int32_t m_scheme = -1;
    StringW m_realm;
    StringW m_qop;
    StringW m_algorithm;
    StringW m_nonce;
    StringW m_opaque;
};

// "WWW-Authenticate".
class CAuthenticationChallengeHeader : public CAuthenticationHeader {
public:
    CAuthenticationChallengeHeader();

    std::string FormatValue(uint32_t codePage, bool fold) const override;
    // A challenge that offers no qop leaves none.
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    void SetParameter(const StringW& name, const StringW& value) override;

    const StringW& GetDomain() const { return m_domain; }
    void SetDomain(const std::wstring& domain) { m_domain = domain; }
    bool IsStale() const { return m_stale; }
    void SetStale(bool stale) { m_stale = stale; }
    // Basic, or Digest with MD5 and a qop of "auth" or none: any other needs
    // a computation this client lacks (another hash, the body's for "auth-int").
    bool CanBeAnswered() const;

private:
    StringW m_domain;
    bool m_stale = false;
};

// "Authorization": Basic or Digest credentials, computed when formatted.
class CAuthenticationCredentialsHeader : public CAuthenticationHeader {
public:
    CAuthenticationCredentialsHeader();

    std::string FormatValue(uint32_t codePage, bool fold) const override;
    // Reads Basic credentials; any other scheme raises.
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    void SetParameter(const StringW& name, const StringW& value) override;

    // The 16-byte MD5 Digest response (RFC 2617, or RFC 2069 without qop).
    std::string ComputeDigestResponse(const StringW& ha1, const StringW& cnonce) const;

    const StringW& GetUser() const { return m_user; }
    void SetUser(const std::wstring& user) { m_user = user; }
    const StringW& GetPassword() const { return m_password; }
    void SetPassword(const std::wstring& password) { m_password = password; }
    // A precomputed lower-case hexadecimal H(A1) used in place of the password.
    const StringW& GetPasswordHash() const { return m_passwordHash; }
    void SetPasswordHash(const std::wstring& hash) { m_passwordHash = hash; }
    // The response bytes of parsed credentials.
    const std::string& GetResponse() const { return m_response; }
    // An HttpMethod id; -1 when none.
    int32_t GetMethod() const { return m_method; }
    void SetMethod(int32_t method) { m_method = method; }
    const StringW& GetUri() const { return m_uri; }
    void SetUri(const std::wstring& uri) { m_uri = uri; }
    // Eight hexadecimal digits.
    const StringW& GetNonceCount() const { return m_nonceCount; }
    void SetNonceCount(const std::wstring& nonceCount) { m_nonceCount = nonceCount; }
    const StringW& GetCnonce() const { return m_cnonce; }

private:
    StringW m_user;
    StringW m_password;
    StringW m_passwordHash;
    std::string m_response;
    int32_t m_method = -1;
    StringW m_uri;
    StringW m_nonceCount;
    StringW m_cnonce;
};

// H(A1) of Digest: the lower-case hexadecimal MD5 of "user:realm:password" in UTF-8.
StringW ComputeDigestHa1(const StringW& realm, const StringW& user, const StringW& password);
// 32 hexadecimal digits from the operating system's random generator.
StringW CreateCnonce();

// Names with qualities ("text/html; q=0.8").
class CAcceptHeader : public CStructuredMimeHeader {
public:
    struct NameLess {
        bool operator()(const std::wstring& left, const std::wstring& right) const
        {
            return _wcsicmp(left.c_str(), right.c_str()) < 0;
        }
    };
    using Items = std::map<StringW, double, NameLess>;

    using CStructuredMimeHeader::CStructuredMimeHeader;

    bool IsSpecial(char ch) const override;
    void ParseTokens(const MimeTokens& tokens, size_t& index) override;
    std::string FormatValue(uint32_t codePage, bool fold) const override;

    const Items& GetItems() const { return m_items; }
    void SetQuality(const std::wstring& name, double quality) { m_items[name] = quality; }

private:
    Items m_items;
};

class CAcceptContentTypeHeader : public CAcceptHeader {
public:
    CAcceptContentTypeHeader() : CAcceptHeader("Accept") {}
};

class CAcceptContentEncodingHeader : public CAcceptHeader {
public:
    CAcceptContentEncodingHeader() : CAcceptHeader("Accept-Encoding") {}
};

class CAcceptCharsetHeader : public CAcceptHeader {
public:
    CAcceptCharsetHeader() : CAcceptHeader("Accept-Charset") {}
};

class CAcceptLanguageHeader : public CAcceptHeader {
public:
    CAcceptLanguageHeader() : CAcceptHeader("Accept-Language") {}
};

// The MIME header classes and the HTTP ones above.
const CMimeHeaderFactory& GetHttpHeaderFactory();

} // namespace Quenzal::Net

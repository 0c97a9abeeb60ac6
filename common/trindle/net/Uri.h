#pragma once
// The address of an HTTP target: scheme, host, port, path and query
// parameters, with the names of parameters whose values logs must not show.

#include "Net.h"

#include <cstdint>
#include <string>

namespace Quenzal::Net {

// The pieces of URI text; the caller sets the defaults it wants kept when the
// text leaves a piece out.
struct UriParts {
    int32_t scheme = -1;
    std::string userInfo;
    std::string host;
    uint16_t port = 0;
    std::string path; // the query included
};

// Splits "scheme://userinfo@host:port/path?query#fragment" (scheme, user
// information, port, path and fragment may be missing; the fragment is
// dropped). False for a control character anywhere, an unknown scheme, an
// empty authority, a port that is no number in 0..65535, or a host that is
// empty or holds a blank.
bool ParseUri(const std::string& text, UriParts& parts, bool lowerCase);

class CUri {
public:
    CUri() = default;

    // Replaces scheme, host, port, path and query; user information and the
    // fragment are dropped.
    bool Parse(const std::string& text);
    std::string Format(bool withPathAndQuery, bool portAlways) const;
    // With path and query, the port only when not the scheme's default.
    std::string ToString() const;
    // Scheme, host and port, always with the port.
    std::string FormatServer() const;
    // The path (blanks as %20) and "?" with the query when there is one.
    std::string FormatPathAndQuery(bool masked) const;

    // A fragment ("#...") is dropped.
    void SetPathAndQuery(const std::string& text);
    void SetPath(const std::string& path);
    // Same scheme, host (without regard to case) and port.
    bool IsSameServer(const CUri& other) const;

    int32_t GetScheme() const { return m_scheme; }
    void SetScheme(int32_t scheme) { m_scheme = scheme; }
    const std::string& GetHost() const { return m_host; }
    void SetHost(const std::string& host) { m_host = host; }
    uint16_t GetPort() const { return m_port; }
    void SetPort(uint16_t port) { m_port = port; }
    const std::string& GetPath() const { return m_path; }
    QueryParameters& GetQueryParameters() { return m_query; }
    const QueryParameters& GetQueryParameters() const { return m_query; }
    MaskedNames& GetMaskedNames() { return m_maskedNames; }
    const MaskedNames& GetMaskedNames() const { return m_maskedNames; }

private:
    int32_t m_scheme = -1;
    std::string m_host;
    uint16_t m_port = 0;
    std::string m_path = "/";
    QueryParameters m_query;
    MaskedNames m_maskedNames;
};

bool IsValidUri(const std::string& text);
// A byte below 0x20 or DEL: none may stand in a request line or a header.
bool IsControlCharacter(char ch);

} // namespace Quenzal::Net

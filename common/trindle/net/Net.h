#pragma once
// Small helpers shared by the URI, MIME and HTTP code; Winsock start-up and the
// resolution of "host[:port]" texts.
// Winsock comes through <windows.h> (its winsock.h); <winsock2.h> would have to
// come before every <windows.h> and is not needed for IPv4 TCP.

#include "IpAddress.h"

#include "StringW.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace Quenzal::Net {

// True when the first '@' has at least one character on each side.
bool IsEmailAddress(const std::wstring& text);
// True when every character is below 0x80 (an empty text too).
bool IsAscii(const std::wstring& text);
// Narrow text in the code page as wide text, with the code-page fallbacks.
StringW ConvertToUnicode(const std::string& text, uint32_t codePage);
// "<host executable's base name>_<32 hex digits of a new GUID>", a multipart boundary.
std::string CreateUniqueBoundary();

// Finds the delimiter where it starts a line (at the buffer's start or after
// an LF) and is followed only by blanks and CRs up to the line's end. Returns
// its position and sets matchedLength to the delimiter with the rest of its
// line; std::string::npos when there is none.
size_t FindBoundaryLine(const char* data, size_t length, const std::string& delimiter, size_t& matchedLength);

// Orders narrow names without regard to case (_stricmp).
struct NoCaseLessA {
    bool operator()(const std::string& left, const std::string& right) const
    {
        return _stricmp(left.c_str(), right.c_str()) < 0;
    }
};

// Query parameters: names without regard to case, values as UTF-8 bytes;
// parameters of one name keep the order in which they were added.
using QueryParameters = std::multimap<std::string, std::string, NoCaseLessA>;
// Names of parameters whose values logs show as "********".
using MaskedNames = std::set<std::string, NoCaseLessA>;

// Adds the value (as UTF-8) after any of the same name; an empty value adds
// nothing, an empty name raises "Parameter name required".
void AddQueryParameter(QueryParameters& parameters, const std::string& name, const std::wstring& value);
// Replaces every parameter of the name (an empty value just removes them).
void SetQueryParameter(QueryParameters& parameters, const std::string& name, const std::wstring& value);
// Adds the pairs of "name=value&..." with the values URL-decoded; stops at the
// first empty name.
void ParseQueryString(const std::string& text, QueryParameters& parameters);
// "name=value&..." with the values URL-encoded, or "********" for masked names.
std::string FormatQueryString(const QueryParameters& parameters, const MaskedNames* maskedNames = nullptr);

// Starts Winsock 2.0 once per process; later calls do nothing. Winsock is
// never cleaned up.
void InitializeSockets();

// "name", "name:port", "10.1.2.3:port" or "*" (any address) as an endpoint;
// without a port the default port is used.
CIpAddress ResolveHostname(const std::wstring& host, unsigned short defaultPort);

} // namespace Quenzal::Net

#include "Uri.h"

#include "Logging.h"
#include "NameTables.h"

#include <algorithm>
#include <cctype>

namespace Quenzal::Net {

namespace {

const std::string kSchemeSeparator = "://";

void ToLower(std::string& text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char ch) { return static_cast<char>(tolower(static_cast<unsigned char>(ch))); });
}

uint16_t DefaultPort(int32_t scheme)
{
    return scheme == UriSchemeHttps ? 443 : 80;
}

// An optional '-', digits and at most one '.', read as atoi reads it; false
// for any other text and for a value outside 0..65535.
bool ParsePort(const std::string& text, uint16_t& port)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    bool seenPoint = false;
    bool inFraction = false;
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
        char ch = text[i];
        if (ch == '.') {
            if (seenPoint)
                return false;
            seenPoint = inFraction = true;
        } else if (ch >= '0' && ch <= '9') {
            if (!inFraction) {
                value = value * 10 + static_cast<uint32_t>(ch - '0');
                if (value > 65535)
                    return false;
            }
        } else {
            return false;
        }
    }
    if (negative && value != 0)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

} // namespace

bool IsControlCharacter(char ch)
{
    return HasControlCharacter(std::string_view(&ch, 1));
}

bool ParseUri(const std::string& text, UriParts& parts, bool lowerCase)
{
    // Control characters would reach the request line and split the request.
    if (text.empty() || HasControlCharacter(text))
        return false;
    std::string rest = text;
    size_t separator = text.find(kSchemeSeparator);
    if (separator != std::string::npos) {
        std::string schemeText = text.substr(0, separator);
        if (lowerCase)
            ToLower(schemeText);
        int32_t scheme = GetUriSchemeTable().LookupValue(StringW::FromAnsi(schemeText, CP_ACP));
        if (scheme == -1)
            return false;
        parts.scheme = scheme;
        rest = text.substr(separator + kSchemeSeparator.size());
    }

    // The authority ends where the path, the query or the fragment begins; the
    // fragment is the client's own and never part of the path.
    size_t pathStart = rest.find_first_of("/?#");
    if (pathStart != std::string::npos && rest[pathStart] != '#')
        parts.path = rest.substr(pathStart, rest.find('#', pathStart) - pathStart);
    std::string authority = rest.substr(0, pathStart);
    if (authority.empty())
        return false;

    std::string hostPart = authority;
    // The host is what follows the last '@': a password with an '@' of its
    // own must not end up as part of the host, which logs and thread names show.
    size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        parts.userInfo = authority.substr(0, at);
        hostPart = authority.substr(at + 1);
    }

    parts.port = 0;
    size_t colon = hostPart.rfind(':');
    if (colon != std::string::npos) {
        std::string portText = colon == 0 ? hostPart : hostPart.substr(colon + 1);
        if (!portText.empty() && !ParsePort(portText, parts.port))
            return false;
        size_t cut = portText.size() + 1;
        hostPart.resize(hostPart.size() > cut ? hostPart.size() - cut : 0);
    }
    if (hostPart.find(' ') != std::string::npos)
        return false;
    parts.host = hostPart;

    if (lowerCase) {
        ToLower(parts.userInfo);
        ToLower(parts.host);
        ToLower(parts.path);
    }
    return !parts.host.empty();
}

bool CUri::Parse(const std::string& text)
{
    UriParts parts;
    if (!ParseUri(text, parts, false))
        return false;
    if (parts.scheme == -1) {
        Logging::LogA(Logging::Error, ("Unable to determine URI scheme: " + text).c_str());
        return false;
    }
    m_scheme = parts.scheme;
    m_host = parts.host;
    m_port = parts.port != 0 ? parts.port : DefaultPort(m_scheme);
    SetPathAndQuery(parts.path);
    return m_scheme != -1 && !m_host.empty();
}

bool IsValidUri(const std::string& text)
{
    CUri uri;
    return uri.Parse(text);
}

void CUri::SetPathAndQuery(const std::string& whole)
{
    m_query.clear();
    const std::string text = whole.substr(0, whole.find('#'));
    size_t question = text.find('?');
    if (question == std::string::npos) {
        SetPath(text);
        return;
    }
    ParseQueryString(text.substr(question + 1), m_query);
    SetPath(text.substr(0, question));
}

void CUri::SetPath(const std::string& path)
{
    if (!path.empty() && path[0] == '/') {
        m_path = path;
    } else {
        m_path.assign(1, '/');
        m_path.append(path);
    }
}

std::string CUri::FormatPathAndQuery(bool masked) const
{
    std::string text;
    if (m_path.empty() || m_path[0] != '/')
        text.push_back('/');
    // A blank cannot stand in a request target; "+" would name another path.
    for (char ch : m_path) {
        if (ch == ' ')
            text.append("%20");
        else
            text.push_back(ch);
    }
    std::string query = FormatQueryString(m_query, masked ? &m_maskedNames : nullptr);
    if (!query.empty()) {
        text.push_back('?');
        text.append(query);
    }
    return text;
}

std::string CUri::Format(bool withPathAndQuery, bool portAlways) const
{
    if (m_host.empty() && (m_path.empty() || m_path == "/"))
        return std::string();
    std::string text;
    if (m_scheme != -1)
        text = StringW(GetUriSchemeTable().LookupName(m_scheme)).ToAnsi() + kSchemeSeparator;
    text += m_host;
    if (m_port != 0 && (portAlways || m_port != DefaultPort(m_scheme)))
        text.append(":").append(std::to_string(m_port));
    if (withPathAndQuery)
        text += FormatPathAndQuery(true);
    return text;
}

std::string CUri::ToString() const
{
    return Format(true, false);
}

std::string CUri::FormatServer() const
{
    return Format(false, true);
}

bool CUri::IsSameServer(const CUri& other) const
{
    return m_scheme == other.m_scheme && m_host.size() == other.m_host.size() &&
           _stricmp(m_host.c_str(), other.m_host.c_str()) == 0 && m_port == other.m_port;
}

} // namespace Quenzal::Net

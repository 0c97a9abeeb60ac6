#include "HttpHeaders.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "NameTables.h"
#include "NetEncoding.h"
#include "Util.h"

#include <cstdlib>

namespace Quenzal::Net {

namespace {

CException UnparsableHttpHeader(const std::string& name)
{
    return CException(L"Unable to parse HTTP header: " + StringW(name));
}

CException UnparsableMimeHeader(const std::string& name)
{
    return CException(L"Unable to parse MIME header: " + StringW(name));
}

bool IsName(const StringW& name, const wchar_t* expected)
{
    return _wcsicmp(name.c_str(), expected) == 0;
}

std::string Md5Hex(const std::string& text)
{
    return BytesToHex(CalculateMd5(text.data(), text.size()));
}

// The qop a client answers with, from the list a challenge offers ("auth,
// auth-int"): "auth" when offered, else the first one.
StringW ChooseQop(const StringW& offered)
{
    StringW first;
    for (const StringW& item : Split(offered, L',')) {
        StringW qop = item.Trimmed();
        if (IsName(qop, L"auth"))
            return qop;
        if (first.empty())
            first = qop;
    }
    return first;
}

} // namespace

// Dates

CDateHttpHeader::CDateHttpHeader(const std::string& name) : CDateMimeHeader(name) {}

std::string CDateHttpHeader::FormatValue(uint32_t, bool) const
{
    if (m_date.IsNull())
        return std::string();
    const DateTime utc = m_date.IsUtc() ? m_date : m_date.ToUtc();
    return utc.FormatRfc1123().ToAnsi();
}

Value CDateHttpHeader::GetValue() const
{
    Value value;
    value.MakeDateTime() = m_date;
    return value;
}

void CDateHttpHeader::SetValue(const Value& value)
{
    if (value.GetKind() == Value::KindDateTime) {
        Value copy(value);
        m_date = copy.MakeDateTime();
    } else {
        m_date = DateTime();
    }
}

CExpiresHeader::CExpiresHeader() : CDateHttpHeader("Expires") {}

std::string CExpiresHeader::FormatValue(uint32_t codePage, bool fold) const
{
    if (m_date.IsNull())
        return "-1";
    return CDateHttpHeader::FormatValue(codePage, fold);
}

// Comma lists

CCommaDelimitedListHeader::CCommaDelimitedListHeader(const std::string& name, int32_t initialId)
    : CStructuredMimeHeader(name), m_id(initialId)
{
}

void CCommaDelimitedListHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    while (index < tokens.size()) {
        std::string item;
        while (index < tokens.size() && !tokens[index].IsSpecial(','))
            item += tokens[index++].text;
        if (!item.empty())
            AddListItem(item);
        if (index < tokens.size())
            ++index;
    }
}

CCacheControlHeader::CCacheControlHeader() : CCommaDelimitedListHeader("Cache-Control", -1) {}

std::string CCacheControlHeader::FormatValue(uint32_t, bool) const
{
    return GetCacheControlDirectiveTable().LookupName(m_id);
}

void CCacheControlHeader::AddListItem(const std::string& text)
{
    if (m_id == -1)
        m_id = GetCacheControlDirectiveTable().LookupValue(text);
}

CConnectionHeader::CConnectionHeader() : CCommaDelimitedListHeader("Connection", -1) {}

std::string CConnectionHeader::FormatValue(uint32_t, bool) const
{
    return GetConnectionOptionTable().LookupName(m_id);
}

void CConnectionHeader::AddListItem(const std::string& text)
{
    if (m_id == -1)
        m_id = GetConnectionOptionTable().LookupValue(text);
}

CContentEncodingHeader::CContentEncodingHeader()
    : CCommaDelimitedListHeader("Content-Encoding", ContentCodingIdentity)
{
}

std::string CContentEncodingHeader::FormatValue(uint32_t, bool) const
{
    return StringW(GetContentCodingTable().LookupName(m_id)).ToAnsi();
}

void CContentEncodingHeader::AddListItem(const std::string& text)
{
    const int32_t id = GetContentCodingTable().LookupValue(StringW(text));
    if (m_id == ContentCodingIdentity && id != -1)
        m_id = id;
}

CTransferEncodingHeader::CTransferEncodingHeader()
    : CCommaDelimitedListHeader("Transfer-Encoding", TransferCodingIdentity)
{
}

std::string CTransferEncodingHeader::FormatValue(uint32_t, bool) const
{
    return StringW(GetTransferCodingTable().LookupName(m_id)).ToAnsi();
}

void CTransferEncodingHeader::AddListItem(const std::string& text)
{
    const int32_t id = GetTransferCodingTable().LookupValue(StringW(text));
    if (m_id == TransferCodingIdentity && id != -1)
        m_id = id;
    m_codings.push_back(id);
}

bool CTransferEncodingHeader::IsChunked() const
{
    return m_codings.empty() ? m_id == TransferCodingChunked : m_codings.back() == TransferCodingChunked;
}

// Parameterized headers

bool CParameterizedHttpHeader::IsSpecial(char ch) const
{
    return IsBaseSpecial(ch) || ch == '=';
}

void CParameterizedHttpHeader::SetExtraParameter(const StringW&, const StringW&) {}

void CParameterizedHttpHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    if (!(IsWordAt(tokens, index) && (index + 1 == tokens.size() || IsWordAt(tokens, index + 1))))
        QZL_THROW(QZL_FUNCTION, UnparsableHttpHeader(GetName()));
    SetValue(Value(std::wstring(StringW(tokens[index].text))));
    ++index;
    for (;;) {
        if (!(IsWordAt(tokens, index) && IsSpecialAt(tokens, index + 1, '=') && IsWordAt(tokens, index + 2))) {
            if (index >= tokens.size())
                return;
            QZL_THROW(QZL_FUNCTION, UnparsableMimeHeader(GetName()));
        }
        SetParameter(StringW(tokens[index].text), StringW(tokens[index + 2].text));
        index += 3;
        while (IsParameterAt(tokens, index)) {
            SetExtraParameter(StringW(tokens[index + 1].text), StringW(tokens[index + 3].text));
            index += 4;
        }
        if (index < tokens.size()) {
            if (!IsSpecialAt(tokens, index, ','))
                QZL_THROW(QZL_FUNCTION, UnparsableHttpHeader(GetName()));
            ++index;
        }
    }
}

void CParameterizedHttpHeader::AppendItem(std::string& text, const char* name, const std::string& value, bool quoted,
                                          bool fold) const
{
    if (value.empty())
        return;
    RefuseLineBreaks(value, GetName());
    const std::string item = std::string(" ") + name + "=" + (quoted ? QuoteString(value) : value) + ",";
    if (fold && text.size() + 2 + GetName().size() + item.size() > 78)
        text += "\r\n\t";
    text += item;
}

void CParameterizedHttpHeader::RemoveTrailingCommas(std::string& text)
{
    while (!text.empty() && text.back() == ',')
        text.pop_back();
}

// Authentication

CAuthenticationHeader::CAuthenticationHeader(const std::string& name) : CParameterizedHttpHeader(name)
{
    SetQop(DigestQopAuth);
    m_algorithm = L"MD5";
}

void CAuthenticationHeader::SetValue(const Value& value)
{
    const StringW text = value.GetStringW();
    m_scheme = GetAuthenticationSchemeTable().LookupValue(text);
    if (m_scheme == -1)
        Logging::Log(Logging::Warning, (L"Unknown authentication scheme: " + text).c_str());
}

void CAuthenticationHeader::SetQop(int32_t qopId)
{
    m_qop = GetDigestQopTable().LookupName(qopId);
}

void CAuthenticationHeader::SetParameter(const StringW& name, const StringW& value)
{
    if (IsName(name, L"realm"))
        m_realm = value;
    if (m_scheme != AuthenticationSchemeDigest)
        return;
    if (IsName(name, L"qop"))
        m_qop = ChooseQop(value);
    else if (IsName(name, L"algorithm"))
        m_algorithm = value;
    else if (IsName(name, L"nonce"))
        m_nonce = value;
    else if (IsName(name, L"opaque"))
        m_opaque = value;
}

std::string CAuthenticationHeader::FormatSchemeAndParameters(bool fold, bool quoteQop) const
{
    if (m_scheme == -1) {
        Logging::Log(Logging::Error, L"Unknown authentication scheme");
        return std::string();
    }
    std::string text = StringW(GetAuthenticationSchemeTable().LookupName(m_scheme)).ToAnsi();
    if (m_scheme == AuthenticationSchemeDigest) {
        AppendItem(text, "realm", m_realm.ToUtf8(), true, fold);
        AppendItem(text, "qop", m_qop.ToAnsi(), quoteQop, fold);
        AppendItem(text, "algorithm", m_algorithm.ToAnsi(), false, fold);
        AppendItem(text, "nonce", m_nonce.ToAnsi(), true, fold);
        AppendItem(text, "opaque", m_opaque.ToAnsi(), true, fold);
    }
    return text;
}

std::string CAuthenticationHeader::FormatValue(uint32_t, bool fold) const
{
    // A challenge offers its qop values as a quoted list.
    std::string text = FormatSchemeAndParameters(fold, true);
    RemoveTrailingCommas(text);
    return text;
}

CAuthenticationChallengeHeader::CAuthenticationChallengeHeader() : CAuthenticationHeader("WWW-Authenticate") {}

void CAuthenticationChallengeHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    // Without a qop parameter the server expects the RFC 2069 answer.
    m_qop.clear();
    CAuthenticationHeader::ParseTokens(tokens, index);
}

void CAuthenticationChallengeHeader::SetParameter(const StringW& name, const StringW& value)
{
    CAuthenticationHeader::SetParameter(name, value);
    if (m_scheme != AuthenticationSchemeDigest)
        return;
    if (IsName(name, L"domain"))
        m_domain = value;
    else if (IsName(name, L"stale"))
        m_stale = IsName(value, L"TRUE");
}

bool CAuthenticationChallengeHeader::CanBeAnswered() const
{
    if (m_scheme == AuthenticationSchemeBasic)
        return true;
    return m_scheme == AuthenticationSchemeDigest && IsName(m_algorithm, L"MD5") &&
           (m_qop.empty() || IsName(m_qop, L"auth"));
}

std::string CAuthenticationChallengeHeader::FormatValue(uint32_t, bool fold) const
{
    std::string text = FormatSchemeAndParameters(fold, true);
    if (text.empty())
        return text;
    if (m_scheme == AuthenticationSchemeDigest) {
        AppendItem(text, "domain", m_domain.ToAnsi(), true, fold);
        if (m_stale)
            AppendItem(text, "stale", "TRUE", true, fold);
    }
    RemoveTrailingCommas(text);
    return text;
}

CAuthenticationCredentialsHeader::CAuthenticationCredentialsHeader()
    : CAuthenticationHeader("Authorization"), m_nonceCount(L"00000001")
{
}

void CAuthenticationCredentialsHeader::SetParameter(const StringW& name, const StringW& value)
{
    CAuthenticationHeader::SetParameter(name, value);
    if (m_scheme != AuthenticationSchemeDigest)
        return;
    if (IsName(name, L"username"))
        m_user = value;
    else if (IsName(name, L"uri"))
        m_uri = value;
    else if (IsName(name, L"nc"))
        m_nonceCount = value;
    else if (IsName(name, L"cnonce"))
        m_cnonce = value;
    else if (IsName(name, L"response"))
        m_response = HexDecode(value.ToAnsi());
}

void CAuthenticationCredentialsHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    if (!(IsWordAt(tokens, index) && (index + 1 == tokens.size() || IsWordAt(tokens, index + 1))))
        QZL_THROW(QZL_FUNCTION, UnparsableHttpHeader(GetName()));
    SetValue(Value(std::wstring(StringW(tokens[index].text))));
    ++index;
    if (m_scheme != AuthenticationSchemeBasic)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"HTTP authentication method in Authorization header is not supported"));
    if (!IsWordAt(tokens, index))
        QZL_THROW(QZL_FUNCTION, UnparsableHttpHeader(GetName()));
    // The "=" padding of the Base64 text comes as specials of its own.
    std::string encoded = tokens[index++].text;
    while (IsSpecialAt(tokens, index, '=')) {
        encoded.push_back('=');
        ++index;
    }
    if (index != tokens.size())
        QZL_THROW(QZL_FUNCTION, UnparsableHttpHeader(GetName()));
    // The user name ends at the first colon; the password may hold colons.
    const std::string pair = Base64Decode(encoded);
    const size_t colon = pair.find(':');
    m_user = StringW(pair.substr(0, colon));
    m_password = colon == std::string::npos ? StringW() : StringW(pair.substr(colon + 1));
}

std::string CAuthenticationCredentialsHeader::ComputeDigestResponse(const StringW& ha1, const StringW& cnonce) const
{
    const std::string a2 = StringW(GetHttpMethodTable().LookupName(m_method)).ToAnsi() + ":" + m_uri.ToAnsi();
    const std::string ha2 = Md5Hex(a2);
    std::string text = ha1.ToAnsi() + ":" + m_nonce.ToAnsi() + ":";
    if (!m_qop.empty())
        text += m_nonceCount.ToAnsi() + ":" + cnonce.ToAnsi() + ":" + m_qop.ToAnsi() + ":";
    text += ha2;
    return CalculateMd5(text.data(), text.size());
}

std::string CAuthenticationCredentialsHeader::FormatValue(uint32_t, bool fold) const
{
    // RFC 7616: qop, nc and algorithm are tokens and stand unquoted here.
    std::string text = FormatSchemeAndParameters(fold, false);
    if (text.empty())
        return text;
    if (m_scheme == AuthenticationSchemeBasic)
        return text + " " + Base64Encode(StringW(m_user + L":" + m_password).ToAnsi());
    if (m_scheme != AuthenticationSchemeDigest) {
        Logging::Log(Logging::Error, L"Unknown authentication scheme");
        return std::string();
    }
    AppendItem(text, "username", m_user.ToUtf8(), true, fold);
    AppendItem(text, "uri", m_uri.ToAnsi(), true, fold);
    StringW cnonce;
    if (!m_qop.empty()) {
        cnonce = CreateCnonce();
        AppendItem(text, "cnonce", cnonce.ToAnsi(), true, fold);
        AppendItem(text, "nc", m_nonceCount.ToAnsi(), false, fold);
    }
    const StringW ha1 = m_passwordHash.empty() ? ComputeDigestHa1(m_realm, m_user, m_password) : m_passwordHash;
    AppendItem(text, "response", BytesToHex(ComputeDigestResponse(ha1, cnonce)), true, fold);
    RemoveTrailingCommas(text);
    return text;
}

StringW ComputeDigestHa1(const StringW& realm, const StringW& user, const StringW& password)
{
    return StringW(Md5Hex(user.ToUtf8() + ":" + realm.ToUtf8() + ":" + password.ToUtf8()));
}

StringW CreateCnonce()
{
    return StringW(BytesToHex(GenerateRandomData().substr(0, 16)));
}

// Accept

bool CAcceptHeader::IsSpecial(char ch) const
{
    // A quality has a decimal point, so "." cannot cut a token here.
    if (ch == '.')
        return false;
    return IsBaseSpecial(ch) || ch == '=';
}

void CAcceptHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    while (IsWordAt(tokens, index)) {
        const StringW name(tokens[index++].text);
        double quality = 1.0;
        while (IsParameterAt(tokens, index)) {
            if (tokens[index + 1].text == "q")
                quality = atof(tokens[index + 3].text.c_str());
            index += 4;
        }
        m_items[name] = quality;
        if (index < tokens.size()) {
            if (!IsSpecialAt(tokens, index, ','))
                QZL_THROW(QZL_FUNCTION, UnparsableHttpHeader(GetName()));
            ++index;
        }
    }
    if (index < tokens.size())
        QZL_THROW(QZL_FUNCTION, UnparsableMimeHeader(GetName()));
}

std::string CAcceptHeader::FormatValue(uint32_t, bool fold) const
{
    std::string text;
    for (const auto& [name, quality] : m_items) {
        RefuseLineBreaks(name, GetName());
        const std::string item =
            quality == 1.0 ? name.ToAnsi() : StringW::Format(L"%s; q=%.1f", name.c_str(), quality).ToAnsi();
        if (!text.empty())
            text += ", ";
        if (fold && text.size() + 2 + GetName().size() + item.size() > 78)
            text += "\r\n\t";
        text += item;
    }
    return text;
}

// The factory

const CMimeHeaderFactory& GetHttpHeaderFactory()
{
    static const CMimeHeaderFactory factory = [] {
        CMimeHeaderFactory table = GetMimeHeaderFactory();
        table.Add("Cache-Control", MakeFixedHeader<CCacheControlHeader>);
        table.Add("Connection", MakeFixedHeader<CConnectionHeader>);
        table.Add("Content-Encoding", MakeFixedHeader<CContentEncodingHeader>);
        table.Add("Date", MakeNamedHeader<CDateHttpHeader>);
        table.Add("Transfer-Encoding", MakeFixedHeader<CTransferEncodingHeader>);
        table.Add("Accept", MakeFixedHeader<CAcceptContentTypeHeader>);
        table.Add("Accept-Encoding", MakeFixedHeader<CAcceptContentEncodingHeader>);
        table.Add("Accept-Charset", MakeFixedHeader<CAcceptCharsetHeader>);
        table.Add("Accept-Language", MakeFixedHeader<CAcceptLanguageHeader>);
        table.Add("Authorization", MakeFixedHeader<CAuthenticationCredentialsHeader>);
        table.Add("If-Modified-Since", MakeNamedHeader<CDateHttpHeader>);
        table.Add("If-Unmodified-Since", MakeNamedHeader<CDateHttpHeader>);
        table.Add("Expires", MakeFixedHeader<CExpiresHeader>);
        table.Add("Last-Modified", MakeNamedHeader<CDateHttpHeader>);
        table.Add("WWW-Authenticate", MakeFixedHeader<CAuthenticationChallengeHeader>);
        return table;
    }();
    return factory;
}

} // namespace Quenzal::Net

#include "MimeHeader.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "NameTables.h"
#include "Net.h"
#include "NetEncoding.h"

#include <cstdlib>
#include <map>

namespace Quenzal::Net {

namespace {

bool IsControl(unsigned char ch)
{
    return ch < 0x20 || ch == 0x7F;
}

CException UnparsableHeader(const std::string& name)
{
    return CException(L"Unable to parse MIME header: " + StringW(name));
}

std::string ParameterName(int32_t id)
{
    return StringW(GetMimeParameterTable().LookupName(id)).ToAnsi();
}

} // namespace

bool IsWordAt(const MimeTokens& tokens, size_t index)
{
    return index < tokens.size() && tokens[index].IsWord();
}

bool IsSpecialAt(const MimeTokens& tokens, size_t index, char ch)
{
    return index < tokens.size() && tokens[index].IsSpecial(ch);
}

bool IsParameterAt(const MimeTokens& tokens, size_t index)
{
    return IsSpecialAt(tokens, index, ';') && IsWordAt(tokens, index + 1) && IsSpecialAt(tokens, index + 2, '=') &&
           IsWordAt(tokens, index + 3);
}

void RefuseLineBreaks(const std::string& text, const std::string& headerName)
{
    if (text.find_first_of("\r\n") != std::string::npos)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Line break in the value of header " + StringW(headerName)));
}

void RefuseLineBreaks(const std::wstring& text, const std::string& headerName)
{
    if (text.find_first_of(L"\r\n") != std::wstring::npos)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Line break in the value of header " + StringW(headerName)));
}

std::string QuoteString(const std::string& value)
{
    std::string out;
    out.reserve(value.size() + 2);
    out.push_back('"');
    for (char ch : value) {
        if (ch == '"' || ch == '\\')
            out.push_back('\\');
        out.push_back(ch);
    }
    out.push_back('"');
    return out;
}

std::string LoggableHeaderValue(const std::string& headerName, const std::string& value)
{
    if (_stricmp(headerName.c_str(), "Authorization") == 0 || _stricmp(headerName.c_str(), "Proxy-Authorization") == 0)
        return "********";
    constexpr size_t LoggedLength = 256;
    const size_t kept = GetUtf8CutPosition(value, LoggedLength);
    if (kept == value.size())
        return value;
    return value.substr(0, kept) + StringW::Format(L"... [%zu more bytes]", value.size() - kept).ToUtf8();
}

// CMimeHeader

CMimeHeader::CMimeHeader(const std::string& name) : m_name(name) {}

CMimeHeader::~CMimeHeader() = default;

std::string CMimeHeader::Format(uint32_t codePage, bool fold) const
{
    if (!m_rawLine.empty())
        return m_rawLine;
    RefuseLineBreaks(m_name, m_name);
    std::string value = FormatValue(codePage, fold);
    if (value.empty())
        return std::string();
    return m_name + ": " + value;
}

// CUnstructuredMimeHeader

CUnstructuredMimeHeader::CUnstructuredMimeHeader(const std::string& name) : CMimeHeader(name) {}

void CUnstructuredMimeHeader::Parse(const char* data, size_t length)
{
    // Bytes stay bytes until the encoded words are decoded: going through
    // wide characters first would lose the bytes 0x80-0x9F.
    std::string text;
    size_t i = 0;
    while (i < length) {
        const unsigned char ch = static_cast<unsigned char>(data[i]);
        if (ch == '\r' || ch == '\n') {
            while (i < length && (data[i] == '\r' || data[i] == '\n'))
                ++i;
            if (i < length && (data[i] == ' ' || data[i] == '\t')) {
                text.push_back(' ');
                ++i;
            } else {
                Logging::Log(Logging::Warning, L"Found non-folding VWS inside a header");
            }
            continue;
        }
        if (ch == '\t')
            text.push_back(' ');
        else if (!IsControl(ch))
            text.push_back(static_cast<char>(ch));
        ++i;
    }
    m_value = DecodeRfc2047(text).Trimmed();
}

std::string CUnstructuredMimeHeader::FormatValue(uint32_t codePage, bool) const
{
    RefuseLineBreaks(m_value, GetName());
    if (IsAscii(m_value))
        return m_value.ToAnsi();
    return EncodeRfc2047(m_value, codePage);
}

Value CUnstructuredMimeHeader::GetValue() const
{
    return Value(std::wstring(m_value));
}

void CUnstructuredMimeHeader::SetValue(const Value& value)
{
    m_value = value.GetStringW();
}

// CStructuredMimeHeader

void CStructuredMimeHeader::Parse(const char* data, size_t length)
{
    MimeTokens tokens = Tokenize(data, length);
    size_t index = 0;
    ParseTokens(tokens, index);
}

MimeTokens CStructuredMimeHeader::Tokenize(const char* data, size_t length) const
{
    MimeTokens tokens;
    std::string token;
    bool inQuote = false;
    bool inAngle = false;
    bool inBracket = false;
    int commentDepth = 0;
    auto endToken = [&] {
        if (!token.empty()) {
            tokens.push_back({MimeToken::Word, token});
            token.clear();
        }
    };

    for (size_t i = 0; i < length; ++i) {
        const unsigned char ch = static_cast<unsigned char>(data[i]);
        if (commentDepth == 0 && ch == '"') {
            endToken();
            inQuote = !inQuote;
            continue;
        }
        if (inQuote) {
            if (ch == '\\') {
                if (i + 1 < length) {
                    const unsigned char next = static_cast<unsigned char>(data[++i]);
                    if (!IsControl(next) || next == '\t')
                        token.push_back(static_cast<char>(next));
                }
            } else if (ch != '\r' && ch != '\n') {
                // CR and LF inside quotes can only be folding.
                token.push_back(static_cast<char>(ch));
            }
            continue;
        }
        if (ch == '(') {
            endToken();
            ++commentDepth;
            continue;
        }
        if (commentDepth > 0) {
            if (ch == ')')
                --commentDepth;
            else if (ch == '\\')
                ++i;
            continue;
        }
        if (ch == '<')
            inAngle = true;
        else if (ch == '>')
            inAngle = false;
        else if (ch == '[')
            inBracket = true;
        else if (ch == ']')
            inBracket = false;
        else if (ch == '\\' && (inAngle || inBracket)) {
            ++i;
            continue;
        }

        const bool special = IsSpecial(static_cast<char>(ch));
        if (!special && ch > 0x20 && ch != 0x7F) {
            token.push_back(static_cast<char>(ch));
            continue;
        }
        endToken();
        if (special)
            tokens.push_back({MimeToken::Special, std::string(1, static_cast<char>(ch))});
        // Blanks only separate; other control bytes are dropped.
    }
    endToken();
    return tokens;
}

Value CStructuredMimeHeader::GetValue() const
{
    QZL_THROW(QZL_FUNCTION, CException(L"Not supported"));
}

void CStructuredMimeHeader::SetValue(const Value&)
{
    QZL_THROW(QZL_FUNCTION, CException(L"Not supported"));
}

bool CStructuredMimeHeader::IsBaseSpecial(char ch)
{
    switch (ch) {
    case '"':
    case '(':
    case ')':
    case ',':
    case '.':
    case ':':
    case ';':
    case '<':
    case '>':
    case '@':
    case '[':
    case '\\':
    case ']':
        return true;
    default:
        return false;
    }
}

bool CStructuredMimeHeader::IsSpecial(char ch) const
{
    return IsBaseSpecial(ch);
}

// CSingleTextMimeHeader

std::string CSingleTextMimeHeader::FormatValue(uint32_t, bool) const
{
    RefuseLineBreaks(m_value, GetName());
    return m_value.ToAnsi();
}

Value CSingleTextMimeHeader::GetValue() const
{
    return Value(std::wstring(m_value));
}

void CSingleTextMimeHeader::SetValue(const Value& value)
{
    m_value = value.GetStringW();
}

// CWordMimeHeader

void CWordMimeHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    std::string text;
    for (; index < tokens.size(); ++index)
        text += tokens[index].text;
    m_value = StringW(text);
    if (m_value.empty())
        QZL_THROW(QZL_FUNCTION, UnparsableHeader(GetName()));
}

// CMessageIdMimeHeader

void CMessageIdMimeHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    std::string text;
    while (index < tokens.size()) {
        const MimeToken& token = tokens[index++];
        text += token.text;
        if (token.IsSpecial('>'))
            break;
    }
    m_value = StringW(text);
}

// CDateMimeHeader

std::string CDateMimeHeader::FormatValue(uint32_t, bool) const
{
    if (m_date.IsNull())
        return std::string();
    return m_date.FormatRfc1123().ToAnsi();
}

void CDateMimeHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    size_t i = index;
    if (IsWordAt(tokens, i) && IsSpecialAt(tokens, i + 1, ','))
        i += 2;
    if (!(IsWordAt(tokens, i) && IsWordAt(tokens, i + 1) && IsWordAt(tokens, i + 2) && IsWordAt(tokens, i + 3) &&
          IsSpecialAt(tokens, i + 4, ':') && IsWordAt(tokens, i + 5)))
        QZL_THROW(QZL_FUNCTION, UnparsableHeader(GetName()));

    const int day = atoi(tokens[i].text.c_str());
    const std::string& monthWord = tokens[i + 1].text;
    int month = -1;
    for (int m = 0; m < 12; ++m) {
        if (monthWord.size() <= strlen(kMonths[m]) && _strnicmp(kMonths[m], monthWord.c_str(), monthWord.size()) == 0) {
            month = m + 1;
            break;
        }
    }
    const int year = atoi(tokens[i + 2].text.c_str());
    const int hour = atoi(tokens[i + 3].text.c_str());
    const int minute = atoi(tokens[i + 5].text.c_str());
    i += 6;
    int second = 0;
    if (IsSpecialAt(tokens, i, ':') && IsWordAt(tokens, i + 1)) {
        second = atoi(tokens[i + 1].text.c_str());
        i += 2;
    }
    DateTime date;
    if (!date.SetDateTime(year, month, day, hour, minute, second, 0))
        QZL_THROW(QZL_FUNCTION, UnparsableHeader(GetName()));
    if (i < tokens.size())
        date.ParseTimezone(StringW(tokens[i].WordText()));
    m_date = date;
    index = tokens.size();
}

// CParameterizedMimeHeader

bool CParameterizedMimeHeader::IsSpecial(char ch) const
{
    if (ch == '.')
        return false;
    return IsBaseSpecial(ch) || ch == '/' || ch == '=' || ch == '?';
}

void CParameterizedMimeHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    struct Section {
        bool extended = false;
        std::string value;
    };
    std::map<std::string, std::map<int, Section>, HeaderNameLess> sectioned;

    while (IsParameterAt(tokens, index)) {
        const std::string name = tokens[index + 1].text;
        std::string value = tokens[index + 3].text;
        index += 4;
        while (index < tokens.size() && !tokens[index].IsSpecial(';')) {
            const MimeToken& token = tokens[index++];
            value += token.text;
            if (token.IsWord())
                break;
        }

        const size_t star = name.find('*');
        if (star == std::string::npos) {
            SetParameter(StringW(name), DecodeRfc2047(value));
        } else if (star + 1 == name.size()) {
            SetParameter(StringW(name.substr(0, star)), DecodeRfc2231(value));
        } else if (isdigit(static_cast<unsigned char>(name[star + 1]))) {
            Section& section = sectioned[name.substr(0, star)][atoi(name.c_str() + star + 1)];
            section.extended = name.back() == '*';
            section.value = value;
        } else {
            Logging::Log(Logging::Error, (L"RFC 2231-encoded parameter not understood: " + StringW(name)).c_str());
            SetParameter(StringW(name), StringW(value));
        }
    }

    for (const auto& [baseName, sections] : sectioned) {
        // Consecutive extended sections are one percent-coded byte run; only
        // the first extended section names the charset.
        StringW text;
        std::string run;
        bool inRun = false;
        bool charsetSeen = false;
        std::string charset;
        auto endRun = [&] {
            if (inRun)
                text += DecodeRfc2231(run);
            run.clear();
            inRun = false;
        };
        for (const auto& [number, section] : sections) {
            if (!section.extended) {
                endRun();
                text += StringW(section.value);
                continue;
            }
            if (!inRun) {
                inRun = true;
                if (!charsetSeen) {
                    charsetSeen = true;
                    charset = section.value.substr(0, section.value.find('\''));
                } else {
                    run = charset + "''";
                }
            }
            run += section.value;
        }
        endRun();
        SetParameter(StringW(baseName), text);
    }

    // A parameter without a value at the end, and one final ";", are allowed.
    while (IsSpecialAt(tokens, index, ';') && IsWordAt(tokens, index + 1) && IsSpecialAt(tokens, index + 2, '='))
        index += 3;
    if (IsSpecialAt(tokens, index, ';'))
        ++index;
    if (index < tokens.size())
        QZL_THROW(QZL_FUNCTION, UnparsableHeader(GetName()));
}

void CParameterizedMimeHeader::AppendParameter(std::string& text, const char* name, const std::string& value,
                                               size_t& lineLength, bool fold, bool quoted) const
{
    if (value.empty())
        return;
    RefuseLineBreaks(value, GetName());
    text += "; ";
    const std::string piece = std::string(name) + "=" + (quoted ? QuoteString(value) : value);
    if (fold && lineLength + piece.size() >= 79) {
        text += "\r\n\t";
        lineLength = 0;
    }
    text += piece;
    lineLength += piece.size();
}

// CContentTypeHeader

CContentTypeHeader::CContentTypeHeader() : CParameterizedMimeHeader("Content-Type") {}

StringW CContentTypeHeader::GetParameterValue(int32_t id) const
{
    if (id < 0 || static_cast<size_t>(id) >= ParameterCount)
        return StringW();
    return m_parameters[id];
}

void CContentTypeHeader::SetParameterValue(int32_t id, const std::wstring& value)
{
    if (id >= 0 && static_cast<size_t>(id) < ParameterCount)
        m_parameters[id] = value;
}

void CContentTypeHeader::SetParameter(const StringW& name, const StringW& value)
{
    SetParameterValue(GetMimeParameterTable().LookupValue(name), value);
}

void CContentTypeHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    if (!(IsWordAt(tokens, index) && IsSpecialAt(tokens, index + 1, '/') && IsWordAt(tokens, index + 2)))
        QZL_THROW(QZL_FUNCTION, UnparsableHeader(GetName()));
    m_mediaType = StringW(tokens[index].text + "/" + tokens[index + 2].text);
    index += 3;
    CParameterizedMimeHeader::ParseTokens(tokens, index);
}

std::string CContentTypeHeader::FormatValue(uint32_t codePage, bool fold) const
{
    bool anyParameter = false;
    for (const StringW& value : m_parameters)
        anyParameter = anyParameter || !value.empty();
    RefuseLineBreaks(m_mediaType, GetName());
    std::string text = m_mediaType.ToAnsi();
    if (text.empty()) {
        if (!anyParameter)
            return std::string();
        text = "text/plain";
    }
    size_t lineLength = GetName().size() + 2 + text.size();
    for (size_t id = 0; id < ParameterCount; ++id) {
        const StringW& value = m_parameters[id];
        if (value.empty())
            continue;
        RefuseLineBreaks(value, GetName());
        std::string written = id == MimeParameterName && !IsAscii(value) ? EncodeRfc2047(value, codePage)
                                                                          : value.ToAnsi();
        AppendParameter(text, ParameterName(static_cast<int32_t>(id)).c_str(), written, lineLength, fold, true);
    }
    return text;
}

// CContentDispositionHeader

CContentDispositionHeader::CContentDispositionHeader() : CParameterizedMimeHeader("Content-Disposition") {}

void CContentDispositionHeader::SetParameter(const StringW& name, const StringW& value)
{
    if (_wcsicmp(name.c_str(), L"filename") == 0) {
        m_fileName = value;
    } else if (_wcsicmp(name.c_str(), L"name") == 0) {
        m_nameParameter = value;
    } else if (_wcsicmp(name.c_str(), L"creation-date") == 0 || _wcsicmp(name.c_str(), L"modification-date") == 0) {
        DateTime date;
        if (!date.ParseRfc822(value))
            date.Clear();
        (_wcsicmp(name.c_str(), L"creation-date") == 0 ? m_creationDate : m_modificationDate) = date;
    }
}

void CContentDispositionHeader::ParseTokens(const MimeTokens& tokens, size_t& index)
{
    if (!IsWordAt(tokens, index))
        QZL_THROW(QZL_FUNCTION, UnparsableHeader(GetName()));
    m_type = GetContentDispositionTypeTable().LookupValue(StringW(tokens[index].text));
    ++index;
    CParameterizedMimeHeader::ParseTokens(tokens, index);
}

std::string CContentDispositionHeader::FormatValue(uint32_t codePage, bool fold) const
{
    if (m_type == -1)
        return std::string();
    std::string text = StringW(GetContentDispositionTypeTable().LookupName(m_type)).ToAnsi();
    size_t lineLength = GetName().size() + 2 + text.size();
    RefuseLineBreaks(m_nameParameter, GetName());
    RefuseLineBreaks(m_fileName, GetName());
    // A name outside ASCII goes in the extended form, which stands unquoted.
    if (IsAscii(m_nameParameter))
        AppendParameter(text, "name", m_nameParameter.ToAnsi(), lineLength, fold, true);
    else
        AppendParameter(text, "name*", EncodeRfc2231(m_nameParameter, codePage), lineLength, fold, false);
    AppendParameter(text, "filename",
                    IsAscii(m_fileName) ? m_fileName.ToAnsi() : EncodeRfc2047(m_fileName, codePage), lineLength,
                    fold, true);
    if (!m_creationDate.IsNull())
        AppendParameter(text, "creation-date", m_creationDate.FormatRfc1123().ToAnsi(), lineLength, fold, true);
    if (!m_modificationDate.IsNull())
        AppendParameter(text, "modification-date", m_modificationDate.FormatRfc1123().ToAnsi(), lineLength, fold,
                        true);
    return text;
}

} // namespace Quenzal::Net

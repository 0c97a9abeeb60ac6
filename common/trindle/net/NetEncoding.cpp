#include "NetEncoding.h"

#include "CodePageConversion.h"
#include "ErrorReport.h"
#include "Logging.h"

#include <array>
#include <cstring>
#include <cwctype>
#include <string_view>

namespace Quenzal::Net {

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every 12-bit value as its two Base64 characters.
struct Base64PairTable {
    std::array<char, 8192> pairs{};
    constexpr Base64PairTable()
    {
        for (int i = 0; i < 4096; ++i) {
            pairs[2 * i] = kBase64Alphabet[i >> 6];
            pairs[2 * i + 1] = kBase64Alphabet[i & 63];
        }
    }
};
constexpr Base64PairTable kBase64Pairs;

// The characters the C library's isspace accepts in the "C" locale.
constexpr bool IsAsciiSpace(unsigned char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// What a byte means to the Base64 decoder: its value, white space to skip,
// or a byte of 0x80 or above that makes the text invalid. Everything else
// below 0x80 counts as 0.
constexpr uint8_t kSkip = 0x40;
constexpr uint8_t kInvalid = 0x80;

struct Base64DecodeTables {
    std::array<uint8_t, 256> value{};
    // The value already shifted to its place in a 4-character group, or kSpecial.
    std::array<uint32_t, 256> shifted[4]{};
    static constexpr uint32_t kSpecial = 0x80000000u;

    constexpr Base64DecodeTables()
    {
        for (int ch = 0; ch < 256; ++ch)
            value[ch] = ch >= 0x80 ? kInvalid : IsAsciiSpace(static_cast<unsigned char>(ch)) ? kSkip : 0;
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<uint8_t>(i);
        for (int ch = 0; ch < 256; ++ch) {
            for (int position = 0; position < 4; ++position) {
                shifted[position][ch] = value[ch] >= kSkip ? kSpecial
                                                           : static_cast<uint32_t>(value[ch]) << (18 - 6 * position);
            }
        }
    }
};
constexpr Base64DecodeTables kBase64Decode;

// The characters a byte adds to quoted-printable text beyond its own one:
// 2 for an escape, 1 for a line break that becomes CR LF.
struct QuotedPrintableExtraTable {
    std::array<uint8_t, 256> extra{};
    constexpr QuotedPrintableExtraTable()
    {
        for (int ch = 0; ch < 256; ++ch)
            extra[ch] = ch == '\t' || ch == ' ' || (ch >= 33 && ch <= 126 && ch != '=') ? 0 : 2;
        extra['\r'] = 1;
        extra['\n'] = 1;
    }
    constexpr uint8_t operator[](unsigned char ch) const { return extra[ch]; }
};
constexpr QuotedPrintableExtraTable kQuotedPrintableExtra;

int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// The decoders' lenient rule: a character that is not a hex digit counts as 0.
char HexPairToByte(char high, char low)
{
    int h = HexDigitValue(high);
    int l = HexDigitValue(low);
    return static_cast<char>(((h < 0 ? 0 : h) << 4) | (l < 0 ? 0 : l));
}

void AppendPercentHex(std::string& out, unsigned char byte)
{
    static const char kDigits[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

// The length up to the first NUL byte, at most length.
size_t LengthToNul(const char* text, size_t length)
{
    const void* nul = memchr(text, 0, length);
    return nul == nullptr ? length : static_cast<size_t>(static_cast<const char*>(nul) - text);
}

void AppendAnsiText(StringW& out, const std::string& bytes)
{
    if (!bytes.empty())
        out.append(StringW::FromAnsi(bytes, CP_ACP));
}

bool IsAsciiText(const StringW& text)
{
    for (wchar_t ch : text) {
        if (ch == 0)
            break;
        if (!iswascii(ch))
            return false;
    }
    return true;
}

StringW UpToNul(const StringW& text)
{
    size_t nul = text.find(L'\0');
    return nul == StringW::npos ? text : StringW(text.substr(0, nul));
}

// The bytes and charset name of text that is not plain ASCII.
std::string EncodeForHeader(const StringW& text, uint32_t& codePage, StringW& charsetName)
{
    if (codePage == kNoCodePage)
        codePage = ::GetACP();
    std::string bytes = Os::ConvertUnicodeToAnsi(text, &codePage);
    charsetName = GetCharsetNameFromCodePage(codePage);
    if (charsetName.empty())
        charsetName = L"us-ascii";
    return bytes;
}

// ParseEncodedWord with the first "?=" at or after text already known (close,
// npos when there is none), so that scanning a long header stays linear.
size_t ParseEncodedWordAt(std::string_view text, size_t close, EncodedWord& word)
{
    if (close == std::string_view::npos)
        return std::string_view::npos;
    size_t firstMark = text.find('?');
    if (firstMark >= close)
        return std::string_view::npos;
    size_t secondMark = text.find('?', firstMark + 1);
    if (secondMark != firstMark + 2 || secondMark > close)
        return std::string_view::npos;

    char encoding = text[firstMark + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q') {
        Logging::LogFormat(Logging::Error, L"Unrecognized RFC 2047 encoding used: %c",
                           static_cast<wchar_t>(static_cast<unsigned char>(encoding)));
        return std::string_view::npos;
    }

    std::string charset(text.substr(0, firstMark));
    size_t star = charset.find('*');
    if (star != std::string::npos)
        charset.resize(star);
    uint32_t codePage = GetCodePageFromCharsetName(StringW::FromAnsi(charset, CP_ACP));
    if (codePage == kNoCodePage)
        return std::string_view::npos;

    size_t textStart = secondMark + 1;
    size_t end = close >= textStart ? close : text.find("?=", textStart);
    if (end == std::string_view::npos)
        return std::string_view::npos;
    std::string encoded(text.substr(textStart, end - textStart));
    std::string bytes;
    if (encoding == 'B' || encoding == 'b') {
        bytes = Base64Decode(encoded);
    } else {
        for (char& ch : encoded) {
            if (ch == '_')
                ch = ' ';
        }
        bytes = QuotedPrintableDecode(encoded);
    }
    if (bytes.empty())
        return std::string_view::npos;

    word.charset = std::move(charset);
    word.codePage = codePage;
    word.bytes = std::move(bytes);
    return end;
}

void AppendEncodedWord(StringW& out, EncodedWord& group)
{
    if (!group.bytes.empty()) {
        try {
            out.append(Os::ConvertAnsiToUnicode(group.bytes.data(), group.bytes.size(), group.codePage));
        } catch (...) {
            out.append(StringW::FromAnsi(group.rawText, 1252));
        }
    }
    group.bytes.clear();
    group.rawText.clear();
}

} // namespace

std::string HexDecode(const std::string& hex)
{
    if (hex.empty())
        return std::string();
    if (hex.size() % 2 != 0)
        QZL_THROW(QZL_FUNCTION, CException(L"AtlHexDecode failed"));
    std::string out(hex.size() / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i) {
        int high = HexDigitValue(hex[2 * i]);
        int low = HexDigitValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            QZL_THROW(QZL_FUNCTION, CException(L"AtlHexDecode failed"));
        out[i] = static_cast<char>((high << 4) | low);
    }
    return out;
}

std::string Base64Encode(const void* data, size_t length, size_t lineLength)
{
    if (data == nullptr || length == 0)
        return std::string();
    const auto* in = static_cast<const unsigned char*>(data);
    const size_t characters = 4 * ((length + 2) / 3);
    lineLength -= lineLength % 4;
    size_t breaks = lineLength == 0 ? 0 : (characters + lineLength - 1) / lineLength - 1;

    std::string out(characters + 2 * breaks, '\0');
    char* o = out.data();
    const char* pairs = kBase64Pairs.pairs.data();
    const size_t groups = length / 3;
    const size_t groupsPerLine = lineLength == 0 ? groups : lineLength / 4;
    size_t done = 0;
    while (done < groups) {
        size_t take = std::min(groupsPerLine, groups - done);
        for (size_t g = 0; g < take; ++g, in += 3, o += 4) {
            uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
            memcpy(o, pairs + 2 * (v >> 12), 2);
            memcpy(o + 2, pairs + 2 * (v & 0xFFF), 2);
        }
        done += take;
        if (breaks > 0 && take == groupsPerLine) {
            *o++ = '\r';
            *o++ = '\n';
            --breaks;
        }
    }
    switch (length % 3) {
    case 1:
        o[0] = kBase64Alphabet[in[0] >> 2];
        o[1] = kBase64Alphabet[(in[0] & 0x03) << 4];
        o[2] = '=';
        o[3] = '=';
        break;
    case 2:
        o[0] = kBase64Alphabet[in[0] >> 2];
        o[1] = kBase64Alphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)];
        o[2] = kBase64Alphabet[(in[1] & 0x0F) << 2];
        o[3] = '=';
        break;
    default:
        break;
    }
    return out;
}

std::string Base64Encode(const std::string& data, size_t lineLength)
{
    return Base64Encode(data.data(), data.size(), lineLength);
}

std::string Base64Decode(const char* text, size_t length)
{
    if (text == nullptr || length == 0)
        return std::string();
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    while (p < end && IsAsciiSpace(*p))
        ++p;
    // The "=" padding and white space around and inside it yield no byte.
    while (end > p && (IsAsciiSpace(end[-1]) || end[-1] == '='))
        --end;
    if (p == end)
        return std::string();

    // Three bytes per group, plus one spare byte for the four-byte stores below.
    const size_t trimmed = static_cast<size_t>(end - p);
    std::string out(trimmed / 4 * 3 + 4, '\0');
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    const auto& d = kBase64Decode.shifted;
    uint32_t accumulator = 0;
    int pending = 0;
    while (p < end) {
        if (pending == 0) {
            // Whole groups without white space or invalid bytes take the fast road.
            while (end - p >= 8) {
                uint32_t a = d[0][p[0]] | d[1][p[1]] | d[2][p[2]] | d[3][p[3]];
                uint32_t b = d[0][p[4]] | d[1][p[5]] | d[2][p[6]] | d[3][p[7]];
                if ((a | b) & Base64DecodeTables::kSpecial)
                    break;
                uint32_t first = __builtin_bswap32(a << 8);
                uint32_t second = __builtin_bswap32(b << 8);
                memcpy(o, &first, 4);
                memcpy(o + 3, &second, 4);
                o += 6;
                p += 8;
            }
            if (end - p >= 4) {
                uint32_t a = d[0][p[0]] | d[1][p[1]] | d[2][p[2]] | d[3][p[3]];
                if (!(a & Base64DecodeTables::kSpecial)) {
                    uint32_t first = __builtin_bswap32(a << 8);
                    memcpy(o, &first, 4);
                    o += 3;
                    p += 4;
                    continue;
                }
            }
            if (p == end)
                break;
        }
        uint8_t value = kBase64Decode.value[*p++];
        if (value == kSkip)
            continue;
        if (value == kInvalid) {
            QZL_THROW(QZL_FUNCTION,
                      CException(L"Base64-encoded stream contains invalid characters"));
        }
        accumulator = (accumulator << 6) | value;
        if (++pending == 4) {
            o[0] = static_cast<unsigned char>(accumulator >> 16);
            o[1] = static_cast<unsigned char>(accumulator >> 8);
            o[2] = static_cast<unsigned char>(accumulator);
            o += 3;
            accumulator = 0;
            pending = 0;
        }
    }
    if (pending == 2) {
        *o++ = static_cast<unsigned char>(accumulator >> 4);
    } else if (pending == 3) {
        *o++ = static_cast<unsigned char>(accumulator >> 10);
        *o++ = static_cast<unsigned char>(accumulator >> 2);
    }
    out.resize(static_cast<size_t>(o - reinterpret_cast<unsigned char*>(out.data())));
    return out;
}

std::string Base64Decode(const std::string& text)
{
    return Base64Decode(text.data(), text.size());
}

std::string Uudecode(const char* text, size_t length)
{
    std::string out;
    if (text == nullptr || length == 0)
        return out;
    if (length < 5 || memcmp(text, "begin", 5) != 0) {
        Logging::Log(Logging::Error, L"Uuencoded data does not start with valid signature");
        return out;
    }
    const char* end = text + length;
    const char* p = static_cast<const char*>(memchr(text, '\n', length));
    if (p == nullptr || p + 1 >= end) {
        Logging::Log(Logging::Error, L"Uuencoded data has been truncated or is invalid");
        return out;
    }
    ++p;

    auto value = [](char ch) { return ch == '`' ? 0 : static_cast<unsigned char>(ch) - 32; };
    out.reserve(length / 4 * 3);
    while (p < end) {
        // An empty line (CR LF or LF alone) holds no count.
        if (*p == '\r' || *p == '\n') {
            ++p;
            continue;
        }
        int count = value(*p++);
        if (count == 0)
            break;
        while (count > 0 && end - p >= 4) {
            int a = value(p[0]), b = value(p[1]), c = value(p[2]), d = value(p[3]);
            char bytes[3] = {static_cast<char>((a << 2) | (b >> 4)), static_cast<char>((b << 4) | (c >> 2)),
                             static_cast<char>((c << 6) | d)};
            out.append(bytes, count >= 3 ? 3 : static_cast<size_t>(count));
            count -= 3;
            p += 4;
        }
        // The line ends at its LF, whether or not a CR stands before it.
        const char* lineFeed = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        if (lineFeed == nullptr)
            break;
        p = lineFeed + 1;
    }
    return out;
}

std::string QuotedPrintableDecode(const char* text, size_t length)
{
    std::string out;
    if (text == nullptr || length == 0)
        return out;
    length = LengthToNul(text, length);
    out.resize(length);
    size_t o = 0;
    size_t i = 0;
    auto isBlank = [](char ch) { return ch == ' ' || ch == '\t'; };
    // A soft line break takes one line ending; a following one is the text's own.
    auto skipLineBreak = [&](size_t position) {
        if (position < length && text[position] == '\r')
            ++position;
        if (position < length && text[position] == '\n')
            ++position;
        return position;
    };
    while (i < length) {
        char ch = text[i];
        if (ch != '=') {
            out[o++] = ch;
            ++i;
            continue;
        }
        if (i + 1 < length && isBlank(text[i + 1])) {
            // Blanks after "=" are transport padding of a soft line break;
            // anywhere else the "=" is no escape and stays as it is.
            size_t j = i + 1;
            while (j < length && isBlank(text[j]))
                ++j;
            if (j == length || text[j] == '\r' || text[j] == '\n') {
                i = skipLineBreak(j);
            } else {
                out[o++] = '=';
                ++i;
            }
            continue;
        }
        if (length - i < 3) {
            out[o++] = '=';
            ++i;
            continue;
        }
        if (text[i + 1] == '\n' || text[i + 2] == '\n') {
            i = skipLineBreak(i + 1);
            continue;
        }
        out[o++] = HexPairToByte(text[i + 1], text[i + 2]);
        i += 3;
    }
    out.resize(o);
    return out;
}

std::string QuotedPrintableDecode(const std::string& text)
{
    return QuotedPrintableDecode(text.data(), text.size());
}

std::string QuotedPrintableEncode(const std::string& data)
{
    static const char kDigits[] = "0123456789ABCDEF";
    // Lines hold at most 76 characters; a soft break's "=" needs one of them.
    constexpr size_t kMaxLine = 76;
    const size_t length = data.size();
    const auto* in = reinterpret_cast<const unsigned char*>(data.data());
    // Sized from the escapes and line breaks to come, so that it rarely grows.
    size_t widened = length;
    for (size_t i = 0; i < length; ++i)
        widened += kQuotedPrintableExtra[in[i]];
    std::string out(widened + 3 * (widened / 74 + 1) + 16, '\0');
    char* o = out.data();
    char* end = o + out.size();
    size_t column = 0;
    for (size_t i = 0; i < length; ++i) {
        // Room for the widest step: a soft break and an escape.
        if (end - o < 8) {
            size_t used = static_cast<size_t>(o - out.data());
            out.resize(out.size() * 2);
            o = out.data() + used;
            end = out.data() + out.size();
        }
        unsigned char ch = in[i];
        if (ch == '\r' || ch == '\n') {
            *o++ = '\r';
            *o++ = '\n';
            column = 0;
            if (ch == '\r' && i + 1 < length && in[i + 1] == '\n')
                ++i;
            continue;
        }
        const bool lastOnLine = i + 1 == length || in[i + 1] == '\r' || in[i + 1] == '\n';
        bool literal = ch == '\t' || ch == ' ' || (ch >= 33 && ch <= 126 && ch != '=');
        // White space at the end of a line would be lost in transport.
        if ((ch == ' ' || ch == '\t') && lastOnLine)
            literal = false;
        const size_t width = literal ? 1 : 3;
        if (column + width > (lastOnLine ? kMaxLine : kMaxLine - 1)) {
            *o++ = '=';
            *o++ = '\r';
            *o++ = '\n';
            column = 0;
        }
        if (literal) {
            *o++ = static_cast<char>(ch);
        } else {
            *o++ = '=';
            *o++ = kDigits[ch >> 4];
            *o++ = kDigits[ch & 0x0F];
        }
        column += width;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

bool EscapeXmlChar(char ch, std::string& out)
{
    switch (ch) {
    case '"':
        out.append("&quot;");
        return true;
    case '&':
        out.append("&amp;");
        return true;
    case '<':
        out.append("&lt;");
        return true;
    case '>':
        out.append("&gt;");
        return true;
    default:
        return false;
    }
}

bool EscapeXmlChar(wchar_t ch, StringW& out)
{
    switch (ch) {
    case L'"':
        out.append(L"&quot;");
        return true;
    case L'&':
        out.append(L"&amp;");
        return true;
    case L'<':
        out.append(L"&lt;");
        return true;
    case L'>':
        out.append(L"&gt;");
        return true;
    default:
        return false;
    }
}

std::string EscapeXml(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        if (ch == '\0')
            break;
        if (!EscapeXmlChar(ch, out))
            out.push_back(ch);
    }
    return out;
}

StringW EscapeXml(const StringW& text)
{
    StringW out;
    out.reserve(text.size());
    for (wchar_t ch : text) {
        if (ch == L'\0')
            break;
        if (EscapeXmlChar(ch, out))
            continue;
        if (ch >= 0x20 || ch == L'\t' || ch == L'\n' || ch == L'\r')
            out.push_back(ch);
    }
    return out;
}

size_t EscapeCdataTerminators(std::string& text)
{
    // "]]>" cannot stand inside a section: end the section after "]]" and
    // start a new one for the ">", which keeps the text exactly.
    static const std::string kSplit = "]]]]><![CDATA[>";
    size_t count = 0;
    size_t position = 0;
    while ((position = text.find("]]>", position)) != std::string::npos) {
        text.replace(position, 3, kSplit);
        position += kSplit.size();
        ++count;
    }
    return count;
}

std::string MakeCdataSection(const std::string& text)
{
    if (text.empty())
        return std::string();
    std::string copy = text;
    EscapeCdataTerminators(copy);
    return "<![CDATA[" + copy + "]]>";
}

size_t ParseEncodedWord(const char* text, size_t length, EncodedWord& word)
{
    if (text == nullptr)
        return std::string::npos;
    std::string_view view(text, length);
    return ParseEncodedWordAt(view, view.find("?="), word);
}

StringW DecodeRfc2047(const std::string& value)
{
    if (value.find("=?") == std::string::npos)
        return StringW::FromAnsi(value, CP_ACP);

    const std::string_view text(value);
    const size_t length = text.size();
    StringW result;
    std::string literal;
    size_t nextClose = 0;
    // Tries the encoded word whose "=?" stands at position; on success returns
    // the position after its "?=", else npos.
    auto tryWord = [&](size_t position, EncodedWord& word) -> size_t {
        if (position + 2 > length || text.compare(position, 2, "=?") != 0)
            return std::string_view::npos;
        size_t start = position + 2;
        if (nextClose != std::string_view::npos && nextClose < start)
            nextClose = text.find("?=", start);
        size_t close = nextClose == std::string_view::npos ? nextClose : nextClose - start;
        size_t end = ParseEncodedWordAt(text.substr(start), close, word);
        return end == std::string_view::npos ? end : start + end + 2;
    };

    size_t i = 0;
    while (i < length) {
        EncodedWord group;
        size_t after = tryWord(i, group);
        if (after == std::string_view::npos) {
            literal.push_back(value[i++]);
            continue;
        }
        AppendAnsiText(result, literal);
        literal.clear();
        group.rawText = value.substr(i, after - i);
        i = after;
        for (;;) {
            size_t next = i;
            while (next < length && (text[next] == ' ' || text[next] == '\t'))
                ++next;
            EncodedWord word;
            size_t wordEnd = tryWord(next, word);
            if (wordEnd == std::string_view::npos) {
                AppendEncodedWord(result, group);
                break;
            }
            word.rawText = value.substr(i, wordEnd - i);
            if (_stricmp(word.charset.c_str(), group.charset.c_str()) == 0) {
                group.bytes.append(word.bytes);
                group.rawText.append(word.rawText);
            } else {
                AppendEncodedWord(result, group);
                group = std::move(word);
            }
            i = wordEnd;
        }
    }
    AppendAnsiText(result, literal);
    return result;
}

std::string EncodeRfc2047(const StringW& text, uint32_t codePage)
{
    if (IsAsciiText(text))
        return UpToNul(text).ToAnsi();
    StringW charsetName;
    std::string bytes = EncodeForHeader(text, codePage, charsetName);
    return "=?" + charsetName.ToAnsi() + "?B?" + Base64Encode(bytes) + "?=";
}

std::string EncodeRfc2231(const StringW& text, uint32_t codePage)
{
    if (text.empty() || IsAsciiText(text))
        return UpToNul(text).ToAnsi();
    StringW charsetName;
    std::string bytes = EncodeForHeader(text, codePage, charsetName);
    std::string out = charsetName.ToAnsi() + "''";
    for (char ch : bytes) {
        if (ch == '\0')
            break;
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'))
            out.push_back(ch);
        else
            AppendPercentHex(out, static_cast<unsigned char>(ch));
    }
    return out;
}

StringW DecodeRfc2231(const std::string& value, uint32_t* codePage)
{
    size_t firstQuote = value.find('\'');
    uint32_t found = GetCodePageFromCharsetName(StringW::FromAnsi(value.substr(0, firstQuote), CP_ACP));
    if (found == kNoCodePage)
        return StringW::FromAnsi(value, CP_ACP);
    if (codePage != nullptr)
        *codePage = found;
    if (firstQuote == std::string::npos)
        return StringW();
    // A value without the language's closing quote starts right after the charset.
    size_t secondQuote = value.find('\'', firstQuote + 1);
    size_t start = secondQuote == std::string::npos ? firstQuote + 1 : secondQuote + 1;
    return PercentDecodeToUnicode(value.substr(start), found);
}

StringW PercentDecodeToUnicode(const std::string& text, uint32_t codePage)
{
    if (text.empty())
        return StringW();
    const size_t length = LengthToNul(text.data(), text.size());
    std::string bytes;
    bytes.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '%' && length - i >= 3) {
            bytes.push_back(HexPairToByte(text[i + 1], text[i + 2]));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return Os::ConvertAnsiToUnicode(bytes.data(), bytes.size(), codePage);
}

std::string UrlEncode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        if (ch == '\0')
            break;
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-' ||
            ch == '.' || ch == '_' || ch == '~')
            out.push_back(ch);
        else
            AppendPercentHex(out, static_cast<unsigned char>(ch));
    }
    return out;
}

std::string UrlDecode(const std::string& text)
{
    const size_t length = LengthToNul(text.data(), text.size());
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char ch = text[i];
        if (ch == '+') {
            out.push_back(' ');
        } else if (ch == '%' && length - i >= 3) {
            out.push_back(HexPairToByte(text[i + 1], text[i + 2]));
            i += 2;
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

std::string GetLastThreeChars(const std::string& text)
{
    return text.size() <= 3 ? text : text.substr(text.size() - 3);
}

} // namespace Quenzal::Net

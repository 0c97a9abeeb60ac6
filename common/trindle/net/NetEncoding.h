#pragma once
// Transfer and escape encodings of mail and the web: Base64, uudecode,
// quoted-printable, XML escaping and CDATA sections, encoded words in headers
// (RFC 2047), extended parameter values (RFC 2231) and percent (URL) coding.
// Byte data travels as std::string, text as StringW. Every function is pure.

#include "Charsets.h"
#include "StringW.h"

#include <cstdint>
#include <string>

namespace Quenzal::Net {

// The bytes spelled by hexadecimal text (either case); raises on anything else.
std::string HexDecode(const std::string& hex);

// Base64 text of the bytes. A line length of 0 gives one line; any other is
// rounded down to a multiple of 4 and the lines are separated by CR LF (none
// after the last line). Line lengths below 4 also give one line.
std::string Base64Encode(const void* data, size_t length, size_t lineLength = 0);
std::string Base64Encode(const std::string& data, size_t lineLength = 0);
// The bytes of Base64 text. White space anywhere is ignored and trailing "="
// removed; other characters below 0x80 outside the alphabet count as 0, and a
// byte of 0x80 or above raises.
std::string Base64Decode(const char* text, size_t length);
std::string Base64Decode(const std::string& text);

// The bytes of a uuencoded block ("begin" line, data lines, "`" line).
// Malformed input is logged and gives what could be decoded (often nothing).
std::string Uudecode(const char* text, size_t length);

// Quoted-printable (RFC 2045 section 6.7). Decoding never fails; encoding
// writes CR LF line breaks and keeps every line at 76 characters at most.
std::string QuotedPrintableDecode(const char* text, size_t length);
std::string QuotedPrintableDecode(const std::string& text);
std::string QuotedPrintableEncode(const std::string& data);

// XML text: double quote, "&", "<" and ">" become entities. The wide form also
// drops control characters other than TAB, LF and CR. Both stop at a NUL.
std::string EscapeXml(const std::string& text);
StringW EscapeXml(const StringW& text);
// Appends the entity for ch and returns true, or appends nothing and returns false.
bool EscapeXmlChar(char ch, std::string& out);
bool EscapeXmlChar(wchar_t ch, StringW& out);

// A CDATA section holding text exactly; an empty text gives an empty result.
std::string MakeCdataSection(const std::string& text);
// Splits every "]]>" of text across two CDATA sections; returns how many there were.
size_t EscapeCdataTerminators(std::string& text);

// One encoded word of a header while it is decoded.
struct EncodedWord {
    std::string charset;            // cut at "*", where a language suffix would start
    uint32_t codePage = kNoCodePage;
    std::string bytes;              // the decoded bytes
    std::string rawText;            // "=?...?=" as it stood, with the blanks before it
};

// Parses the encoded word whose "=?" ends just before text; on success fills
// word (all but rawText) and returns the offset of its closing "?=" from text,
// else returns std::string::npos.
size_t ParseEncodedWord(const char* text, size_t length, EncodedWord& word);

// Header text with encoded words ("=?charset?B|Q?text?=") decoded.
StringW DecodeRfc2047(const std::string& value);
// The text as plain ANSI when it is all ASCII, else one B-encoded word.
// A code page of kNoCodePage means the ANSI code page.
std::string EncodeRfc2047(const StringW& text, uint32_t codePage = kNoCodePage);

// An extended parameter value "charset'language'percent-coded bytes".
StringW DecodeRfc2231(const std::string& value, uint32_t* codePage = nullptr);
std::string EncodeRfc2231(const StringW& text, uint32_t codePage = kNoCodePage);

// Percent-coded bytes in the given code page, as text.
StringW PercentDecodeToUnicode(const std::string& text, uint32_t codePage);
// Every byte outside the unreserved set (letters, digits, "-._~") as %XX.
std::string UrlEncode(const std::string& text);
// "+" as a space and %XX as its byte.
std::string UrlDecode(const std::string& text);

// The last three characters, or all of a shorter text.
std::string GetLastThreeChars(const std::string& text);

} // namespace Quenzal::Net

#pragma once
// Wide text inside the program, narrow text at its edges (UTF-8 in the log and
// resources, the ANSI code page for some system values, raw bytes on the wire).

#include <windows.h>
#include <oleauto.h>

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Quenzal {

// Selects the StringW constructor that takes UTF-16LE bytes as they lie.
struct FromBinaryTag {};
inline constexpr FromBinaryTag FromBinary{};

class StringW : public std::wstring {
public:
    StringW() = default;
    StringW(const wchar_t* text);
    StringW(const wchar_t* text, size_type length);
    StringW(size_type count, wchar_t ch) : std::wstring(count, ch) {}
    StringW(const std::wstring& text) : std::wstring(text) {}
    StringW(std::wstring&& text) noexcept : std::wstring(std::move(text)) {}
    template <class It>
    StringW(It first, It last) : std::wstring(first, last) {}
    // Narrow text in the ANSI code page.
    explicit StringW(const std::string& text);
    StringW(const char* text, size_type length);
    // UTF-16LE code units as raw bytes; an odd byte count is an error.
    StringW(FromBinaryTag, const std::string& data);

    StringW(const StringW&) = default;
    StringW(StringW&&) noexcept = default;
    StringW& operator=(const StringW&) = default;
    StringW& operator=(StringW&&) noexcept = default;
    StringW& operator=(const wchar_t* text) { return Assign(text); }

    StringW& Assign(const wchar_t* text);
    static StringW FromAnsi(const std::string& text, UINT codePage);

    void SetAnsi(const char* text, size_type length, UINT codePage);
    void SetAnsi(const std::string& text, UINT codePage) { SetAnsi(text.data(), text.size(), codePage); }
    void GetAnsi(std::string& out, UINT codePage) const;
    std::string GetAnsi(UINT codePage) const;
    std::string ToAnsi() const;
    std::string ToUtf8() const { return GetAnsi(CP_UTF8); }
    void GetUtf8(std::string& out) const { GetAnsi(out, CP_UTF8); }
    BSTR AllocSysString() const;

    static StringW Format(const wchar_t* format, ...);
    static StringW FormatV(const wchar_t* format, va_list args);
    static void FormatString(StringW& target, const wchar_t* format, ...);
    static void FormatStringV(StringW& target, const wchar_t* format, va_list args);
    StringW& AppendFormat(const wchar_t* format, ...);
    StringW& AppendFormatV(const wchar_t* format, va_list args);
    StringW& AppendFormatLine(const wchar_t* format, ...);
    StringW& AppendLineBreak();

    StringW& TrimLeft();
    StringW& TrimRight();
    StringW Trimmed() const;
    StringW& EraseFront(size_type count);
};

StringW operator+(const wchar_t* left, const StringW& right);

class StringA : public std::string {
public:
    StringA() = default;
    StringA(const char* text);
    StringA(const char* text, size_type length);
    StringA(const std::string& text) : std::string(text) {}
    StringA(std::string&& text) noexcept : std::string(std::move(text)) {}

    StringA& Assign(const char* text);
    std::string GetString() const { return *this; }
    // The first count characters, or the whole text when it is shorter.
    StringA Left(size_type count) const { return StringA(substr(0, count)); }
    StringA& FormatV(const char* format, va_list args);
    static StringA Format(const char* format, ...);
    StringA& Trim();
};

std::vector<StringW> Split(const std::wstring& text, wchar_t delimiter);
StringW Join(const std::vector<StringW>& parts, const std::wstring& separator);
StringW JoinWithComma(const std::vector<StringW>& parts);
StringW GetLastToken(const std::wstring& text, wchar_t delimiter, bool keepDelimiter);
std::string BytesToHex(const void* bytes, size_t count);
inline std::string BytesToHex(const std::string& bytes) { return BytesToHex(bytes.data(), bytes.size()); }
bool IsNumericString(const std::wstring& text);
// Whether the text holds a character that text from outside must not bring
// into a line: a control character (below 0x20, DEL, C1), a line or paragraph
// separator, or a bidirectional embedding, override or isolate, which
// reorders the line for the eye. Narrow text is read as UTF-8; bytes that are
// not UTF-8 are no characters here.
bool HasControlCharacter(std::string_view text);
bool HasControlCharacter(std::wstring_view text);
// Shows each such character of the UTF-8 text, from position from on, as '?';
// so too each byte 0x80-0x9F that is not part of a UTF-8 character, which a
// viewer that falls back to Latin-1 shows as a C1 control (NEL breaks a line).
void ShowControlCharacters(std::string& text, size_t from = 0);
// Where UTF-8 text cut at bound ends: before the character that the bound
// falls into, when that character starts at most three bytes back; text
// that is not UTF-8 is cut at the bound.
size_t GetUtf8CutPosition(std::string_view text, size_t bound);
// How many bytes at the start of text continue a character cut off before
// it (at most three).
size_t CountLeadingContinuationBytes(std::string_view text);
std::string ConvertToAscii(const std::wstring& text);

} // namespace Quenzal

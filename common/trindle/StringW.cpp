#include "StringW.h"

#include "ErrorReport.h"
#include "Util.h"

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <stdexcept>
#include <type_traits>

namespace Quenzal {

StringW::StringW(const wchar_t* text)
{
    if (text != nullptr)
        std::wstring::assign(text);
}

StringW::StringW(const wchar_t* text, size_type length)
{
    if (text != nullptr)
        std::wstring::assign(text, length);
}

StringW::StringW(const std::string& text)
{
    SetAnsi(text.data(), text.size(), CP_ACP);
}

StringW::StringW(const char* text, size_type length)
{
    if (text != nullptr)
        SetAnsi(text, length, CP_ACP);
}

StringW::StringW(FromBinaryTag, const std::string& data)
{
    if (data.size() % 2 != 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to construct StringW from binary data of length " + FormatBufferSize(data)));
    resize(data.size() / 2);
    if (!data.empty())
        memcpy(std::wstring::data(), data.data(), data.size());
}

StringW& StringW::Assign(const wchar_t* text)
{
    if (text == nullptr)
        clear();
    else
        std::wstring::assign(text);
    return *this;
}

StringW StringW::FromAnsi(const std::string& text, UINT codePage)
{
    StringW result;
    result.SetAnsi(text.data(), text.size(), codePage);
    return result;
}

void StringW::SetAnsi(const char* text, size_type length, UINT codePage)
{
    clear();
    if (text == nullptr)
        return;
    if (length == npos)
        length = strlen(text);
    if (length == 0)
        return;
    int needed = ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    if (needed <= 0)
        QZL_THROW(QZL_FUNCTION, CWinError());
    resize(static_cast<size_type>(needed));
    int written = ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), data(), needed);
    if (written <= 0) {
        DWORD error = ::GetLastError();
        clear();
        QZL_THROW(QZL_FUNCTION, CWinError(error, nullptr));
    }
    resize(static_cast<size_type>(written));
}

void StringW::GetAnsi(std::string& out, UINT codePage) const
{
    out.clear();
    if (empty())
        return;
    int needed = ::WideCharToMultiByte(codePage, 0, data(), static_cast<int>(size()), nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        QZL_THROW(QZL_FUNCTION, CWinError());
    out.resize(static_cast<size_t>(needed));
    int written = ::WideCharToMultiByte(codePage, 0, data(), static_cast<int>(size()), out.data(), needed,
                                        nullptr, nullptr);
    if (written <= 0) {
        DWORD error = ::GetLastError();
        out.clear();
        QZL_THROW(QZL_FUNCTION, CWinError(error, nullptr));
    }
    out.resize(static_cast<size_t>(written));
}

std::string StringW::GetAnsi(UINT codePage) const
{
    std::string out;
    GetAnsi(out, codePage);
    return out;
}

std::string StringW::ToAnsi() const
{
    return GetAnsi(CP_ACP);
}

BSTR StringW::AllocSysString() const
{
    return ::SysAllocStringLen(data(), static_cast<UINT>(size()));
}

StringW StringW::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    StringW result = FormatV(format, args);
    va_end(args);
    return result;
}

StringW StringW::FormatV(const wchar_t* format, va_list args)
{
    StringW result;
    FormatStringV(result, format, args);
    return result;
}

void StringW::FormatString(StringW& target, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatStringV(target, format, args);
    va_end(args);
}

void StringW::FormatStringV(StringW& target, const wchar_t* format, va_list args)
{
    target.clear();
    if (format == nullptr)
        return;
    va_list measure;
    va_copy(measure, args);
    int count = _vscwprintf(format, measure);
    va_end(measure);
    if (count <= 0)
        return;
    target.resize(static_cast<size_type>(count) + 1);
    va_list fill;
    va_copy(fill, args);
    int written = vswprintf_s(target.data(), target.size(), format, fill);
    va_end(fill);
    target.resize(written > 0 ? static_cast<size_type>(written) : 0);
}

StringW& StringW::AppendFormat(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
    return *this;
}

StringW& StringW::AppendFormatV(const wchar_t* format, va_list args)
{
    append(FormatV(format, args));
    return *this;
}

StringW& StringW::AppendFormatLine(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
    return AppendLineBreak();
}

StringW& StringW::AppendLineBreak()
{
    append(L"\r\n");
    return *this;
}

StringW& StringW::TrimLeft()
{
    size_type i = 0;
    while (i < size() && iswspace((*this)[i]))
        ++i;
    erase(0, i);
    return *this;
}

StringW& StringW::TrimRight()
{
    size_type n = size();
    while (n > 0 && iswspace((*this)[n - 1]))
        --n;
    resize(n);
    return *this;
}

StringW StringW::Trimmed() const
{
    StringW copy(*this);
    copy.TrimRight();
    copy.TrimLeft();
    return copy;
}

StringW& StringW::EraseFront(size_type count)
{
    if (count > size())
        throw std::out_of_range("StringW::EraseFront");
    if (count != 0)
        erase(0, count);
    return *this;
}

StringW operator+(const wchar_t* left, const StringW& right)
{
    StringW result(left);
    result.append(right);
    return result;
}

StringA::StringA(const char* text)
{
    if (text != nullptr)
        std::string::assign(text);
}

StringA::StringA(const char* text, size_type length)
{
    if (text != nullptr && length != 0)
        std::string::assign(text, length);
}

StringA& StringA::Assign(const char* text)
{
    if (text == nullptr)
        clear();
    else
        std::string::assign(text);
    return *this;
}

StringA& StringA::FormatV(const char* format, va_list args)
{
    clear();
    if (format == nullptr)
        return *this;
    va_list measure;
    va_copy(measure, args);
    int count = _vscprintf(format, measure);
    va_end(measure);
    if (count <= 0)
        return *this;
    resize(static_cast<size_type>(count) + 1);
    va_list fill;
    va_copy(fill, args);
    int written = vsprintf_s(data(), size(), format, fill);
    va_end(fill);
    resize(written > 0 ? static_cast<size_type>(written) : 0);
    return *this;
}

StringA StringA::Format(const char* format, ...)
{
    StringA result;
    va_list args;
    va_start(args, format);
    result.FormatV(format, args);
    va_end(args);
    return result;
}

StringA& StringA::Trim()
{
    size_type n = size();
    while (n > 0 && isspace(static_cast<unsigned char>((*this)[n - 1])))
        --n;
    resize(n);
    size_type i = 0;
    while (i < size() && isspace(static_cast<unsigned char>((*this)[i])))
        ++i;
    erase(0, i);
    return *this;
}

std::vector<StringW> Split(const std::wstring& text, wchar_t delimiter)
{
    std::vector<StringW> parts;
    size_t position = 0;
    while (position < text.size()) {
        size_t found = text.find(delimiter, position);
        if (found == std::wstring::npos) {
            parts.emplace_back(text.substr(position));
            break;
        }
        parts.emplace_back(text.substr(position, found - position));
        position = found + 1;
    }
    return parts;
}

StringW Join(const std::vector<StringW>& parts, const std::wstring& separator)
{
    StringW result;
    for (const StringW& part : parts) {
        if (!result.empty())
            result.append(separator);
        result.append(part);
    }
    return result;
}

StringW JoinWithComma(const std::vector<StringW>& parts)
{
    return Join(parts, L",");
}

StringW GetLastToken(const std::wstring& text, wchar_t delimiter, bool keepDelimiter)
{
    size_t p = text.rfind(delimiter);
    if (text.empty() || p == std::wstring::npos)
        return StringW();
    return StringW(text.substr(keepDelimiter ? p : p + 1));
}

std::string BytesToHex(const void* bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        out.push_back(digits[p[i] >> 4]);
        out.push_back(digits[p[i] & 0x0F]);
    }
    return out;
}

namespace {

// The longest UTF-8 character takes four bytes: its lead and three more.
constexpr size_t MaxContinuationBytes = 3;

bool IsContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at the start of text, with
// its code point; 0 when the bytes there are none (overlong forms and
// surrogates included, which lax decoders turn into line breaks).
size_t DecodeUtf8Character(std::string_view text, char32_t& ch)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    size_t length = 1;
    char32_t least = 0;
    if (lead < 0x80) {
        ch = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        ch = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        ch = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        ch = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuationByte(text[i]))
            return 0;
        ch = (ch << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    return ch < least || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF) ? 0 : length;
}

bool IsControlCharacter(char32_t ch)
{
    return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || ch == 0x2028 || ch == 0x2029 || (ch >= 0x202A && ch <= 0x202E) ||
           (ch >= 0x2066 && ch <= 0x2069);
}

} // namespace

bool HasControlCharacter(std::string_view text)
{
    char32_t ch = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = DecodeUtf8Character(text.substr(i), ch);
        if (length != 0 && IsControlCharacter(ch))
            return true;
        i += std::max<size_t>(length, 1);
    }
    return false;
}

bool HasControlCharacter(std::wstring_view text)
{
    return std::any_of(text.begin(), text.end(), [](wchar_t ch) { return IsControlCharacter(ch); });
}

void ShowControlCharacters(std::string& text, size_t from)
{
    std::string shown;
    shown.reserve(text.size() - std::min(from, text.size()));
    char32_t ch = 0;
    for (size_t i = from; i < text.size();) {
        const size_t length = DecodeUtf8Character(std::string_view(text).substr(i), ch);
        const auto byte = static_cast<unsigned char>(text[i]);
        if (length == 0 ? byte >= 0x80 && byte <= 0x9F : IsControlCharacter(ch))
            shown.push_back('?');
        else
            shown.append(text, i, std::max<size_t>(length, 1));
        i += std::max<size_t>(length, 1);
    }
    if (from < text.size())
        text.replace(from, std::string::npos, shown);
}

size_t GetUtf8CutPosition(std::string_view text, size_t bound)
{
    if (bound >= text.size())
        return text.size();
    char32_t ch = 0;
    for (size_t back = 1; back <= MaxContinuationBytes && back <= bound; ++back) {
        if (DecodeUtf8Character(text.substr(bound - back), ch) > back)
            return bound - back;
    }
    return bound;
}

size_t CountLeadingContinuationBytes(std::string_view text)
{
    size_t count = 0;
    while (count < MaxContinuationBytes && count < text.size() && IsContinuationByte(text[count]))
        ++count;
    return count;
}

bool IsNumericString(const std::wstring& text)
{
    size_t i = 0;
    if (!text.empty() && text[0] == L'-')
        i = 1;
    bool seenPoint = false;
    for (; i < text.size(); ++i) {
        if (text[i] == L'.') {
            if (seenPoint)
                return false;
            seenPoint = true;
        } else if (!iswdigit(text[i])) {
            return false;
        }
    }
    return true;
}

std::string ConvertToAscii(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t ch : text) {
        if (iswascii(ch))
            out.push_back(static_cast<char>(ch));
        else if (ch == 0x2018 || ch == 0x2019)
            out.push_back('\'');
        else if (ch == 0x201C || ch == 0x201D)
            out.push_back('"');
        else
            out.push_back('?');
    }
    return out;
}

} // namespace Quenzal

#include "Utf7.h"

#include "ErrorReport.h"
#include "NetEncoding.h"

namespace Quenzal::Net {

namespace {

bool IsBase64Char(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '+' ||
           ch == '/';
}

} // namespace

bool IsUtf7DirectChar(wchar_t ch)
{
    if (ch == L'\t' || ch == L'\n' || ch == L'\v' || ch == L'\f' || ch == L'\r' || ch == L' ')
        return true;
    return ch >= 0x21 && ch <= 0x7D && ch != L'+' && ch != L'\\';
}

StringW ConvertUtf7ToUtf16(const char* bytes, size_t length)
{
    StringW result;
    if (bytes == nullptr || length == 0)
        return result;
    const void* nul = memchr(bytes, 0, length);
    if (nul != nullptr)
        length = static_cast<size_t>(static_cast<const char*>(nul) - bytes);
    result.reserve(length);

    size_t i = 0;
    while (i < length) {
        char ch = bytes[i++];
        if (ch != '+') {
            // Not valid UTF-7; kept as the character of the same number.
            result.push_back(static_cast<wchar_t>(static_cast<unsigned char>(ch)));
            continue;
        }
        if (i < length && bytes[i] == '-') {
            result.push_back(L'+');
            ++i;
            continue;
        }
        size_t start = i;
        while (i < length && IsBase64Char(bytes[i]))
            ++i;
        if (i == start)
            QZL_THROW(QZL_FUNCTION, CException(L"UTF-7 is ill-formed"));
        std::string units = Base64Decode(bytes + start, i - start);
        if (units.size() % 2 != 0)
            QZL_THROW(QZL_FUNCTION, CException(L"UTF-7 is ill-formed"));
        for (size_t u = 0; u < units.size(); u += 2) {
            result.push_back(static_cast<wchar_t>((static_cast<unsigned char>(units[u]) << 8) |
                                                  static_cast<unsigned char>(units[u + 1])));
        }
        if (i < length && bytes[i] == '-')
            ++i;
    }
    return result;
}

std::string ConvertUtf16ToUtf7(const wchar_t* text, size_t length)
{
    std::string result;
    if (text == nullptr || length == 0)
        return result;
    result.reserve(length);

    size_t i = 0;
    while (i < length && text[i] != 0) {
        wchar_t ch = text[i];
        if (IsUtf7DirectChar(ch)) {
            result.push_back(static_cast<char>(ch));
            ++i;
            continue;
        }
        if (ch == L'+') {
            result.append("+-");
            ++i;
            continue;
        }
        std::string units;
        while (i < length && text[i] != 0 && !IsUtf7DirectChar(text[i])) {
            units.push_back(static_cast<char>(text[i] >> 8));
            units.push_back(static_cast<char>(text[i] & 0xFF));
            ++i;
        }
        std::string encoded = Base64Encode(units);
        while (!encoded.empty() && encoded.back() == '=')
            encoded.pop_back();
        result.push_back('+');
        result.append(encoded);
        result.push_back('-');
    }
    return result;
}

} // namespace Quenzal::Net

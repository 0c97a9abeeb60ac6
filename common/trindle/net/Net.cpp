#include "Net.h"

#include "CodePageConversion.h"
#include "Util.h"

namespace Quenzal::Net {

bool IsEmailAddress(const std::wstring& text)
{
    size_t at = text.find(L'@');
    return at != std::wstring::npos && at >= 1 && at + 1 < text.size();
}

bool IsAscii(const std::wstring& text)
{
    for (wchar_t ch : text) {
        if (ch >= 0x80)
            return false;
    }
    return true;
}

StringW ConvertToUnicode(const std::string& text, uint32_t codePage)
{
    return Os::ConvertAnsiToUnicode(text.data(), text.size(), codePage);
}

size_t FindBoundaryLine(const char* data, size_t length, const std::string& delimiter, size_t& matchedLength)
{
    matchedLength = 0;
    if (data == nullptr || delimiter.empty())
        return std::string::npos;
    size_t position = 0;
    while (position < length) {
        const char* found = FindBytes(data + position, length - position, delimiter.data(), delimiter.size());
        if (found == nullptr)
            return std::string::npos;
        const size_t start = static_cast<size_t>(found - data);
        if (start == 0 || data[start - 1] == '\n') {
            const size_t after = start + delimiter.size();
            size_t i = after;
            for (; i < length; ++i) {
                char ch = data[i];
                if (ch == '\0' || ch == '\n') {
                    matchedLength = delimiter.size() + (i - after) + 1;
                    return start;
                }
                if (ch != ' ' && ch != '\t' && ch != '\r')
                    break;
            }
            if (i == length) {
                matchedLength = delimiter.size() + (i - after);
                return start;
            }
        }
        position = start + 1;
    }
    return std::string::npos;
}

} // namespace Quenzal::Net

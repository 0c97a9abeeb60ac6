#include "Localization.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "ResourceBuffer.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

namespace Quenzal::Localization {

namespace {

// The lid is the run of decimal digits that ends the key; the text before it
// ("windows_string") plays no part.
int ParseLid(const char* keyStart, const char* equals, const char* bufferEnd)
{
    const char* digits = equals;
    while (digits > keyStart && isdigit(static_cast<unsigned char>(digits[-1])))
        --digits;
    if (digits == equals) {
        size_t shown = static_cast<size_t>(bufferEnd - keyStart);
        if (shown > 20)
            shown = 20;
        QZL_THROW(L"ParseLid", CException(L"Found invalid lid: " + StringW(keyStart, shown)));
    }
    long long lid = 0;
    for (const char* p = digits; p < equals && lid <= INT_MAX; ++p)
        lid = lid * 10 + (*p - '0');
    return lid > INT_MAX ? INT_MAX : static_cast<int>(lid);
}

StringW Utf8toUtf16(const std::string& value)
{
    int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, value.c_str(), -1, nullptr, 0);
    if (length == 0)
        QZL_THROW(L"Utf8toUtf16",
                  CWinError(::GetLastError(),
                            (L"Unable to calculate length of UTF-8 string in messages.txt: " + StringW(value)).c_str()));
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, value.c_str(), -1, text.data(), length) == 0)
        QZL_THROW(L"Utf8toUtf16",
                  CWinError(::GetLastError(),
                            (L"Unable to convert string in messages.txt from UTF-8 to UTF-16: " + StringW(value))
                                .c_str()));
    text.resize(static_cast<size_t>(length - 1));
    return StringW(std::move(text));
}

std::string TrimmedValue(const char* begin, const char* end)
{
    while (begin < end && isspace(static_cast<unsigned char>(*begin)))
        ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(end[-1])))
        --end;
    return std::string(begin, end);
}

} // namespace

void LoadLocalizedMessages(DWORD index, MessageTable& table)
{
    const LanguageRow* row = GetLanguageRow(index);
    if (row == nullptr || row->resourceId == 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to identify localization resource"));
    std::string_view resource = Os::GetResourceBuffer(Os::GetThisModule(), row->resourceId);
    LoadLocalizedMessagesFromBuffer(resource.data(), resource.size(), table);
}

void LoadLocalizedMessagesFromBuffer(const char* bytes, size_t length, MessageTable& table)
{
    size_t stored = 0;
    if (bytes != nullptr) {
        const char* position = bytes;
        const char* end = bytes + length;
        if (length >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0)
            position += 3;
        // Only a table built from nothing must not repeat a lid; a translation
        // loaded over English replaces its entries.
        const bool wasEmpty = table.empty();
        while (position < end) {
            if (*position == '\r' || *position == '\n') {
                ++position;
                continue;
            }
            if (*position == '#' || (position + 1 < end && position[1] == '#')) {
                const char* lineEnd = static_cast<const char*>(memchr(position, '\n', end - position));
                position = lineEnd != nullptr ? lineEnd + 1 : end;
                continue;
            }
            // The search runs on across line ends, so a line without '=' ends
            // up in the key of the next entry.
            const char* equals = end - position > 1
                                     ? static_cast<const char*>(memchr(position, '=', end - 1 - position))
                                     : nullptr;
            if (equals == nullptr)
                break;
            int lid = ParseLid(position, equals, end);
            const char* valueStart = equals + 1;
            const char* lineEnd = static_cast<const char*>(memchr(valueStart, '\n', end - valueStart));
            const char* valueEnd = lineEnd != nullptr ? lineEnd : end;
            position = lineEnd != nullptr ? lineEnd + 1 : end;

            if (wasEmpty && table.find(lid) != table.end())
                QZL_THROW(QZL_FUNCTION,
                          CException(StringW::Format(L"Found duplicate lid: %d", lid)));
            std::string value = TrimmedValue(valueStart, valueEnd);
            if (value.empty()) {
                Logging::LogFormat(Logging::Warning, L"Found empty string in localization for lid %d", lid);
                continue;
            }
            table[lid] = Utf8toUtf16(value);
            ++stored;
        }
    }
    if (stored == 0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Unable to parse localization buffer"));
}

} // namespace Quenzal::Localization

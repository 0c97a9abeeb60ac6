#include "Guid.h"

#include "ErrorReport.h"
#include "Logging.h"

#include <objbase.h>

#include <cstdarg>
#include <cstdio>
#include <cwctype>
#include <vector>

namespace Quenzal {

namespace Guid {

void Parse(const std::wstring& text, GUID& guid)
{
    if (!text.empty() && text[0] == L'{') {
        // The fields are scanned into unsigned ints: %X always stores four bytes.
        unsigned int f[11] = {};
        int read = swscanf_s(text.c_str(), L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", &f[0], &f[1],
                             &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10]);
        if (read < 11)
            QZL_THROW(QZL_FUNCTION, CException(L"Unable to parse GUID registry string: " + text));
        guid.Data1 = f[0];
        guid.Data2 = static_cast<unsigned short>(f[1]);
        guid.Data3 = static_cast<unsigned short>(f[2]);
        for (int i = 0; i < 8; ++i)
            guid.Data4[i] = static_cast<unsigned char>(f[3 + i]);
        return;
    }

    const wchar_t* p = text.c_str();
    if (p[0] == L'0' && p[1] == L'x')
        p += 2;
    auto nibble = [](wchar_t c) -> unsigned char {
        if (c >= L'0' && c <= L'9')
            return static_cast<unsigned char>(c - L'0');
        if (c >= L'a' && c <= L'f')
            return static_cast<unsigned char>(c - L'a' + 10);
        return static_cast<unsigned char>(c - L'A' + 10);
    };
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&guid);
    for (size_t i = 0; i < sizeof(GUID); ++i) {
        // The terminator is no hex digit, so a short text stops here without reading past it.
        if (!std::iswxdigit(p[0]) || !std::iswxdigit(p[1]))
            QZL_THROW(QZL_FUNCTION, CException(L"Found invalid hex character in GUID string: " + text));
        bytes[i] = static_cast<unsigned char>(nibble(p[0]) << 4 | nibble(p[1]));
        p += 2;
    }
    if (*p != L'\0')
        QZL_THROW(QZL_FUNCTION, CException(L"Unable to parse GUID string: " + text));
}

std::string ToString(const GUID& guid)
{
    std::string text;
    text += "{";
    AppendFormat(text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned int>(guid.Data1),
                 guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                 guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    text += "}";
    return text;
}

std::string ToHexString(const GUID& guid, bool withPrefix)
{
    std::string hex = BytesToHex(&guid, sizeof(GUID));
    return withPrefix ? "0x" + hex : hex;
}

} // namespace Guid

GUID CreateGuid()
{
    GUID guid{};
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, ::CoCreateGuid(&guid));
    return guid;
}

std::string CreateGuidHexString()
{
    return Guid::ToHexString(CreateGuid(), false);
}

void AppendFormat(std::string& target, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = _vscprintf(format, measure);
    va_end(measure);
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        int written = vsprintf_s(buffer.data(), buffer.size(), format, args);
        size_t count = static_cast<size_t>(length);
        if (written >= 0 && written != length)
            count = static_cast<size_t>(written);
        target.append(buffer.data(), count);
    }
    va_end(args);
}

} // namespace Quenzal

#include "NetEncoding.h"

#include "ErrorReport.h"

namespace Quenzal::Net {

namespace {

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

} // namespace

std::string HexDecode(const std::string& hex)
{
    if (hex.empty())
        return std::string();
    if (hex.size() % 2 != 0)
        QZL_THROW(L"Quenzal::Net::HexDecode", CException(L"AtlHexDecode failed"));
    std::string out(hex.size() / 2, '\0');
    for (size_t i = 0; i < out.size(); ++i) {
        int high = HexValue(hex[2 * i]);
        int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            QZL_THROW(L"Quenzal::Net::HexDecode", CException(L"AtlHexDecode failed"));
        out[i] = static_cast<char>((high << 4) | low);
    }
    return out;
}

} // namespace Quenzal::Net

#include "Util.h"

namespace Quenzal {

StringW FormatByteSize(uint64_t bytes)
{
    const double count = static_cast<double>(bytes);
    if (bytes == 0)
        return L"0K";
    if (bytes < 1024)
        return StringW::Format(L"%I64uB", bytes);
    if (bytes < 0x100000)
        return StringW::Format(L"%.1fK", count / 1024.0);
    if (bytes < 0x40000000)
        return StringW::Format(L"%.1fM", count / 1048576.0);
    return StringW::Format(L"%.1fG", count / 1073741824.0);
}

StringW FormatBufferSize(const std::string& data)
{
    return FormatByteSize(data.size());
}

} // namespace Quenzal

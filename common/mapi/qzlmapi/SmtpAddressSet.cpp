#include "SmtpAddressSet.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace Quenzal::Mapi {

size_t CaseInsensitiveHash::operator()(const std::string& text) const
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
        hash *= 0x100000001b3ULL;
    }
    return static_cast<size_t>(hash ^ (hash >> 32));
}

bool CaseInsensitiveEqual::operator()(const std::string& left, const std::string& right) const
{
    return _stricmp(left.c_str(), right.c_str()) == 0;
}

} // namespace Quenzal::Mapi

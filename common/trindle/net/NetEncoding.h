#pragma once
// Encodings of mail and the web.

#include <string>

namespace Quenzal::Net {

// The bytes spelled by hexadecimal text (either case); raises on anything else.
std::string HexDecode(const std::string& hex);

} // namespace Quenzal::Net

#pragma once
// Per-user data protection: bytes that the system encrypted for the current
// Windows user account (the legacy form of a stored secret).

#include <cstddef>
#include <string>

namespace Quenzal::Os {

// The plain bytes; empty input gives an empty result without a system call.
std::string DecryptData(const void* data, size_t length);
std::string DecryptDataString(const std::string& data);

} // namespace Quenzal::Os

#pragma once
// Small helpers that have no better home.

#include "StringW.h"

namespace Quenzal {

// Byte count with a unit: "0K", "1023B", "1.5K", "2.0M", "1.0G".
StringW FormatByteSize(uint64_t bytes);
StringW FormatBufferSize(const std::string& data);

} // namespace Quenzal

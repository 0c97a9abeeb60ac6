#pragma once
// Conversions between text in a code page named by a message and UTF-16, with
// the fallbacks of the charset tables. Code page 0xFFFFFFFF means the ANSI
// code page, 1200 UTF-16 (little-endian) and 65000 UTF-7.

#include "StringW.h"

#include <cstdint>
#include <string>

namespace Quenzal::Os {

// Raises when neither the code page nor its fallbacks convert the bytes.
StringW ConvertAnsiToUnicode(const char* bytes, size_t length, uint32_t codePage);
// Never raises: tries the code page, then its fallback, UTF-8, the ANSI code
// page and 1252, and at last gives an ASCII approximation. The code page used
// is written back.
std::string ConvertUnicodeToAnsi(const wchar_t* text, size_t length, uint32_t* codePage);
std::string ConvertUnicodeToAnsi(const StringW& text, uint32_t* codePage);

} // namespace Quenzal::Os

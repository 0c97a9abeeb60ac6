#pragma once
// Small helpers shared by the URI, MIME and HTTP code.

#include "StringW.h"

#include <cstdint>
#include <string>

namespace Quenzal::Net {

// True when the first '@' has at least one character on each side.
bool IsEmailAddress(const std::wstring& text);
// True when every character is below 0x80 (an empty text too).
bool IsAscii(const std::wstring& text);
// Narrow text in the code page as wide text, with the code-page fallbacks.
StringW ConvertToUnicode(const std::string& text, uint32_t codePage);

// Finds the delimiter where it starts a line (at the buffer's start or after
// an LF) and is followed only by blanks and CRs up to the line's end. Returns
// its position and sets matchedLength to the delimiter with the rest of its
// line; std::string::npos when there is none.
size_t FindBoundaryLine(const char* data, size_t length, const std::string& delimiter, size_t& matchedLength);

} // namespace Quenzal::Net

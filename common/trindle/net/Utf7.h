#pragma once
// UTF-7 (RFC 2152), the code page 65000 of mail headers and bodies.

#include "StringW.h"

#include <string>

namespace Quenzal::Net {

// Decodes up to length bytes or the first 0 byte; raises "UTF-7 is ill-formed"
// for a shifted run that is empty or holds an odd number of bytes.
StringW ConvertUtf7ToUtf16(const char* bytes, size_t length);
// Encodes up to length characters or the first 0 character; every shifted
// run ends with "-".
std::string ConvertUtf16ToUtf7(const wchar_t* text, size_t length);
// TAB, LF, VT, FF, CR, space and the printable ASCII characters but "+", "\" and "~".
bool IsUtf7DirectChar(wchar_t ch);

} // namespace Quenzal::Net

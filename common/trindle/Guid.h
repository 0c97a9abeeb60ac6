#pragma once
// GUIDs as identities and as unique names: creation, and the two text forms we
// use, the braced upper-case registry form and 32 lower-case hexadecimal
// digits of the record's bytes in memory order.

#include <windows.h>

#include <string>

namespace Quenzal {

// A new GUID from the system; a failure raises CComError.
GUID CreateGuid();
// The 32-digit form, without prefix, of a new GUID.
std::string CreateGuidHexString();

// Appends printf-style narrow text (the runtime's own meaning of the format).
void AppendFormat(std::string& target, const char* format, ...);

namespace Guid {

// "{00112233-4455-6677-8899-AABBCCDDEEFF}"
std::string ToString(const GUID& guid);
// "33221100554477668899aabbccddeeff", with "0x" in front when withPrefix.
std::string ToHexString(const GUID& guid, bool withPrefix);
// Reads either form; raises CException when the text is no GUID. The braced
// form writes guid only on success; the hex form may leave it partly written.
void Parse(const std::wstring& text, GUID& guid);

} // namespace Guid

} // namespace Quenzal

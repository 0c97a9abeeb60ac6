#pragma once
// Last-chance handling of a structured exception (an access violation and the
// like): log it, save a minidump of the process in the temporary folder and
// end the process with the exception's code.

#include "StringW.h"

#include <windows.h>

// Never returns in practice: it ends the process. Nominally
// EXCEPTION_CONTINUE_SEARCH.
LONG QzlUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers);

namespace Quenzal::Os {

// Logs the exception and saves the dump; never raises.
void WriteCrashDump(EXCEPTION_POINTERS* pointers);
// Writes the dump file through the system's debug-help library.
void CreateMinidump(EXCEPTION_POINTERS* pointers, const std::wstring& path);
// "<host>.<commit>.<32 hex digits>.mdmp"; the commit part is left out when
// this module carries none.
StringW GetMinidumpFileName();

} // namespace Quenzal::Os

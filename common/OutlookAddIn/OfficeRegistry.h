#pragma once
// Repairs of Office's own registry data for the add-in: taking the add-in off
// Outlook's list of disabled items, with the two small registry reads that
// needs.

#include "RegistryValueIterator.h"
#include "StringW.h"

#include <string>

namespace Quenzal::Os {

// The bytes of a REG_BINARY value; empty when the value is absent. A value of
// another type raises the registry layer's type-check error.
std::string GetRegistryBinary(HKEY key, const wchar_t* valueName);
// The name at the enumerator's index, moving it on by one; empty at the end.
StringW GetNextRegistryValueName(CRegistryValueIterator& enumerator);

} // namespace Quenzal::Os

namespace Quenzal::OutlookAddIn {

// Deletes every value of Outlook's DisabledItems keys (Office 16 down to 9,
// current user) whose record holds the module's file name (no directory),
// lower-cased, as UTF-16LE text. True when anything was deleted. Never throws:
// failures are reported and the search goes on.
bool EnableDisabledAddIn(const std::wstring& moduleFileName);

} // namespace Quenzal::OutlookAddIn

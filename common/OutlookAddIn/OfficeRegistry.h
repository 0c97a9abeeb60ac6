#pragma once
// Repairs of Office's own registry data for the add-in: taking the add-in off
// Outlook's list of disabled items, with the small registry read that needs.

#include "RegistryValueIterator.h"
#include "StringW.h"

#include <string>

namespace Quenzal::Os {

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

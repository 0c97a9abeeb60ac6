#pragma once
// Names of MAPI results, notification events and table events, for log and
// error texts.

#include "StringW.h"

#include <windows.h>

namespace Quenzal::Mapi {

// Adds the MAPI names of 79 results to the process-wide error-name table,
// so the results MAPI shares with COM (0x80004005 and others) read as their
// MAPI names from then on. Runs once while the module loads.
void RegisterMapiErrorNames();

// The names of the set event bits joined by " | "; bits without a name are
// left out.
StringW FormatNotificationEventMask(ULONG mask);
// "TABLE_ROW_ADDED" and the like, or "Unknown table event: <n>".
StringW GetTableEventName(ULONG event);

} // namespace Quenzal::Mapi

#pragma once
// Small services around Outlook that several parts of the add-in use: the
// Click-to-Run check and the connection-mode names of the diagnostics, the
// date text of Items.Restrict filters, an attachment's file name, and the
// table of Office ribbon ids.

#include "DispatchObject.h"
#include "StringW.h"

#include <oaidl.h>

namespace Quenzal::OutlookAddIn {

// True when a Click-to-Run marker of Office 14, 15 or 16 is found (logged).
bool IsOutlookClickToRun();
// "olCachedConnectedFull" and the other OlExchangeConnectionMode names.
StringW GetExchangeConnectionModeName(long mode);
// Local date and time as Outlook's Restrict filters expect it; the zero date
// gives the empty text.
StringW FormatRestrictionDateTime(DATE date);
// Attachment.FileName, or the empty text when it cannot be read.
StringW TryGetAttachmentFilename(const CDispatchObject& attachment);

// The ribbon kind of an Office ribbon id such as "Microsoft.Outlook.Explorer"
// (letter case ignored); -1 for an id not in the table.
int GetRibbonKind(const std::wstring& ribbonId);
// The ribbon id of a kind; empty for a kind not in the table.
StringW GetRibbonId(int kind);
// Adds or replaces a pair while the module loads; the id is a static text.
void AddRibbonId(const wchar_t* ribbonId, int kind);

} // namespace Quenzal::OutlookAddIn

#pragma once
// Small services around Outlook that several parts of the add-in use: the
// Click-to-Run check and the connection-mode names of the diagnostics, the
// date text of Items.Restrict filters, an attachment's file name, the visual
// styles of the add-in's windows, and the table of Office ribbon ids.

#include "ActivationContext.h"
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

// Activates the host's manifest context of resource 3, else of resource 2,
// so that windows made while it is active take the visual styles. False when
// neither could be activated (a failure is reported, never raised).
bool ActivateVisualStyles(Os::CActivationContext& context);

// The kinds of the three mail windows' ribbons, as the ribbon-kind table
// numbers "Microsoft.Outlook.Explorer", ".Mail.Compose" and ".Mail.Read".
inline constexpr int ExplorerRibbonKind = 3;
inline constexpr int ComposeRibbonKind = 5;
inline constexpr int ReadRibbonKind = 6;

// The ribbon kind of an Office ribbon id such as "Microsoft.Outlook.Explorer"
// (letter case ignored); -1 for an id not in the table.
int GetRibbonKind(const std::wstring& ribbonId);
// The ribbon id of a kind; empty for a kind not in the table.
StringW GetRibbonId(int kind);
// Adds or replaces a pair while the module loads; the id is a static text.
void AddRibbonId(const wchar_t* ribbonId, int kind);

} // namespace Quenzal::OutlookAddIn

#pragma once
// The maker's family of Outlook add-ins, all built on this framework: three
// members by fixed index, each knowing the others. The ribbon reads their
// versions and ProgIDs, the options page shows a panel per member, the
// backstage draws the member's bitmap. Members 1 and 2 are separate modules;
// they are only found among Outlook's COM add-ins and in the registry.
//
// The functions raise CException "Unexpected case" for an index outside 0..2,
// except the version, which reports every failure and answers empty.

#include "DispatchObject.h"
#include "OlePicture.h"

namespace Quenzal::OutlookAddIn {

inline constexpr int QuenzalAddInCount = 3;

StringW GetQuenzalAddInDescription(int index);
StringW GetQuenzalAddInProgId(int index);
UINT GetQuenzalAddInIconResourceId(int index);
UINT GetQuenzalAddInBitmapResourceId(int index);
// The member's 55 x 55 panel icon and its backstage bitmap from this module;
// empty when they cannot be loaded.
Os::CIcon LoadQuenzalAddInIcon(int index);
CBitmap LoadQuenzalAddInBitmap(int index);

// The member's settings key under HKEY_CURRENT_USER, and its "Debug" switch
// there: on when the DWORD is present and not 0. Writing creates the key.
StringW GetQuenzalAddInSettingsPath(int index);
bool IsQuenzalAddInDebugEnabled(int index);
void SetQuenzalAddInDebugEnabled(int index, bool enabled);

// CLSIDFromProgID of the member's ProgID; a failure raises CComError.
CLSID GetQuenzalAddInClassId(int index);
// The registered InprocServer32 path; empty when the class is not registered there.
StringW GetQuenzalAddInServerPath(int index);
// The file version of the member's module; empty when it is not installed or
// cannot be read (reported, never raised).
StringW GetQuenzalAddInVersion(int index);
// The member's entry in Outlook's COM add-ins; empty when Outlook does not list it.
CDispatchObject FindQuenzalAddIn(const CDispatchObject& application, int index);

} // namespace Quenzal::OutlookAddIn

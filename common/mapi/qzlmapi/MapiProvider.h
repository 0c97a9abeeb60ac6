#pragma once
// Finding and binding the MAPI provider that serves the host process. The
// layer links no MAPI import library: the first provider found is bound once
// for the whole process and stays loaded until the process ends.
//
// Search order: "olmapi32.dll" or "msmapi32.dll" already loaded in the
// process, the machine's default mail client (its Windows Installer component,
// then "DllPathEx", then "DllPath"), the system folder's "mapi32.dll". A
// candidate that does not export MAPIFreeBuffer and HrGetOneProp cannot serve
// the layer (a Simple-MAPI-only mail client, Wine's own mapi32 and winemapi):
// it is freed and the search goes on.

#include "OsHelperObjects.h"

namespace Quenzal::Mapi {

// The bound provider, searching for one while none is bound (null when
// there is none; the next call then searches again).
HMODULE GetMapiModule();

// The bound provider without searching, and the number of attempts to
// publish one so far: an export looked up at a count stays valid while the
// count is unchanged.
HMODULE GetBoundMapiModule();
LONG GetMapiBindingSequence();

// The routes of the search; each gives only a module that can serve. A null
// client name means the machine's default mail client.
Os::CModule LoadRegisteredMapiClient(const wchar_t* clientName);
Os::CModule LoadMailClientFromMsiData(HKEY clientKey);
Os::CModule LoadMailClientFromDllPath(HKEY clientKey);
Os::CModule LoadMapiFromSystemDirectory();

} // namespace Quenzal::Mapi

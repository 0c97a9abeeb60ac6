#pragma once
// Paths and names of modules, loading modules and registering COM servers,
// and the icon of the system's own user-interface library.

#include "OsHelperObjects.h"

namespace Quenzal::Os {

// Full path of a module; a null handle means the executable of the process.
StringW GetModulePath(HMODULE module);
// Path of the executable that hosts this program (worked out once).
StringW GetHostModulePath();
// The host executable's file name without folder and extension ("OUTLOOK").
StringW GetModuleBaseName();

CModule LoadModule(const wchar_t* path);
// A DLL of the system by its file name, from the system folder only: a DLL of
// that name in the host's folder or another searched one must never stand in
// for it. TryLoadSystemModule gives an empty module where LoadSystemModule raises.
CModule LoadSystemModule(const wchar_t* name);
CModule TryLoadSystemModule(const wchar_t* name);
// Loads the module, calls its DllRegisterServer and frees it again.
void RegisterModule(const wchar_t* path);
CIcon GetUser32Icon();

} // namespace Quenzal::Os

#pragma once
// Read-only access to the message-table resources carried in a module.

#include <windows.h>

#include <string_view>

namespace Quenzal::Os {

// The bytes of resource `resourceId` of type "Localization" in `module`; they
// stay valid while the module is loaded.
std::string_view GetResourceBuffer(HMODULE module, WORD resourceId);

// The module this code is linked into (the add-in DLL, or a test executable),
// whatever program hosts it.
HMODULE GetThisModule();

} // namespace Quenzal::Os

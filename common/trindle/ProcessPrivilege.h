#pragma once
// Enabling a privilege in the token of the current process.

namespace Quenzal::Os {

// Enables the named privilege ("SeTcbPrivilege"); raises CWinError when the
// token cannot be adjusted or does not hold the privilege at all.
void AcquireProcessPrivilege(const wchar_t* name);

} // namespace Quenzal::Os

#include "ProcessPrivilege.h"

#include "ErrorReport.h"
#include "SmartPointer.h"

namespace Quenzal::Os {

void AcquireProcessPrivilege(const wchar_t* name)
{
    CHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive()))
        QZL_THROW(QZL_FUNCTION, CWinError());

    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        QZL_THROW(QZL_FUNCTION, CWinError(name));
    if (!::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr))
        QZL_THROW(QZL_FUNCTION, CWinError(name));
    // The call succeeds even when the token lacks the privilege; only the
    // last error tells, and the caller must not go on as if it were enabled.
    if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED)
        QZL_THROW(QZL_FUNCTION, CWinError(ERROR_NOT_ALL_ASSIGNED, name));
}

} // namespace Quenzal::Os

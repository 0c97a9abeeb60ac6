#include "EnvironmentVariables.h"

#include "ErrorReport.h"

#include <vector>

namespace Quenzal::Os {

StringW ExpandEnvironmentVariables(const std::wstring& text)
{
    if (text.empty())
        return StringW();
    DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(text.c_str()));
    for (;;) {
        std::vector<wchar_t> buffer(needed);
        DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
        if (written == 0)
            QZL_THROW(QZL_FUNCTION, CWinError(text.c_str()));
        // Another thread may have lengthened a variable between the two calls.
        if (written > needed) {
            needed = written;
            continue;
        }
        return StringW(buffer.data(), wcsnlen(buffer.data(), needed));
    }
}

} // namespace Quenzal::Os

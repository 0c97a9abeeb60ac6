#include "HttpTransactionLogs.h"

#include "FileSystem.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace Quenzal::Net {
namespace {

// Exactly the names the connections give, so that no other file is touched.
bool IsTransactionLogName(const std::wstring& name)
{
    constexpr size_t kDigits = 32;
    return name.size() == 5 + kDigits + 4 && name.compare(0, 5, L"HTTP_") == 0 &&
           name.compare(5 + kDigits, 4, L".txt") == 0 &&
           std::all_of(name.begin() + 5, name.begin() + 5 + kDigits,
                       [](wchar_t ch) { return std::iswdigit(ch) || (ch >= L'a' && ch <= L'f'); });
}

} // namespace

void DeleteOldTransactionLogs(const StringW& folder, size_t keep)
{
    struct Log {
        ULONGLONG written;
        std::wstring name;
    };
    std::vector<Log> logs;
    WIN32_FIND_DATAW found = {};
    Os::CFindHandle find = Os::FindFirstEntry(folder + L"HTTP_*.txt", found);
    for (bool more = find.IsValid(); more; more = ::FindNextFileW(find.Get(), &found)) {
        const FILETIME& written = found.ftLastWriteTime;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsTransactionLogName(found.cFileName))
            logs.push_back({(ULONGLONG(written.dwHighDateTime) << 32) | written.dwLowDateTime, found.cFileName});
    }
    if (logs.size() <= keep)
        return;
    std::sort(logs.begin(), logs.end(), [](const Log& a, const Log& b) { return a.written > b.written; });
    for (auto log = logs.begin() + keep; log != logs.end(); ++log)
        Os::TryDeleteFile(folder + log->name);
}

} // namespace Quenzal::Net

#include "OfficeRegistry.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Registry.h"
#include "RegistryValues.h"

#include <cwctype>
#include <vector>

namespace Quenzal::Os {

StringW GetNextRegistryValueName(CRegistryValueIterator& enumerator)
{
    StringW name;
    if (!enumerator.GetCurrentValueName(name, nullptr))
        return StringW();
    enumerator.Advance();
    return name;
}

} // namespace Quenzal::Os

namespace Quenzal::OutlookAddIn {

namespace {

// Outlook's records hold the module name as UTF-16LE text, lower-cased.
std::string LowerCaseUtf16Bytes(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text) {
        const auto lower = static_cast<unsigned>(towlower(c));
        bytes.push_back(static_cast<char>(lower & 0xFF));
        bytes.push_back(static_cast<char>((lower >> 8) & 0xFF));
    }
    return bytes;
}

// All names before the first deletion: a deletion moves the following values
// down one index, so a walk by index that goes on after deleting skips the
// value right behind every deleted one, and the add-in would stay disabled.
std::vector<StringW> GetValueNames(HKEY key)
{
    std::vector<StringW> names;
    Os::CRegistryValueIterator enumerator(key);
    for (StringW name = Os::GetNextRegistryValueName(enumerator); !name.empty();
         name = Os::GetNextRegistryValueName(enumerator))
        names.push_back(std::move(name));
    return names;
}

} // namespace

bool EnableDisabledAddIn(const std::wstring& moduleFileName)
{
    const std::string needle = LowerCaseUtf16Bytes(moduleFileName);
    bool deleted = false;
    for (int version = 16; version >= 9; --version) {
        try {
            StringW path =
                StringW::Format(L"Software\\Microsoft\\Office\\%d.0\\Outlook\\Resiliency\\DisabledItems", version);
            Os::CRegistryKey key;
            if (!key.TryOpen(HKEY_CURRENT_USER, path.c_str(), KEY_READ | KEY_WRITE))
                continue;
            for (const StringW& name : GetValueNames(key.Get())) {
                try {
                    std::string data = key.GetBinaryValue(name.c_str());
                    if (!data.empty() && !needle.empty() && data.find(needle) != std::string::npos) {
                        Os::DeleteRegistryValue(key.Get(), name.c_str());
                        deleted = true;
                    }
                } catch (const CException& e) {
                    QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
                }
            }
        }
        QZL_CATCH_REPORT(QZL_FUNCTION)
    }
    return deleted;
}

} // namespace Quenzal::OutlookAddIn

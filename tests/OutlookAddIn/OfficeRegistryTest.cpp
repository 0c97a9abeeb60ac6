#include "OfficeRegistry.h"

#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;
using QzlTest::CRegistryPathCleanup;

namespace {

StringW DisabledItemsPath(int version)
{
    return StringW::Format(L"Software\\Microsoft\\Office\\%d.0\\Outlook\\Resiliency\\DisabledItems", version);
}

// A record as Outlook might write it: some binary head, then the text.
std::string Record(const std::wstring& text)
{
    std::string bytes("\x01\x00\x00\x00\x5C\x00\x00\x00", 8);
    bytes.append(reinterpret_cast<const char*>(text.c_str()), text.size() * sizeof(wchar_t));
    return bytes;
}

void SetBinary(int version, const wchar_t* name, const std::string& data)
{
    QzlTest::SetRawValue(Os::CreateSubkey(HKEY_CURRENT_USER, DisabledItemsPath(version).c_str()).Get(), name,
                         REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
}

std::set<StringW> ValueNames(int version)
{
    std::set<StringW> names;
    Os::CRegKeyHandle key = Os::TryOpenSubkey(HKEY_CURRENT_USER, DisabledItemsPath(version).c_str());
    if (!key)
        return names;
    Os::CRegistryValueIterator enumerator(key.Get());
    for (StringW name = Os::GetNextRegistryValueName(enumerator); !name.empty();
         name = Os::GetNextRegistryValueName(enumerator))
        names.insert(name);
    return names;
}

} // namespace

// Several matching values in a row are all removed (a walk by index that goes
// on after a deletion would skip every second one); the mixed-case name, a
// value of another type (reported), and versions outside 9 to 16 are left alone.
TEST(OfficeRegistryTest, EnableDisabledAddInRemovesEveryMatchingValue)
{
    QzlTest::CNamedTestLock lock(L"Local\\QuenzalTest.OfficeDisabledItems");
    std::vector<std::unique_ptr<CRegistryPathCleanup>> cleanups;
    // The keys the test makes go again with it; it touches none that was there.
    for (int version = 8; version <= 17; ++version) {
        cleanups.push_back(
            std::make_unique<CRegistryPathCleanup>(HKEY_CURRENT_USER, DisabledItemsPath(version).c_str()));
        ASSERT_FALSE(cleanups.back()->Existed());
    }
    QzlTest::CLogCapture log;

    const std::string match = Record(L"C:\\Program Files\\Quenzal\\nxooutlookaddin.dll");
    for (const wchar_t* name : {L"a", L"b", L"c", L"e"})
        SetBinary(16, name, match);
    SetBinary(16, L"d", Record(L"c:\\other\\addin.dll"));
    SetBinary(16, L"f", Record(L"C:\\Program Files\\Quenzal\\NxoOutlookAddIn.dll"));
    Os::SetRegistryString(Os::CreateSubkey(HKEY_CURRENT_USER, DisabledItemsPath(16).c_str()).Get(), L"g",
                          L"nxooutlookaddin.dll");
    for (const auto& [version, name] : {std::pair{8, L"x"}, {9, L"x"}, {12, L"x"}, {12, L"y"}, {17, L"x"}})
        SetBinary(version, name, match);

    EXPECT_TRUE(EnableDisabledAddIn(L"NxoOutlookAddIn.dll"));
    EXPECT_EQ((std::set<StringW>{L"d", L"f", L"g"}), ValueNames(16));
    EXPECT_TRUE(ValueNames(12).empty());
    EXPECT_TRUE(ValueNames(9).empty());
    EXPECT_EQ(std::set<StringW>{L"x"}, ValueNames(8));
    EXPECT_EQ(std::set<StringW>{L"x"}, ValueNames(17));
    EXPECT_TRUE(QzlTest::HasReportLine(
        log.Text(), "Caught exception", "OfficeRegistry.cpp", "Quenzal::OutlookAddIn::EnableDisabledAddIn",
        L"Registry value is of an unexpected type: expected 'REG_BINARY' but got 'REG_SZ'"));

    EXPECT_FALSE(EnableDisabledAddIn(L"NxoOutlookAddIn.dll"));
    EXPECT_FALSE(EnableDisabledAddIn(L""));
    EXPECT_EQ(3u, ValueNames(16).size());
}

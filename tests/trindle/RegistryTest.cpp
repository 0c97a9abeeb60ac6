#include "DataProtection.h"
#include "EnvironmentVariables.h"
#include "ErrorReport.h"
#include "Registry.h"
#include "RegistryKey.h"
#include "RegistryTestSupport.h"
#include "RegistryValueIterator.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dpapi.h>

#include <atomic>
#include <set>
#include <thread>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::HasReportLine;
using QzlTest::Raised;
using QzlTest::SetRawValue;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    QzlTest::CScratchRegistryKey scratch;

    HKEY Key() const { return scratch.Key(); }
    StringW Sub(const wchar_t* name) const { return scratch.SubPath(name); }

    void SetString(const wchar_t* name, DWORD type, const std::wstring& text, bool withNul)
    {
        SetRawValue(Key(), name, type, text.c_str(),
                    static_cast<DWORD>((text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t)));
    }
};

std::string Protect(const std::string& plain, const std::string& entropy = std::string())
{
    DATA_BLOB in = {static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE*>(const_cast<char*>(plain.data()))};
    DATA_BLOB extra = {static_cast<DWORD>(entropy.size()),
                       reinterpret_cast<BYTE*>(const_cast<char*>(entropy.data()))};
    DATA_BLOB out = {};
    if (!::CryptProtectData(&in, L"test", entropy.empty() ? nullptr : &extra, nullptr, nullptr,
                            CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        ADD_FAILURE() << "CryptProtectData failed: " << ::GetLastError();
        return std::string();
    }
    std::string blob(reinterpret_cast<const char*>(out.pbData), out.cbData);
    ::LocalFree(out.pbData);
    return blob;
}

std::string Utf16Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

} // namespace

TEST_F(RegistryTest, AbsentKeysAndValuesAreNotErrors)
{
    QzlTest::CLogCapture log;
    StringW missing = Sub(L"Missing\\Deeper");
    EXPECT_FALSE(TryOpenSubkey(HKEY_CURRENT_USER, missing.c_str()));
    EXPECT_TRUE(TryGetRegistryString(HKEY_CURRENT_USER, missing.c_str(), L"Name").empty());
    EXPECT_TRUE(TryGetRegistryString(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Name").empty());
    EXPECT_FALSE(IsRegistryFlagSet(missing.c_str(), L"Flag"));
    EXPECT_FALSE(IsRegistryFlagSet(scratch.Path().c_str(), L"Flag"));
    DeleteRegistryValue(Key(), L"NoSuchValue");
    DeleteRegistryKey(HKEY_CURRENT_USER, missing.c_str());
    DeleteEmptyRegistryKey(HKEY_CURRENT_USER, missing.c_str());
    EXPECT_TRUE(TryDeleteRegistryKey(HKEY_CURRENT_USER, missing.c_str()));
    EXPECT_TRUE(TryDeleteEmptyRegistryKey(HKEY_CURRENT_USER, missing.c_str()));

    StringW text = L"kept";
    DWORD number = 7;
    DWORD type = 99;
    std::string data = "kept";
    EXPECT_FALSE(GetRegistryString(Key(), L"None", text));
    EXPECT_FALSE(GetRegistryDword(Key(), L"None", number));
    EXPECT_FALSE(GetRegistryDataW(Key(), L"None", type, data));
    EXPECT_EQ(text, L"kept");
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(data, "kept");
    StringW accountKey;
    EXPECT_FALSE(GetAccountKey(Key(), accountKey));
    EXPECT_TRUE(log.Text().empty()) << log.Text();

    CRegistryKey key;
    EXPECT_FALSE(key.TryOpen(HKEY_CURRENT_USER, missing.c_str(), KEY_READ));
    EXPECT_FALSE(key);
}

TEST_F(RegistryTest, FlagsAndStringsThroughPaths)
{
    SetRegistryDword(Key(), L"On", 5);
    SetRegistryDword(Key(), L"Off", 0);
    SetRegistryString(Key(), L"Text", L"value");
    EXPECT_TRUE(IsRegistryFlagSet(scratch.Path().c_str(), L"On"));
    EXPECT_FALSE(IsRegistryFlagSet(scratch.Path().c_str(), L"Off"));
    EXPECT_EQ(TryGetRegistryString(HKEY_CURRENT_USER, scratch.Path().c_str(), L"Text"), L"value");
}

TEST_F(RegistryTest, OtherOpenFailuresRaiseWithThePath)
{
    // A root handle that is no longer open.
    HKEY stale = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, scratch.Path().c_str(), 0, KEY_READ, &stale), ERROR_SUCCESS);
    ::RegCloseKey(stale);
    StringW path = L"Some\\Path";
    QzlTest::CLogCapture log;
    CWinError e = Raised<CWinError>([&] { TryOpenSubkey(stale, path.c_str()); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(e.GetContext(), path);
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "Registry.cpp",
                              "Quenzal::Os::TryOpenSubkey", GetErrorText(ERROR_INVALID_HANDLE) + L": " + path))
        << log.Text();

    CRegistryKey key;
    e = Raised<CWinError>([&] { key.TryOpen(stale, path.c_str(), KEY_QUERY_VALUE); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryKey.cpp",
                              "Quenzal::Os::CRegistryKey::TryOpen", GetErrorText(ERROR_INVALID_HANDLE) + L": " + path));
    e = Raised<CWinError>([&] { key.Create(stale, path.c_str(), KEY_READ); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryKey.cpp",
                              "Quenzal::Os::CRegistryKey::Create", GetErrorText(ERROR_INVALID_HANDLE) + L": " + path));
    e = Raised<CWinError>([&] { CreateSubkey(stale, path.c_str()); });
    EXPECT_EQ(e.GetContext(), path);
    e = Raised<CWinError>([&] { DeleteRegistryKey(stale, path.c_str()); });
    EXPECT_EQ(e.GetContext(), path);
    e = Raised<CWinError>([&] { key.Open(HKEY_CURRENT_USER, Sub(L"Missing").c_str(), KEY_READ); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetContext(), Sub(L"Missing"));
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryKey.cpp",
                              "Quenzal::Os::CRegistryKey::Open", GetErrorText(2) + L": " + Sub(L"Missing")));
    EXPECT_FALSE(key);
}

TEST_F(RegistryTest, KeyObjectOpensCreatesAndReplaces)
{
    StringW first = Sub(L"First");
    StringW second = Sub(L"Second");
    CRegistryKey key;
    key.Create(HKEY_CURRENT_USER, first.c_str(), KEY_READ | KEY_WRITE);
    ASSERT_TRUE(key);
    SetRegistryString(key.Get(), L"Name", L"first");
    EXPECT_EQ(key.TryGetString(L"Name"), L"first");
    EXPECT_TRUE(key.TryGetString(L"Other").empty());

    // An absent key leaves the held one in place.
    HKEY held = key.Get();
    EXPECT_FALSE(key.TryOpen(HKEY_CURRENT_USER, Sub(L"Missing").c_str(), KEY_READ));
    EXPECT_EQ(key.Get(), held);

    CRegKeyHandle created = CreateSubkey(HKEY_CURRENT_USER, second.c_str());
    ASSERT_TRUE(created);
    SetRegistryString(created.Get(), L"Name", L"second");
    // A key opened for writing only cannot be read through.
    StringW ignored;
    CWinError e = Raised<CWinError>([&] { GetRegistryString(created.Get(), L"Name", ignored); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_TRUE(key.TryOpen(HKEY_CURRENT_USER, second.c_str(), KEY_READ));
    EXPECT_EQ(key.TryGetString(L"Name"), L"second");
    key.Open(HKEY_CURRENT_USER, first.c_str(), KEY_READ);
    EXPECT_EQ(key.TryGetString(L"Name"), L"first");

    CRegKeyHandle opened = TryOpenSubkey(HKEY_CURRENT_USER, second.c_str());
    ASSERT_TRUE(opened);
    EXPECT_EQ(TryGetStringValue(opened.Get(), L"Name"), L"second");
}

TEST_F(RegistryTest, KeyDeletedWhileOpenIsAbsentOnlyForTryOpenSubkey)
{
    StringW parentPath = Sub(L"Parent");
    CRegKeyHandle child = CreateSubkey(HKEY_CURRENT_USER, (parentPath + L"\\Child").c_str());
    ASSERT_TRUE(child);
    CRegistryKey parent;
    parent.Open(HKEY_CURRENT_USER, parentPath.c_str(), KEY_READ);
    SetRegistryDword(child.Get(), L"Value", 1);
    child.Close();
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, parentPath.c_str()), ERROR_SUCCESS);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, parentPath.c_str());

    EXPECT_FALSE(TryOpenSubkey(parent.Get(), L""));
    EXPECT_FALSE(TryOpenSubkey(parent.Get(), L"Child"));
    CRegistryKey key;
    CWinError e = Raised<CWinError>([&] { key.TryOpen(parent.Get(), L"", KEY_READ); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_KEY_DELETED));
    DWORD value = 0;
    e = Raised<CWinError>([&] { GetRegistryDword(parent.Get(), L"Value", value); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_KEY_DELETED));
    EXPECT_EQ(e.GetContext(), L"Value");
}

TEST_F(RegistryTest, DeletingKeysAndValues)
{
    StringW withValue = Sub(L"WithValue");
    StringW withChild = Sub(L"WithChild");
    StringW empty = Sub(L"Empty");
    SetRegistryDword(CreateSubkey(HKEY_CURRENT_USER, withValue.c_str()).Get(), L"Value", 1);
    CreateSubkey(HKEY_CURRENT_USER, (withChild + L"\\Child").c_str());
    CreateSubkey(HKEY_CURRENT_USER, empty.c_str());

    {
        QzlTest::CLogCapture log;
        EXPECT_FALSE(TryDeleteEmptyRegistryKey(HKEY_CURRENT_USER, withValue.c_str()));
        std::string text = log.Text();
        EXPECT_NE(text.find("EXCEPTION: Caught exception at Registry.cpp, Quenzal::Os::TryDeleteEmptyRegistryKey, "
                            "line "),
                  std::string::npos)
            << text;
        EXPECT_TRUE(HasReportLine(text, "EXCEPTION: Throwing exception", "Registry.cpp",
                                  "Quenzal::Os::DeleteEmptyRegistryKey",
                                  GetErrorText(ERROR_KEY_HAS_CHILDREN) + L": " + withValue))
            << text;
        EXPECT_TRUE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, withValue.c_str()));

        EXPECT_FALSE(TryDeleteEmptyRegistryKey(HKEY_CURRENT_USER, withChild.c_str()));
        EXPECT_TRUE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, (withChild + L"\\Child").c_str()));
        CWinError e = Raised<CWinError>([&] { DeleteEmptyRegistryKey(HKEY_CURRENT_USER, withChild.c_str()); });
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetContext(), withChild);
    }

    EXPECT_TRUE(TryDeleteEmptyRegistryKey(HKEY_CURRENT_USER, empty.c_str()));
    EXPECT_FALSE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, empty.c_str()));

    CRegistryKey key;
    key.Open(HKEY_CURRENT_USER, withValue.c_str(), KEY_ALL_ACCESS);
    DeleteRegistryValue(key.Get(), L"Value");
    DWORD value = 0;
    EXPECT_FALSE(GetRegistryDword(key.Get(), L"Value", value));
    key.Close();
    DeleteEmptyRegistryKey(HKEY_CURRENT_USER, withValue.c_str());
    EXPECT_FALSE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, withValue.c_str()));

    // A key with sub-keys is refused by the plain delete and reported by the
    // try form; the tree form takes it with all below it, never a whole root.
    {
        QzlTest::CLogCapture log;
        EXPECT_FALSE(TryDeleteRegistryKey(HKEY_CURRENT_USER, withChild.c_str()));
        EXPECT_NE(log.Text().find("Caught exception at Registry.cpp, Quenzal::Os::TryDeleteRegistryKey, line "),
                  std::string::npos);
        EXPECT_FALSE(TryDeleteRegistryTree(HKEY_CURRENT_USER, L""));
    }
    EXPECT_TRUE(TryDeleteRegistryTree(HKEY_CURRENT_USER, withChild.c_str()));
    EXPECT_FALSE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, withChild.c_str()));
}

TEST_F(RegistryTest, StringTerminatorsAndLengths)
{
    SetString(L"WithNul", REG_SZ, L"abc", true);
    SetString(L"WithoutNul", REG_SZ, L"abc", false);
    SetString(L"TwoNuls", REG_SZ, std::wstring(L"abc\0", 4), true);
    SetRawValue(Key(), L"Empty", REG_SZ, nullptr, 0);
    SetString(L"OnlyNul", REG_SZ, L"", true);
    std::wstring exact(260, L'x');
    std::wstring longer(261, L'y');
    std::wstring huge(70000, L'z');
    SetString(L"Exact", REG_SZ, exact, true);
    SetString(L"Longer", REG_SZ, longer, true);
    SetString(L"LongerWithoutNul", REG_SZ, longer, false);
    SetRegistryString(Key(), L"Huge", huge);

    StringW value;
    ASSERT_TRUE(GetRegistryString(Key(), L"WithNul", value));
    EXPECT_EQ(value, L"abc");
    ASSERT_TRUE(GetRegistryString(Key(), L"WithoutNul", value));
    EXPECT_EQ(value, L"abc");
    ASSERT_TRUE(GetRegistryString(Key(), L"TwoNuls", value));
    EXPECT_EQ(value, std::wstring(L"abc\0", 4));
    ASSERT_TRUE(GetRegistryString(Key(), L"Empty", value));
    EXPECT_TRUE(value.empty());
    value = L"x";
    ASSERT_TRUE(GetRegistryString(Key(), L"OnlyNul", value));
    EXPECT_TRUE(value.empty());
    ASSERT_TRUE(GetRegistryString(Key(), L"Exact", value));
    EXPECT_EQ(value, exact);
    ASSERT_TRUE(GetRegistryString(Key(), L"Longer", value));
    EXPECT_EQ(value, longer);
    ASSERT_TRUE(GetRegistryString(Key(), L"LongerWithoutNul", value));
    EXPECT_EQ(value, longer);
    ASSERT_TRUE(GetRegistryString(Key(), L"Huge", value));
    EXPECT_EQ(value, huge);

    // Written as REG_SZ with its terminator.
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(GetRegistryDataW(Key(), L"Huge", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data.size(), (huge.size() + 1) * 2);
}

TEST_F(RegistryTest, ExpandableStringsAreExpanded)
{
    ASSERT_TRUE(::SetEnvironmentVariableW(L"QZL_REGISTRY_TEST", L"C:\\expanded"));
    const wchar_t* text = L"%QZL_REGISTRY_TEST%\\file and %QZL_UNDEFINED_VARIABLE%";
    SetString(L"Expand", REG_EXPAND_SZ, text, true);
    SetString(L"Plain", REG_SZ, text, true);
    std::wstring longText = std::wstring(300, L'a') + L"%QZL_REGISTRY_TEST%";
    SetString(L"LongExpand", REG_EXPAND_SZ, longText, true);

    StringW value;
    ASSERT_TRUE(GetRegistryString(Key(), L"Expand", value));
    EXPECT_EQ(value, L"C:\\expanded\\file and %QZL_UNDEFINED_VARIABLE%");
    ASSERT_TRUE(GetRegistryString(Key(), L"Plain", value));
    EXPECT_EQ(value, text);
    ASSERT_TRUE(GetRegistryString(Key(), L"LongExpand", value));
    EXPECT_EQ(value, std::wstring(300, L'a') + L"C:\\expanded");
    ::SetEnvironmentVariableW(L"QZL_REGISTRY_TEST", nullptr);
}

TEST(EnvironmentVariables, Expansion)
{
    EXPECT_TRUE(ExpandEnvironmentVariables(L"").empty());
    EXPECT_EQ(ExpandEnvironmentVariables(L"no references here"), L"no references here");
    EXPECT_EQ(ExpandEnvironmentVariables(L"50% off %QZL_UNDEFINED_VARIABLE%"), L"50% off %QZL_UNDEFINED_VARIABLE%");
    ASSERT_TRUE(::SetEnvironmentVariableW(L"QZL_EXPAND_TEST", std::wstring(5000, L'v').c_str()));
    EXPECT_EQ(ExpandEnvironmentVariables(L"<%QZL_EXPAND_TEST%>"), L"<" + std::wstring(5000, L'v') + L">");
    ::SetEnvironmentVariableW(L"QZL_EXPAND_TEST", nullptr);
}

TEST_F(RegistryTest, StringTypeErrors)
{
    SetRawValue(Key(), L"Odd", REG_SZ, "abc", 3);
    SetRegistryDword(Key(), L"Number", 1);
    SetRawValue(Key(), L"Binary", REG_BINARY, "\x01\x02", 2);

    QzlTest::CLogCapture log;
    StringW value = L"kept";
    CException e = Raised([&] { GetRegistryString(Key(), L"Odd", value); });
    EXPECT_EQ(e.GetDescription(), L"Registry value buffer is of type REG_SZ but has an odd number of bytes");
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryValues.cpp",
                              "Quenzal::Os::VerifyValidRegistryString", e.GetDescription()));
    e = Raised([&] { GetRegistryString(Key(), L"Number", value); });
    EXPECT_EQ(e.GetDescription(), L"Registry value is of an unexpected type: expected string but got 'REG_DWORD'");
    e = Raised([&] { GetRegistryString(Key(), L"Binary", value); });
    EXPECT_EQ(e.GetDescription(), L"Registry value is of an unexpected type: expected string but got 'REG_BINARY'");
    // A long value of the wrong type is refused before it is read whole.
    SetRawValue(Key(), L"LongBinary", REG_BINARY, std::string(2000, 'b').data(), 2000);
    e = Raised([&] { GetRegistryString(Key(), L"LongBinary", value); });
    EXPECT_EQ(e.GetDescription(), L"Registry value is of an unexpected type: expected string but got 'REG_BINARY'");
    EXPECT_EQ(value, L"kept");
}

TEST_F(RegistryTest, DwordReadsAndTypeErrors)
{
    SetRegistryDword(Key(), L"Number", 0xDEADBEEF);
    DWORD value = 0;
    ASSERT_TRUE(GetRegistryDword(Key(), L"Number", value));
    EXPECT_EQ(value, 0xDEADBEEFu);

    SetString(L"Short", REG_SZ, L"a", false);
    SetString(L"Four", REG_SZ, L"ab", false);
    SetString(L"Terminated", REG_SZ, L"a", true);
    QzlTest::CLogCapture log;
    for (const wchar_t* name : {L"Short", L"Four", L"Terminated"}) {
        CException e = Raised([&] { GetRegistryDword(Key(), name, value); });
        EXPECT_EQ(e.GetDescription(), L"Registry value is of an unexpected type: expected 'REG_DWORD' but got 'REG_SZ'")
            << StringW(name).ToUtf8();
    }
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryValues.cpp",
                              "Quenzal::Os::VerifyRegistryValueType",
                              L"Registry value is of an unexpected type: expected 'REG_DWORD' but got 'REG_SZ'"));

    // A DWORD value longer than four bytes is a system error naming the value.
    SetRawValue(Key(), L"Wide", REG_DWORD, "12345678", 8);
    CWinError e = Raised<CWinError>([&] { GetRegistryDword(Key(), L"Wide", value); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(e.GetContext(), L"Wide");
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryValues.cpp",
                              "Quenzal::Os::GetRegistryDword", GetErrorText(ERROR_MORE_DATA) + L": Wide"));
}

TEST_F(RegistryTest, TypeNames)
{
    const wchar_t* names[] = {L"REG_NONE",
                              L"REG_SZ",
                              L"REG_EXPAND_SZ",
                              L"REG_BINARY",
                              L"REG_DWORD",
                              L"REG_DWORD_BIG_ENDIAN",
                              L"REG_LINK",
                              L"REG_MULTI_SZ",
                              L"REG_RESOURCE_LIST",
                              L"REG_FULL_RESOURCE_DESCRIPTOR",
                              L"REG_RESOURCE_REQUIREMENTS_LIST",
                              L"REG_QWORD"};
    for (DWORD type = 0; type < 12; ++type)
        EXPECT_EQ(GetRegistryTypeName(type), names[type]);
    EXPECT_EQ(GetRegistryTypeName(12), L"Unknown registry value type: 12");
    EXPECT_EQ(GetRegistryTypeName(0xFFFFFFFF), L"Unknown registry value type: 4294967295");
    VerifyRegistryValueType(REG_QWORD, REG_QWORD);
    CException e = Raised([] { VerifyRegistryValueType(REG_BINARY, 12); });
    EXPECT_EQ(e.GetDescription(),
              L"Registry value is of an unexpected type: expected 'REG_BINARY' but got 'Unknown registry value type: 12'");
    VerifyValidRegistryString(REG_EXPAND_SZ, 4);
    e = Raised([] { VerifyValidRegistryString(REG_EXPAND_SZ, 5); });
    EXPECT_EQ(e.GetDescription(), L"Registry value buffer is of type REG_SZ but has an odd number of bytes");
    e = Raised([] { VerifyValidRegistryString(REG_MULTI_SZ, 4); });
    EXPECT_EQ(e.GetDescription(), L"Registry value is of an unexpected type: expected string but got 'REG_MULTI_SZ'");
}

TEST_F(RegistryTest, BinaryDataRoundTrips)
{
    std::string small("\x00\x01\xFF\x80", 4);
    std::string large;
    for (int i = 0; i < 5000; ++i)
        large.push_back(static_cast<char>(i * 7));
    SetRegistryDataW(Key(), L"Small", REG_BINARY, small);
    SetRegistryDataW(Key(), L"Large", 0x1234, large);
    SetRegistryDataW(Key(), L"Empty", REG_BINARY, std::string());
    SetRegistryDataW(Key(), L"Exact", REG_BINARY, std::string(522, 'e'));

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(GetRegistryDataW(Key(), L"Small", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, small);
    ASSERT_TRUE(GetRegistryDataW(Key(), L"Large", type, data));
    EXPECT_EQ(type, 0x1234u);
    EXPECT_EQ(data, large);
    ASSERT_TRUE(GetRegistryDataW(Key(), L"Empty", type, data));
    EXPECT_TRUE(data.empty());
    ASSERT_TRUE(GetRegistryDataW(Key(), L"Exact", type, data));
    EXPECT_EQ(data, std::string(522, 'e'));
    // The type is not checked by the raw read.
    SetRegistryDword(Key(), L"Number", 0x04030201);
    ASSERT_TRUE(GetRegistryDataW(Key(), L"Number", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, std::string("\x01\x02\x03\x04", 4));
}

TEST_F(RegistryTest, BinaryReadNeverReturnsStaleBytesOfAShrunkValue)
{
    // A writer keeps switching one value between two sizes, both larger than
    // the first query's buffer. Every read must give one of the two values
    // exactly; a growth between the two queries is a reported failure.
    const std::string big(3000, 'B');
    const std::string smaller(1000, 's');
    SetRegistryDataW(Key(), L"Changing", REG_BINARY, big);
    std::atomic<bool> stop{false};
    HKEY key = Key();
    std::thread writer([&] {
        for (unsigned i = 0; !stop.load(); ++i)
            ::RegSetValueExW(key, L"Changing", 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(i % 2 ? smaller.data() : big.data()),
                             static_cast<DWORD>(i % 2 ? smaller.size() : big.size()));
    });
    QzlTest::CLogCapture log;
    int reads = 0;
    int grown = 0;
    for (int i = 0; i < 3000; ++i) {
        DWORD type = 0;
        std::string data;
        try {
            ASSERT_TRUE(GetRegistryDataW(key, L"Changing", type, data));
        } catch (const CWinError& e) {
            EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_MORE_DATA));
            ++grown;
            continue;
        }
        ++reads;
        EXPECT_TRUE(data == big || data == smaller) << "read " << data.size() << " bytes";
        if (data != big && data != smaller)
            break;
    }
    stop = true;
    writer.join();
    EXPECT_GT(reads, 0) << grown;
}

TEST_F(RegistryTest, WriteFailuresNameTheValueNotItsData)
{
    // The key is opened for reading only, so every write is refused.
    CRegistryKey readOnly;
    readOnly.Open(HKEY_CURRENT_USER, scratch.Path().c_str(), KEY_QUERY_VALUE);
    QzlTest::CLogCapture log;
    const wchar_t* secret = L"secret-account-key-data";
    CWinError e = Raised<CWinError>([&] { SetRegistryString(readOnly.Get(), L"AccountSecret", secret); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(e.GetContext(), L"AccountSecret");
    EXPECT_EQ(log.Text().find("secret-account-key-data"), std::string::npos) << log.Text();
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryValues.cpp",
                              "Quenzal::Os::SetRegistryString", GetErrorText(5) + L": AccountSecret"));

    e = Raised<CWinError>([&] { SetRegistryDword(readOnly.Get(), L"Number", 1); });
    EXPECT_EQ(e.GetContext(), L"Number");
    e = Raised<CWinError>([&] { SetRegistryDataW(readOnly.Get(), L"Data", REG_BINARY, "x"); });
    EXPECT_EQ(e.GetContext(), L"Data");
    e = Raised<CWinError>([&] { DeleteRegistryValue(readOnly.Get(), L"Anything"); });
    EXPECT_EQ(e.GetContext(), L"Anything");
}

TEST_F(RegistryTest, EnumeratingValues)
{
    std::wstring longName(300, L'n');
    std::wstring longestName(16383, L'm');
    SetRegistryDword(Key(), L"One", 1);
    SetRegistryString(Key(), L"Two", L"2");
    SetRegistryDataW(Key(), L"Three", REG_BINARY, "3");

    std::set<std::wstring> names;
    std::set<DWORD> types;
    CRegistryValueIterator values(Key());
    StringW name;
    DWORD type = 0;
    while (values.GetCurrentValueName(name, &type)) {
        names.insert(name);
        types.insert(type);
        values.Advance();
    }
    EXPECT_EQ(names, (std::set<std::wstring>{L"One", L"Two", L"Three"}));
    EXPECT_EQ(types, (std::set<DWORD>{REG_DWORD, REG_SZ, REG_BINARY}));
    EXPECT_EQ(values.GetIndex(), 3u);
    EXPECT_TRUE(values.IsAtEnd());
    // Once at the end it stays there, even when values are added.
    SetRegistryDword(Key(), L"Four", 4);
    EXPECT_FALSE(values.GetCurrentValueName(name, nullptr));

    SetRegistryDword(Key(), longName.c_str(), 5);
    SetRegistryDword(Key(), longestName.c_str(), 6);
    names.clear();
    CRegistryValueIterator again(Key());
    while (again.GetCurrentValueName(name, nullptr)) {
        names.insert(name);
        again.Advance();
    }
    EXPECT_EQ(names.size(), 6u);
    EXPECT_EQ(names.count(longName), 1u);
    EXPECT_EQ(names.count(longestName), 1u);
}

TEST_F(RegistryTest, EnumerationFailuresRaise)
{
    CRegistryKey writeOnly;
    writeOnly.Open(HKEY_CURRENT_USER, scratch.Path().c_str(), KEY_SET_VALUE);
    SetRegistryDword(writeOnly.Get(), L"Value", 1);
    QzlTest::CLogCapture log;
    CRegistryValueIterator values(writeOnly.Get());
    StringW name;
    CWinError e = Raised<CWinError>([&] { values.GetCurrentValueName(name, nullptr); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(e.GetContext().empty());
    EXPECT_FALSE(values.IsAtEnd());
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "RegistryValueIterator.cpp",
                              "Quenzal::Os::CRegistryValueIterator::GetCurrentValueName", GetErrorText(5)));
}

TEST(DataProtection, DecryptsWhatTheUserProtected)
{
    EXPECT_TRUE(DecryptData(nullptr, 10).empty());
    EXPECT_TRUE(DecryptData("x", 0).empty());
    EXPECT_TRUE(DecryptDataString(std::string()).empty());

    std::string plain("plain \x00\xFF bytes", 14);
    std::string blob = Protect(plain);
    ASSERT_FALSE(blob.empty());
    EXPECT_EQ(DecryptDataString(blob), plain);
    EXPECT_EQ(DecryptData(blob.data(), blob.size()), plain);
    EXPECT_TRUE(DecryptDataString(Protect(std::string())).empty());

    QzlTest::CLogCapture log;
    CWinError junk = Raised<CWinError>([] { DecryptDataString("not a protected blob at all"); });
    EXPECT_NE(junk.GetErrorCode(), 0u);
    EXPECT_TRUE(HasReportLine(log.Text(), "EXCEPTION: Throwing exception", "DataProtection.cpp",
                              "Quenzal::Os::DecryptData", GetErrorText(junk.GetErrorCode())))
        << log.Text();
    // Data protected for another context (here: with extra entropy) cannot be read.
    std::string other = Protect(plain, "other context");
    ASSERT_FALSE(other.empty());
    CWinError foreign = Raised<CWinError>([&] { DecryptDataString(other); });
    EXPECT_NE(foreign.GetErrorCode(), 0u);
}

TEST_F(RegistryTest, AccountKeyIsDecryptedFromProtectedBytes)
{
    const std::wstring secret = L"K3y-\u00e9\u4e2d";
    SetRegistryDataW(Key(), L"AccountKey", REG_BINARY, Protect(Utf16Bytes(secret)));
    StringW accountKey;
    ASSERT_TRUE(GetAccountKey(Key(), accountKey));
    EXPECT_EQ(accountKey, secret);

    SetRegistryDataW(Key(), L"AccountKey", REG_BINARY, Protect("odd"));
    CException e = Raised([&] { GetAccountKey(Key(), accountKey); });
    EXPECT_EQ(e.GetDescription().rfind(L"Unable to construct StringW from binary data of length ", 0), 0u)
        << e.what();

    SetRegistryString(Key(), L"AccountKey", L"plain text");
    e = Raised([&] { GetAccountKey(Key(), accountKey); });
    EXPECT_EQ(e.GetDescription(), L"Registry value is of an unexpected type: expected 'REG_BINARY' but got 'REG_SZ'");
    EXPECT_EQ(accountKey, secret);
}

#include "ClientId.h"
#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

using namespace Quenzal;
using namespace Quenzal::App;
using QzlTest::CountOf;

namespace {

const wchar_t* const TrindleKey = L"Software\\Quenzal\\Trindle";
const char* const CreatedLine = "Created new client ID: ";

class ClientIdTest : public ::testing::Test {
protected:
    // The ID lives under a real name shared by every test process of this prefix.
    QzlTest::CNamedTestLock lock{L"Local\\QuenzalTest.ClientId"};
    QzlTest::CRegistryPathCleanup createdKeys{HKEY_CURRENT_USER, TrindleKey,
                                              QzlTest::CRegistryPathCleanup::OnlyEmptyKeys};
    QzlTest::CRegistryValueRestore savedValue{HKEY_CURRENT_USER, TrindleKey, L"ClientId"};

    void SetUp() override { RemoveClientId(); }

    static void RemoveClientId() { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, TrindleKey, L"ClientId"); }
};

} // namespace

TEST_F(ClientIdTest, FirstUseCreatesAndStoresOneId)
{
    EXPECT_TRUE(TryGetClientId().empty());
    QzlTest::CLogCapture log;
    StringW id = GetClientId();
    EXPECT_TRUE(std::regex_match(id.ToUtf8(), std::regex("[0-9a-f]{32}"))) << id.ToUtf8();
    EXPECT_EQ(Os::TryGetRegistryString(HKEY_CURRENT_USER, TrindleKey, L"ClientId"), id);
    std::string text = log.Text();
    EXPECT_EQ(CountOf(text, CreatedLine), 1u) << text;
    EXPECT_NE(text.find(CreatedLine + id.ToUtf8() + "\r\n"), std::string::npos) << text;

    EXPECT_EQ(GetClientId(), id);
    EXPECT_EQ(TryGetClientId(), id);
    EXPECT_EQ(CreateClientId(), id);
    EXPECT_EQ(CountOf(log.Text(), CreatedLine), 1u);

    // A new one is made only when the stored one is gone.
    RemoveClientId();
    StringW next = GetClientId();
    EXPECT_NE(next, id);
    EXPECT_EQ(CountOf(log.Text(), CreatedLine), 2u);
}

TEST_F(ClientIdTest, StoredTextIsReturnedAsItIs)
{
    Os::SetRegistryString(Os::CreateSubkey(HKEY_CURRENT_USER, TrindleKey).Get(), L"ClientId", L" not {a} GUID ");
    QzlTest::CLogCapture log;
    EXPECT_EQ(GetClientId(), L" not {a} GUID ");
    EXPECT_EQ(CreateClientId(), L" not {a} GUID ");
    // An empty value counts as none.
    Os::SetRegistryString(Os::CreateSubkey(HKEY_CURRENT_USER, TrindleKey).Get(), L"ClientId", L"");
    EXPECT_EQ(GetClientId().size(), 32u);
    EXPECT_EQ(CountOf(log.Text(), CreatedLine), 1u);
}

TEST_F(ClientIdTest, ThreadsAskingAtOnceGetOneId)
{
    QzlTest::CLogCapture log;
    const int rounds = 20;
    for (int round = 0; round < rounds; ++round) {
        RemoveClientId();
        Os::CHandle start(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(start);
        StringW ids[4];
        std::vector<std::thread> threads;
        for (StringW& id : ids)
            threads.emplace_back([&start, &id] {
                ::WaitForSingleObject(start.Get(), INFINITE);
                id = GetClientId();
            });
        ::SetEvent(start.Get());
        for (auto& thread : threads)
            thread.join();
        for (const StringW& id : ids)
            EXPECT_EQ(id, ids[0]);
        EXPECT_EQ(TryGetClientId(), ids[0]);
    }
    EXPECT_EQ(CountOf(log.Text(), CreatedLine), static_cast<size_t>(rounds)) << log.Text();
}

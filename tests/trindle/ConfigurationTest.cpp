#include "Configuration.h"
#include "Exception.h"
#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Quenzal;
using Quenzal::App::CConfiguration;
using QzlTest::CountOf;

namespace {

// The policy keys the add-in reads.
const wchar_t* const InboxPolicy = L"Software\\Policies\\Quenzal\\Inbox Rampart\\Outlook Add-In";
const wchar_t* const ThreatPolicy = L"Software\\Policies\\Quenzal\\Threat Rampart\\Outlook Add-In";
const wchar_t* const Switch = L"QzlTestSwitch";

class ConfigurationTest : public ::testing::Test {
protected:
    // Policy keys are real names shared by every test process of this prefix.
    QzlTest::CNamedTestLock lock{L"Local\\QuenzalTest.PolicyKeys"};
    QzlTest::CScratchRegistryKey scratch;
    QzlTest::CRegistryPathCleanup userInbox{HKEY_CURRENT_USER, InboxPolicy};
    QzlTest::CRegistryPathCleanup machineInbox{HKEY_LOCAL_MACHINE, InboxPolicy};
    QzlTest::CRegistryPathCleanup userThreat{HKEY_CURRENT_USER, ThreatPolicy};
    QzlTest::CRegistryPathCleanup machineThreat{HKEY_LOCAL_MACHINE, ThreatPolicy};

    void SetUp() override
    {
        ASSERT_FALSE(userInbox.Existed() || machineInbox.Existed() || userThreat.Existed() ||
                     machineThreat.Existed())
            << "policy keys exist before the test";
    }

    std::unique_ptr<CConfiguration> MakeConfiguration()
    {
        return std::make_unique<CConfiguration>(scratch.SubPath(L"Settings").c_str(),
                                                std::vector<StringW>{InboxPolicy, ThreatPolicy});
    }

    static void SetPolicy(HKEY root, const wchar_t* path, DWORD value)
    {
        Os::SetRegistryDword(Os::CreateSubkey(root, path).Get(), Switch, value);
    }

    static void DeletePolicyKey(HKEY root, const wchar_t* path)
    {
        ASSERT_EQ(::RegDeleteTreeW(root, path), ERROR_SUCCESS);
        ASSERT_FALSE(QzlTest::RegistryKeyExists(root, path));
    }
};

const char* const ReopenWarning = "WARNING: Policy key has been deleted; re-opening policy keys";

} // namespace

TEST_F(ConfigurationTest, DebugSwitchIsWrittenWhenMissing)
{
    auto configuration = MakeConfiguration();
    StringW settings = scratch.SubPath(L"Settings");
    EXPECT_TRUE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, settings.c_str()));

    EXPECT_FALSE(configuration->IsDebugEnabled());
    DWORD stored = 99;
    ASSERT_TRUE(Os::GetRegistryDword(configuration->Get(), L"Debug", stored));
    EXPECT_EQ(stored, 0u);

    configuration->SetDebugEnabled(true);
    ASSERT_TRUE(Os::GetRegistryDword(configuration->Get(), L"Debug", stored));
    EXPECT_EQ(stored, 1u);
    EXPECT_TRUE(configuration->IsDebugEnabled());
    Os::SetRegistryDword(configuration->Get(), L"Debug", 7);
    EXPECT_TRUE(configuration->IsDebugEnabled());
    configuration->SetDebugEnabled(false);
    EXPECT_FALSE(configuration->IsDebugEnabled());
}

// A reinstall deletes the settings key and writes its values into a new one
// while the product runs: reads and writes reach the new key.
TEST_F(ConfigurationTest, DeletedSettingsKeyIsOpenedAgainForReadsAndWrites)
{
    auto configuration = MakeConfiguration();
    const StringW settings = scratch.SubPath(L"Settings");
    QzlTest::CLogCapture log;
    for (bool written : {true, false}) {
        ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, settings.c_str()), ERROR_SUCCESS);
        Os::SetRegistryDword(Os::CreateSubkey(HKEY_CURRENT_USER, settings.c_str()).Get(), L"Debug", 1);
        if (written)
            configuration->SetDebugEnabled(false);
        EXPECT_EQ(configuration->IsDebugEnabled(), !written);
    }
    DWORD stored = 99;
    Os::CRegistryKey key;
    key.Open(HKEY_CURRENT_USER, settings.c_str(), KEY_READ);
    EXPECT_TRUE(Os::GetRegistryDword(key.Get(), L"Debug", stored));
    EXPECT_EQ(stored, 1u);
    EXPECT_EQ(CountOf(log.Text(), "WARNING: Settings key has been deleted; re-opening settings key"), 2u);
}

TEST_F(ConfigurationTest, MissingDebugSwitchGoesThroughTheProductsSetter)
{
    struct CProductConfiguration : CConfiguration {
        using CConfiguration::CConfiguration;
        int writes = 0;
        void SetDebugEnabled(bool enabled) override
        {
            ++writes;
            CConfiguration::SetDebugEnabled(enabled);
        }
    };
    CProductConfiguration configuration(scratch.SubPath(L"Product").c_str(), {});
    EXPECT_FALSE(configuration.IsDebugEnabled());
    EXPECT_FALSE(configuration.IsDebugEnabled());
    EXPECT_EQ(configuration.writes, 1);
    // Without policy paths every switch is off.
    EXPECT_FALSE(configuration.IsPolicyEnabled(Switch));
}

TEST_F(ConfigurationTest, SettingsKeyThatCannotBeCreatedRaises)
{
    QzlTest::CLogCapture log;
    // A key name longer than the registry allows.
    StringW path = scratch.SubPath(std::wstring(300, L'k').c_str());
    try {
        CConfiguration configuration(path.c_str(), {InboxPolicy});
        FAIL() << "the configuration was built";
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_EQ(e.GetContext(), path);
    }
    EXPECT_NE(log.Text().find("Throwing exception at RegistryKey.cpp, Quenzal::Os::CRegistryKey::Create, line "),
              std::string::npos);
}

TEST_F(ConfigurationTest, PolicyCreatedLaterIsSeenWhileNoneExists)
{
    auto configuration = MakeConfiguration();
    EXPECT_FALSE(configuration->IsPolicyEnabled(Switch));
    SetPolicy(HKEY_CURRENT_USER, InboxPolicy, 1);
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));
    EXPECT_FALSE(configuration->IsPolicyEnabled(L"OtherSwitch"));
}

TEST_F(ConfigurationTest, AnyNonZeroValueUnderEitherRootOrPathTurnsTheSwitchOn)
{
    SetPolicy(HKEY_CURRENT_USER, InboxPolicy, 0);
    SetPolicy(HKEY_LOCAL_MACHINE, InboxPolicy, 1);
    EXPECT_TRUE(MakeConfiguration()->IsPolicyEnabled(Switch));

    SetPolicy(HKEY_LOCAL_MACHINE, InboxPolicy, 0);
    SetPolicy(HKEY_CURRENT_USER, ThreatPolicy, 0);
    SetPolicy(HKEY_LOCAL_MACHINE, ThreatPolicy, 0);
    EXPECT_FALSE(MakeConfiguration()->IsPolicyEnabled(Switch));

    SetPolicy(HKEY_LOCAL_MACHINE, ThreatPolicy, 2);
    EXPECT_TRUE(MakeConfiguration()->IsPolicyEnabled(Switch));
}

TEST_F(ConfigurationTest, OpenKeysAreKeptUntilOneIsDeleted)
{
    SetPolicy(HKEY_CURRENT_USER, InboxPolicy, 0);
    auto configuration = MakeConfiguration();
    EXPECT_FALSE(configuration->IsPolicyEnabled(Switch));

    // Not seen: the keys were opened once and are kept.
    SetPolicy(HKEY_LOCAL_MACHINE, ThreatPolicy, 1);
    EXPECT_FALSE(configuration->IsPolicyEnabled(Switch));
    // A value in a key already open is seen at once.
    SetPolicy(HKEY_CURRENT_USER, InboxPolicy, 3);
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));
    SetPolicy(HKEY_CURRENT_USER, InboxPolicy, 0);

    QzlTest::CLogCapture log;
    DeletePolicyKey(HKEY_CURRENT_USER, InboxPolicy);
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));
    EXPECT_EQ(CountOf(log.Text(), ReopenWarning), 1u) << log.Text();
}

TEST_F(ConfigurationTest, DeletedPolicyKeyIsReopenedAndTheRestAnswer)
{
    SetPolicy(HKEY_CURRENT_USER, InboxPolicy, 1);
    SetPolicy(HKEY_LOCAL_MACHINE, InboxPolicy, 1);
    auto configuration = MakeConfiguration();
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));

    QzlTest::CLogCapture log;
    DeletePolicyKey(HKEY_CURRENT_USER, InboxPolicy);
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));
    EXPECT_EQ(CountOf(log.Text(), ReopenWarning), 1u) << log.Text();
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));
    EXPECT_EQ(CountOf(log.Text(), ReopenWarning), 1u);

    DeletePolicyKey(HKEY_LOCAL_MACHINE, InboxPolicy);
    EXPECT_FALSE(configuration->IsPolicyEnabled(Switch));
    EXPECT_EQ(CountOf(log.Text(), ReopenWarning), 2u);
    // Nothing is open now, so a new key is found again.
    SetPolicy(HKEY_LOCAL_MACHINE, ThreatPolicy, 1);
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));
    EXPECT_EQ(log.Text().find("Caught exception"), std::string::npos) << log.Text();
}

TEST_F(ConfigurationTest, PolicyValueOfAnotherTypeCountsAsAbsent)
{
    SetPolicy(HKEY_LOCAL_MACHINE, InboxPolicy, 1);
    Os::SetRegistryString(Os::CreateSubkey(HKEY_CURRENT_USER, InboxPolicy).Get(), Switch, L"1");
    auto configuration = MakeConfiguration();
    QzlTest::CLogCapture log;
    // The earlier key's wrong type does not hide a later key that is on.
    EXPECT_TRUE(configuration->IsPolicyEnabled(Switch));
    EXPECT_TRUE(log.Contains("WARNING: Registry value 'QzlTestSwitch' is not a valid REG_DWORD (REG_SZ of 4 bytes)"));
}

#include "NxoOutlookAddInConfig.h"
#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <dpapi.h>

#include <functional>

using namespace Quenzal;
using QzlTest::CRegistryPathCleanup;

namespace {

const wchar_t* const SettingsPath = L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In";
const wchar_t* const LegacyPath = L"Software\\Quenzal\\Threat Rampart\\Outlook Add-In";
const wchar_t* const LegacyParent = L"Software\\Quenzal\\Threat Rampart";
const wchar_t* const PolicyPath = L"Software\\Policies\\Quenzal\\Inbox Rampart\\Outlook Add-In";

// Each object is built as a fresh start of the add-in would build it.
struct CConfig : CNxoOutlookAddInConfig {};

std::string Protect(const std::wstring& text, bool withTerminator)
{
    DATA_BLOB in = {static_cast<DWORD>((text.size() + withTerminator) * sizeof(wchar_t)),
                    reinterpret_cast<BYTE*>(const_cast<wchar_t*>(text.c_str()))};
    DATA_BLOB out = {};
    EXPECT_TRUE(::CryptProtectData(&in, L"", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
    std::string bytes(reinterpret_cast<const char*>(out.pbData), out.cbData);
    ::LocalFree(out.pbData);
    return bytes;
}

class NxoConfigTest : public ::testing::Test {
protected:
    // The product's real keys, shared by every test process of this prefix.
    QzlTest::CNamedTestLock policyLock{L"Local\\QuenzalTest.PolicyKeys"};
    QzlTest::CNamedTestLock settingsLock{L"Local\\QuenzalTest.NxoSettings"};
    CRegistryPathCleanup settingsParents{HKEY_CURRENT_USER, SettingsPath, CRegistryPathCleanup::OnlyEmptyKeys};
    CRegistryPathCleanup legacyParents{HKEY_CURRENT_USER, LegacyParent, CRegistryPathCleanup::OnlyEmptyKeys};
    CRegistryPathCleanup policy{HKEY_CURRENT_USER, PolicyPath};
    Os::CRegistryKey settings;

    void SetUp() override
    {
        ASSERT_FALSE(settingsParents.Existed() || legacyParents.Existed() || policy.Existed());
        settings.Create(HKEY_CURRENT_USER, SettingsPath, KEY_READ | KEY_WRITE);
    }
    void TearDown() override
    {
        if (!settings)
            return; // there before the test: not ours to delete
        settings.Close();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, SettingsPath);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, LegacyParent);
    }
    DWORD Dword(const wchar_t* name, DWORD value = 99) const
    {
        Os::GetRegistryDword(settings.Get(), name, value);
        return value;
    }
    bool Has(const wchar_t* name) const
    {
        return ::RegQueryValueExW(settings.Get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
};

#define READ(call) [](CConfig& c) -> DWORD { return c.call; }

} // namespace

TEST_F(NxoConfigTest, ValuesReadTheirDefaultsStoredValuesAndPolicies)
{
    struct Case {
        const wchar_t* value;
        std::function<DWORD(CConfig&)> read;
        DWORD absent, stored, whenStored;
        const wchar_t* policy; // turned on over the stored value
        DWORD withPolicy;
    };
    const Case cases[] = {
        {L"WhitelistOnNotSpam", READ(IsWhitelistOnNotSpamEnabled()), 1, 5, 1, L"WhitelistingDisabled", 0},
        {L"WhitelistOnSentMessage", READ(IsWhitelistOnSentMessageEnabled()), 1, 1, 1, L"WhitelistingDisabled", 0},
        {L"WhitelistOnNewContact", READ(IsWhitelistOnNewContactEnabled()), 1, 0, 0, nullptr, 0},
        {L"SuppressEncryptionWarning", READ(IsEncryptionWarningSuppressed()), 0, 0, 0, L"SuppressEncryptionWarning", 1},
        {L"KvdEnabled", READ(AreKvdButtonsHidden()), 1, 1, 0, L"HideKvdButtons", 1},
        {L"KvdEnabled", READ(IsKvdEnabled()), 0, 2, 1, nullptr, 0},
        {L"SpamAction", READ(GetSpamAction()), 1, 7, 7, nullptr, 0},
        {L"SpamCount", READ(GetCounter(L"SpamCount")), 0, 41, 41, nullptr, 0},
        {L"NotSpamCount", READ(GetCounter(L"NotSpamCount")), 0, 3, 3, nullptr, 0},
        {L"Debug", READ(IsDebugEnabled()), 0, 1, 1, nullptr, 0},
    };
    CConfig config;
    for (const Case& c : cases) {
        SCOPED_TRACE(StringW(c.value).ToUtf8());
        EXPECT_EQ(c.read(config), c.absent);
        Os::SetRegistryDword(settings.Get(), c.value, c.stored);
        EXPECT_EQ(c.read(config), c.whenStored);
        if (c.policy != nullptr) {
            Os::SetRegistryDword(Os::CreateSubkey(HKEY_CURRENT_USER, PolicyPath).Get(), c.policy, 1);
            EXPECT_EQ(c.read(config), c.withPolicy);
            Os::SetRegistryDword(Os::CreateSubkey(HKEY_CURRENT_USER, PolicyPath).Get(), c.policy, 0);
        }
        Os::DeleteRegistryValue(settings.Get(), c.value);
    }
    config.IncrementCounter(L"SpamCount");
    config.IncrementCounter(L"SpamCount");
    EXPECT_EQ(Dword(L"SpamCount"), 2u);
    // The folder's store id and entry id are stored under each other's names.
    Os::SetRegistryString(settings.Get(), L"MoveToFolderEntryId", L"store");
    Os::SetRegistryString(settings.Get(), L"MoveToFolderStoreEntryId", L"entry");
    EXPECT_EQ(config.GetMoveToFolderEntryId() + config.GetMoveToFolderStoreEntryId(), L"storeentry");
}

TEST_F(NxoConfigTest, UriIsHttpsAndTheSameApplianceChangesNothingWhileAnotherForgetsTheAccount)
{
    const std::pair<const wchar_t*, const char*> parsed[] = {
        {L"", ""}, {L"http://h.example:8080", "https://h.example:443"}, {L"https://h.example", "https://h.example:443"},
        {L"https://Appliance.example:8443/cgi-mod/x?y=1", "https://Appliance.example:8443"},
        {L"h.example:8443", "https://h.example:443"}, {L"https://", ""}, {L"gopher://h.example", ""}, {L"/path", ""},
    };
    for (auto [text, server] : parsed)
        EXPECT_EQ(CConfig::ParseNxoUri(text).FormatServer(), server) << StringW(text).ToUtf8();

    Os::SetRegistryString(settings.Get(), L"NxoUri", L"http://Appliance.example:8080");
    CConfig config;
    EXPECT_TRUE(config.IsNxoUriConfigured() && !config.IsAuthenticated());
    config.SetNxoUri(CConfig::ParseNxoUri(L"https://Appliance.example:8443"), L"alice@example.com");
    EXPECT_EQ(Os::TryGetStringValue(settings.Get(), L"NxoUri"), L"https://Appliance.example:8443");
    config.SetAccountName(L"alice===id");
    config.SetAccountKey(L"secret");
    config.SetNxoUriStatus(L"500 Internal Server Error");
    config.SetKvdEnabled(true);
    {
        QzlTest::CLogCapture log;
        config.SetNxoUri(CConfig::ParseNxoUri(L"https://APPLIANCE.example:8443/x"), L"bob@example.com");
        EXPECT_TRUE(log.Contains("NXO URI matches that already configured; discarding change: "
                                 "https://APPLIANCE.example:8443"));
    }
    EXPECT_EQ(config.GetUsername() + config.GetNxoUriStatus(), L"alice@example.com500 Internal Server Error");
    EXPECT_TRUE(config.IsAuthenticated() && config.IsKvdEnabled());

    // Plain http means port 443 of that host: another appliance.
    config.SetNxoUri(CConfig::ParseNxoUri(L"http://appliance.example:8443"), L"");
    EXPECT_EQ(config.GetNxoUri().FormatServer(), "https://appliance.example:443");
    for (const wchar_t* gone : {L"Username", L"NxoUriStatus", L"AccountName", L"AccountKey2"})
        EXPECT_FALSE(Has(gone)) << StringW(gone).ToUtf8();
    EXPECT_EQ(Dword(L"KvdEnabled"), 0u);
    EXPECT_FALSE(config.IsAuthenticated());

    // A reset forgets the appliance only.
    config.SetAccountName(L"alice===id");
    config.SetAccountKey(L"secret");
    config.ResetAccount();
    EXPECT_FALSE(config.IsNxoUriConfigured() || Has(L"NxoUri"));
    EXPECT_TRUE(config.IsAuthenticated() && CConfig().IsAuthenticated());
    config.SetAccountKey(L"");
    EXPECT_FALSE(config.IsAuthenticated() || Has(L"AccountKey2"));
    EXPECT_EQ(&CNxoOutlookAddInConfig::GetInstance(), &CNxoOutlookAddInConfig::GetInstance());
}

TEST_F(NxoConfigTest, LegacySettingsAreImportedOnceAndCountAtOnce)
{
    Os::CRegKeyHandle legacy = Os::CreateSubkey(HKEY_CURRENT_USER, LegacyPath);
    const std::pair<const wchar_t*, const wchar_t*> texts[] = {{L"NxtrUri", L"http://legacy.example:8080"},
        {L"NxtrUriStatus", L"404 Not Found"}, {L"AccountName", L"carol===id"}, {L"AccountKey2", L"secret"}};
    for (auto [name, text] : texts)
        Os::SetRegistryString(legacy.Get(), name, text);
    Os::SetRegistryDword(legacy.Get(), L"SpamAction", 0);
    Os::SetRegistryDataW(legacy.Get(), L"Blob", REG_BINARY, std::string("\0\1\2", 3));
    Os::SetRegistryDword(settings.Get(), L"SpamAction", 2);
    legacy.Close();

    QzlTest::CLogCapture log;
    CConfig config;
    EXPECT_TRUE(config.IsNxoUriConfigured() && config.IsAuthenticated());
    EXPECT_EQ(Os::TryGetStringValue(settings.Get(), L"NxoUri"), L"http://legacy.example:8080");
    EXPECT_EQ(config.GetNxoUriStatus(), L"404 Not Found");
    EXPECT_EQ(config.GetSpamAction(), 2u);
    DWORD type = 0;
    std::string blob;
    EXPECT_TRUE(Os::GetRegistryDataW(settings.Get(), L"Blob", type, blob) && type == REG_BINARY);
    EXPECT_EQ(blob, std::string("\0\1\2", 3));
    EXPECT_EQ(Dword(L"LegacyConfigurationImported2"), 1u);
    EXPECT_FALSE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, LegacyParent));
    for (const char* line : {"WARNING: Importing legacy configuration", "Imported: NxtrUri",
                             "WARNING: Configuration value already set; skipping: SpamAction",
                             "Legacy configuration imported"})
        EXPECT_TRUE(log.Contains(line)) << line;

    // A legacy key that comes back is left alone.
    Os::SetRegistryString(Os::CreateSubkey(HKEY_CURRENT_USER, LegacyPath).Get(), L"NxtrUri", L"https://new.example");
    Os::DeleteRegistryValue(settings.Get(), L"NxoUri");
    EXPECT_FALSE(CConfig().IsNxoUriConfigured());
    EXPECT_TRUE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, LegacyPath));
}

TEST_F(NxoConfigTest, ProtectedAccountKeyIsUpgradedOnce)
{
    Os::SetRegistryString(settings.Get(), L"AccountName", L"dave===id");
    for (bool withTerminator : {false, true}) {
        Os::DeleteRegistryValue(settings.Get(), L"AccountKey2");
        Os::SetRegistryDataW(settings.Get(), L"AccountKey", REG_BINARY, Protect(L"s3cret", withTerminator));
        QzlTest::CLogCapture log;
        CConfig config;
        EXPECT_EQ(config.GetAccountKey(), L"s3cret");
        EXPECT_TRUE(config.IsAuthenticated() && !Has(L"AccountKey"));
        EXPECT_TRUE(log.Contains("WARNING: Upgraded old account key"));
    }
    // A stored key wins and the old one stays.
    Os::SetRegistryDataW(settings.Get(), L"AccountKey", REG_BINARY, Protect(L"old", false));
    EXPECT_EQ(CConfig().GetAccountKey(), L"s3cret");
    EXPECT_EQ(CConfig().ReadLegacyAccountKey(), L"old");

    Os::DeleteRegistryValue(settings.Get(), L"AccountKey2");
    Os::SetRegistryDataW(settings.Get(), L"AccountKey", REG_BINARY, "not protected");
    QzlTest::CLogCapture log;
    CConfig config;
    EXPECT_TRUE(!config.IsAuthenticated() && Has(L"AccountKey"));
    EXPECT_TRUE(log.Contains("ERROR: Unable to decrypt old account key: "));
    QzlTest::Raised<CWinError>([&] { config.ReadLegacyAccountKey(); });
}

TEST_F(NxoConfigTest, ValuesOfAnotherTypeCountAsAbsentWithAWarning)
{
    const std::string wideOne(reinterpret_cast<const char*>(L"1"), 4);
    const std::string eightBytes("\1\0\0\0\0\0\0\0", 8);
    struct Case {
        bool policy;
        const wchar_t* value;
        DWORD type;
        std::string data;
        std::function<DWORD(CConfig&)> read;
        DWORD absent;
    };
    const Case cases[] = {
        {false, L"Debug", REG_SZ, wideOne, READ(IsDebugEnabled()), 0},
        {false, L"SpamAction", REG_SZ, wideOne, READ(GetSpamAction()), 1},
        {false, L"SpamAction", REG_DWORD, eightBytes, READ(GetSpamAction()), 1},
        {false, L"WhitelistOnNotSpam", REG_BINARY, std::string(4, '\0'), READ(IsWhitelistOnNotSpamEnabled()), 1},
        {false, L"WhitelistOnSentMessage", REG_SZ, wideOne, READ(IsWhitelistOnSentMessageEnabled()), 1},
        {false, L"WhitelistOnNewContact", REG_MULTI_SZ, wideOne, READ(IsWhitelistOnNewContactEnabled()), 1},
        {false, L"SuppressEncryptionWarning", REG_SZ, wideOne, READ(IsEncryptionWarningSuppressed()), 0},
        {false, L"KvdEnabled", REG_QWORD, eightBytes, READ(IsKvdEnabled()), 0},
        {false, L"SpamCount", REG_SZ, wideOne, READ(GetCounter(L"SpamCount")), 0},
        {false, L"NotSpamCount", REG_DWORD, "\1", READ(GetCounter(L"NotSpamCount")), 0},
        {false, L"NxoUri", REG_DWORD, std::string(4, '\1'), READ(IsNxoUriConfigured()), 0},
        {false, L"AccountName", REG_DWORD, std::string(4, '\1'), READ(GetAccountName().size()), 0},
        {false, L"MoveToFolderName", REG_SZ, "odd", READ(GetMoveToFolderName().size()), 0},
        {true, L"WhitelistingDisabled", REG_SZ, wideOne, READ(IsWhitelistOnNotSpamEnabled()), 1},
        {true, L"SuppressEncryptionWarning", REG_BINARY, "\1", READ(IsEncryptionWarningSuppressed()), 0},
        {true, L"HideToolbarButtons", REG_SZ, wideOne, READ(IsPolicyEnabled(L"HideToolbarButtons")), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(StringW(c.value).ToUtf8());
        Os::CRegKeyHandle policyKey = Os::CreateSubkey(HKEY_CURRENT_USER, PolicyPath);
        Os::SetRegistryDataW(c.policy ? policyKey.Get() : settings.Get(), c.value, c.type, c.data);
        QzlTest::CLogCapture log;
        CConfig config;
        EXPECT_EQ(c.read(config), c.absent);
        EXPECT_TRUE(log.Contains("WARNING: Registry value '" + StringW(c.value).ToUtf8() + "' is not a valid "));
        Os::DeleteRegistryValue(c.policy ? policyKey.Get() : settings.Get(), c.value);
    }
}

// A stored user or account name that a request could not carry counts as
// absent, so that auto-configuration makes the account afresh.
TEST_F(NxoConfigTest, NamesThatRequestsCannotCarryCountAsAbsent)
{
    Os::SetRegistryString(settings.Get(), L"AccountKey2", L"secret");
    for (const wchar_t* name : {L"Username", L"AccountName"})
        Os::SetRegistryString(settings.Get(), name, L"user@example.com===1\r\n");
    CConfig config;
    EXPECT_EQ(config.GetUsername() + config.GetAccountName(), L"");
    EXPECT_FALSE(config.IsAuthenticated());
}

// The secret that seals link files is made once and kept; a value of another
// kind counts as none, and the next link made gets a new secret.
TEST_F(NxoConfigTest, LinkSealKeyIsMadeOnceAndAValueOfAnotherKindIsNone)
{
    CConfig config;
    EXPECT_EQ(config.GetLinkSealKey(false), "");
    const std::string key = config.GetLinkSealKey(true);
    EXPECT_EQ(key.size(), 170u);
    EXPECT_EQ(CConfig().GetLinkSealKey(false), key);
    Os::SetRegistryString(settings.Get(), L"LinkSealKey", L"a text as long as any secret, but text");
    EXPECT_EQ(config.GetLinkSealKey(false), "");
    EXPECT_NE(config.GetLinkSealKey(true), key);
}

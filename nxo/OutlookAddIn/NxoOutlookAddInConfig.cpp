#include "NxoOutlookAddInConfig.h"

#include "ErrorReport.h"
#include "Logging.h"
#include "NameTables.h"
#include "Registry.h"
#include "RegistryValueIterator.h"
#include "RegistryValues.h"
#include "Util.h"

using namespace Quenzal;

namespace {

const wchar_t* const SettingsPath = L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In";
const wchar_t* const InboxPolicyPath = L"Software\\Policies\\Quenzal\\Inbox Rampart\\Outlook Add-In";
const wchar_t* const ThreatPolicyPath = L"Software\\Policies\\Quenzal\\Threat Rampart\\Outlook Add-In";
// The settings of the product's older name, imported once.
const wchar_t* const LegacyPath = L"Software\\Quenzal\\Threat Rampart\\Outlook Add-In";
const wchar_t* const LegacyParentPath = L"Software\\Quenzal\\Threat Rampart";
// The older form of the account key: REG_BINARY, protected for the user.
const wchar_t* const LegacyAccountKey = L"AccountKey";

// The names that changed with the product's name; every other value keeps its own.
const wchar_t* ImportedValueName(const StringW& legacyName)
{
    if (legacyName == L"NxtrUri")
        return NxoSettings::NxoUri;
    if (legacyName == L"NxtrUriStatus")
        return NxoSettings::NxoUriStatus;
    return legacyName.c_str();
}

bool HasValue(HKEY key, const wchar_t* name)
{
    DWORD type = REG_NONE;
    std::string data;
    return Os::GetRegistryDataW(key, name, type, data);
}

} // namespace

CNxoOutlookAddInConfig& CNxoOutlookAddInConfig::GetInstance()
{
    static CNxoOutlookAddInConfig instance;
    return instance;
}

CNxoOutlookAddInConfig::CNxoOutlookAddInConfig()
    : CConfiguration(SettingsPath, {InboxPolicyPath, ThreatPolicyPath})
{
    UpgradeAccountKey();
    ImportLegacyConfigurationOnce();
    ComputeFlags();
}

void CNxoOutlookAddInConfig::UpgradeAccountKey()
{
    try {
        if (!GetAccountKey().empty())
            return;
        StringW key = ReadLegacyAccountKey();
        if (key.empty())
            return;
        SetOrDeleteString(NxoSettings::AccountKey, key);
        SetOrDeleteString(LegacyAccountKey, std::wstring());
        Logging::Log(Logging::Warning, L"Upgraded old account key");
    } catch (const CException& e) {
        Logging::Log(Logging::Error, (L"Unable to decrypt old account key: " + e.GetDescription()).c_str());
    }
}

StringW CNxoOutlookAddInConfig::ReadLegacyAccountKey() const
{
    StringW key;
    if (!WithSettingsKey([&key](HKEY settings) { return Os::GetAccountKey(settings, key); }))
        return StringW();
    // A terminator protected along with the text is no part of the key.
    size_t end = key.find(L'\0');
    if (end != StringW::npos)
        key.resize(end);
    return key;
}

void CNxoOutlookAddInConfig::ImportLegacyConfigurationOnce()
{
    try {
        Os::CRegistryKey legacy;
        if (!legacy.TryOpen(HKEY_CURRENT_USER, LegacyPath, KEY_READ))
            return;
        if (GetDword(NxoSettings::LegacyConfigurationImported, 0) != 0)
            return;
        ImportLegacyConfiguration(legacy.Get());
        SetDword(NxoSettings::LegacyConfigurationImported, 1);
        legacy.Close();
        Os::TryDeleteRegistryKey(HKEY_CURRENT_USER, LegacyPath);
        Os::TryDeleteEmptyRegistryKey(HKEY_CURRENT_USER, LegacyParentPath);
    } catch (const CException& e) {
        Logging::Log(Logging::Error, (L"Unable to import legacy configuration: " + e.GetDescription()).c_str());
    }
}

void CNxoOutlookAddInConfig::ImportLegacyConfiguration(HKEY legacyKey)
{
    Logging::Log(Logging::Warning, L"Importing legacy configuration");
    Os::CRegistryValueIterator values(legacyKey);
    StringW legacyName;
    for (; values.GetCurrentValueName(legacyName, nullptr); values.Advance()) {
        const wchar_t* target = ImportedValueName(legacyName);
        if (WithSettingsKey([target](HKEY settings) { return HasValue(settings, target); })) {
            Logging::Log(Logging::Warning, (L"Configuration value already set; skipping: " + legacyName).c_str());
            continue;
        }
        try {
            DWORD type = REG_NONE;
            std::string data;
            if (!Os::GetRegistryDataW(legacyKey, legacyName.c_str(), type, data))
                continue;
            WithSettingsKey([&](HKEY settings) { Os::SetRegistryDataW(settings, target, type, data); });
            Logging::Log(Logging::Debug, (L"Imported: " + legacyName).c_str());
        } catch (const CException&) {
            Logging::Log(Logging::Error, (L"Unable to copy registry data: " + legacyName).c_str());
        }
    }
    Logging::Log(Logging::Debug, L"Legacy configuration imported");
}

void CNxoOutlookAddInConfig::ComputeFlags()
{
    m_uriConfigured = !GetNxoUri().GetHost().empty();
    m_accountNamePresent = !GetAccountName().empty();
    m_accountKeyPresent = !GetAccountKey().empty();
}

Net::CUri CNxoOutlookAddInConfig::ParseNxoUri(const std::wstring& text)
{
    if (text.empty())
        return Net::CUri();
    Net::UriParts parts;
    if (!Net::ParseUri(StringW(text).GetAnsi(CP_ACP), parts, false)) {
        Logging::Log(Logging::Error, (L"Unable to parse NXO URI: " + text).c_str());
        return Net::CUri();
    }
    // The appliance is only ever spoken to over TLS; a port written for
    // plain http belongs to that scheme and is not carried over.
    Net::CUri uri;
    uri.SetScheme(Net::UriSchemeHttps);
    uri.SetHost(parts.host);
    uri.SetPort(parts.scheme == Net::UriSchemeHttps && parts.port != 0 ? parts.port : 443);
    return uri;
}

Net::CUri CNxoOutlookAddInConfig::GetNxoUri() const
{
    return ParseNxoUri(GetString(NxoSettings::NxoUri));
}

void CNxoOutlookAddInConfig::SetNxoUri(const Net::CUri& uri, const std::wstring& username)
{
    Net::CUri stored = GetNxoUri();
    if (!stored.GetHost().empty() && stored.IsSameServer(uri)) {
        Logging::Log(Logging::Debug, (L"NXO URI matches that already configured; discarding change: " +
                                      StringW::FromAnsi(uri.FormatServer(), CP_ACP))
                                         .c_str());
        return;
    }
    StringW text = StringW::FromAnsi(uri.FormatServer(), CP_ACP);
    m_uriConfigured = !text.empty();
    SetOrDeleteString(NxoSettings::NxoUri, text);
    SetOrDeleteString(NxoSettings::Username, username);
    SetNxoUriStatus(std::wstring());
    SetAccountName(std::wstring());
    SetAccountKey(std::wstring());
    SetKvdEnabled(false);
}

void CNxoOutlookAddInConfig::ResetAccount()
{
    m_uriConfigured = false;
    SetOrDeleteString(NxoSettings::NxoUri, std::wstring());
    SetOrDeleteString(NxoSettings::Username, std::wstring());
}

void CNxoOutlookAddInConfig::SetNxoUriStatus(const std::wstring& text)
{
    SetOrDeleteString(NxoSettings::NxoUriStatus, text);
}

void CNxoOutlookAddInConfig::SetUsername(const std::wstring& text)
{
    SetOrDeleteString(NxoSettings::Username, text);
}

void CNxoOutlookAddInConfig::SetAccountName(const std::wstring& text)
{
    m_accountNamePresent = !text.empty();
    SetOrDeleteString(NxoSettings::AccountName, text);
}

void CNxoOutlookAddInConfig::SetAccountKey(const std::wstring& text)
{
    m_accountKeyPresent = !text.empty();
    SetOrDeleteString(NxoSettings::AccountKey, text);
}

void CNxoOutlookAddInConfig::SetOrDeleteString(const wchar_t* name, const std::wstring& text)
{
    WithSettingsKey([&](HKEY key) {
        if (text.empty())
            Os::DeleteRegistryValue(key, name);
        else
            Os::SetRegistryString(key, name, text);
    });
}

void CNxoOutlookAddInConfig::SetDword(const wchar_t* name, DWORD value)
{
    WithSettingsKey([&](HKEY key) { Os::SetRegistryDword(key, name, value); });
}

StringW CNxoOutlookAddInConfig::GetString(const wchar_t* name) const
{
    return WithSettingsKey([name](HKEY key) { return Os::TryGetStringSetting(key, name); });
}

StringW CNxoOutlookAddInConfig::GetSendableString(const wchar_t* name) const
{
    StringW text = GetString(name);
    return HasControlCharacter(text) ? StringW() : text;
}

DWORD CNxoOutlookAddInConfig::GetDword(const wchar_t* name, DWORD absentValue) const
{
    DWORD value = absentValue;
    WithSettingsKey([&](HKEY key) { return Os::GetRegistryDwordSetting(key, name, value); });
    return value;
}

bool CNxoOutlookAddInConfig::IsWhitelistingSwitchOn(const wchar_t* name)
{
    return !IsPolicyEnabled(NxoPolicies::WhitelistingDisabled) && GetDword(name, 1) != 0;
}

DWORD CNxoOutlookAddInConfig::GetSpamAction() const
{
    return GetDword(NxoSettings::SpamAction, SpamActionMoveToDeletedItems);
}

void CNxoOutlookAddInConfig::SetWhitelistSwitch(const wchar_t* name, bool on)
{
    SetDword(name, on ? 1 : 0);
}

void CNxoOutlookAddInConfig::SetSpamAction(DWORD action)
{
    SetDword(NxoSettings::SpamAction, action);
}

// The store id goes under the entry id's name and the entry id under the
// store entry id's: the stored format that classification reads back.
void CNxoOutlookAddInConfig::SetMoveToFolder(const std::wstring& name, const std::wstring& storeId,
                                             const std::wstring& entryId)
{
    SetOrDeleteString(NxoSettings::MoveToFolderName, name);
    SetOrDeleteString(NxoSettings::MoveToFolderEntryId, storeId);
    SetOrDeleteString(NxoSettings::MoveToFolderStoreEntryId, entryId);
}

bool CNxoOutlookAddInConfig::IsEncryptionWarningSuppressed()
{
    return GetDword(NxoSettings::SuppressEncryptionWarning, 0) != 0 ||
           IsPolicyEnabled(NxoPolicies::SuppressEncryptionWarning);
}

void CNxoOutlookAddInConfig::SetEncryptionWarningSuppressed()
{
    SetDword(NxoSettings::SuppressEncryptionWarning, 1);
}

bool CNxoOutlookAddInConfig::IsKvdEnabled() const
{
    return GetDword(NxoSettings::KvdEnabled, 0) != 0;
}

void CNxoOutlookAddInConfig::SetKvdEnabled(bool enabled)
{
    SetDword(NxoSettings::KvdEnabled, enabled ? 1 : 0);
}

bool CNxoOutlookAddInConfig::AreKvdButtonsHidden()
{
    return !IsKvdEnabled() || IsPolicyEnabled(NxoPolicies::HideKvdButtons);
}

DWORD CNxoOutlookAddInConfig::GetCounter(const wchar_t* name) const
{
    return GetDword(name, 0);
}

void CNxoOutlookAddInConfig::IncrementCounter(const wchar_t* name)
{
    SetDword(name, GetCounter(name) + 1);
}

std::string CNxoOutlookAddInConfig::GetLinkSealKey(bool create)
{
    // Shorter than a hash is no secret worth the name.
    constexpr size_t MinimumKeySize = 32;
    std::string key = WithSettingsKey(
        [](HKEY settings) { return Os::GetRegistryBinarySetting(settings, NxoSettings::LinkSealKey, MinimumKeySize); });
    if (!key.empty() || !create)
        return key;
    key = GenerateRandomData();
    WithSettingsKey([&key](HKEY settings) { Os::SetRegistryDataW(settings, NxoSettings::LinkSealKey, REG_BINARY, key); });
    return key;
}

#pragma once
// The add-in's settings: the per-user key
// "Software\Quenzal\Inbox Rampart\Outlook Add-In" with the administrator
// policies beside it. It owns the appliance URI and the account that
// auto-configuration establishes and keeps three flags that every feature
// consults before it talks to the appliance. At its construction it upgrades
// the older, user-protected form of the account key and imports the settings
// of the product's older name once.
//
// The flags are computed after the import, so that an imported URI and account
// count at once; otherwise the timer would ask the appliance for a new
// authentication probe every minute until Outlook restarts.

#include "Configuration.h"
#include "Uri.h"

#include <atomic>

// Names of the values under the settings key.
namespace NxoSettings {
inline constexpr wchar_t NxoUri[] = L"NxoUri";
inline constexpr wchar_t NxoUriStatus[] = L"NxoUriStatus";
inline constexpr wchar_t Username[] = L"Username";
inline constexpr wchar_t AccountName[] = L"AccountName";
inline constexpr wchar_t AccountKey[] = L"AccountKey2";
inline constexpr wchar_t KvdEnabled[] = L"KvdEnabled";
inline constexpr wchar_t WhitelistOnNotSpam[] = L"WhitelistOnNotSpam";
inline constexpr wchar_t WhitelistOnSentMessage[] = L"WhitelistOnSentMessage";
inline constexpr wchar_t WhitelistOnNewContact[] = L"WhitelistOnNewContact";
inline constexpr wchar_t SpamAction[] = L"SpamAction";
// The store id and the entry id of the chosen folder are kept under each
// other's names; that is the stored format and stays so.
inline constexpr wchar_t MoveToFolderName[] = L"MoveToFolderName";
inline constexpr wchar_t MoveToFolderEntryId[] = L"MoveToFolderEntryId";
inline constexpr wchar_t MoveToFolderStoreEntryId[] = L"MoveToFolderStoreEntryId";
inline constexpr wchar_t SpamCount[] = L"SpamCount";
inline constexpr wchar_t NotSpamCount[] = L"NotSpamCount";
inline constexpr wchar_t SuppressEncryptionWarning[] = L"SuppressEncryptionWarning";
inline constexpr wchar_t LegacyConfigurationImported[] = L"LegacyConfigurationImported2";
inline constexpr wchar_t LinkSealKey[] = L"LinkSealKey";
} // namespace NxoSettings

// Names of the policy switches (DWORDs under the policy keys).
namespace NxoPolicies {
inline constexpr wchar_t HidePropertyPage[] = L"HidePropertyPage";
inline constexpr wchar_t HideToolbarButtons[] = L"HideToolbarButtons";
inline constexpr wchar_t HideClassificationButtons[] = L"HideClassificationButtons";
inline constexpr wchar_t HideEncryptionButtons[] = L"HideEncryptionButtons";
inline constexpr wchar_t HideKvdButtons[] = L"HideKvdButtons";
inline constexpr wchar_t WhitelistingDisabled[] = L"WhitelistingDisabled";
inline constexpr wchar_t SuppressEncryptionWarning[] = L"SuppressEncryptionWarning";
} // namespace NxoPolicies

// What "SpamAction" asks for; any other stored number means no action.
enum NxoSpamAction : DWORD {
    SpamActionDeletePermanently = 0,
    SpamActionMoveToDeletedItems = 1,
    SpamActionMoveToFolder = 2,
};

class CNxoOutlookAddInConfig : public Quenzal::App::CConfiguration {
public:
    // The one instance, built on first use (on the UI thread at connection).
    static CNxoOutlookAddInConfig& GetInstance();

    // Always https; the port is kept only when https text names one.
    static Quenzal::Net::CUri ParseNxoUri(const std::wstring& text);

    // Empty (no scheme, no host) when nothing usable is stored.
    Quenzal::Net::CUri GetNxoUri() const;
    // A different appliance forgets the account, the status and the
    // large-file switch; the same appliance again changes nothing.
    void SetNxoUri(const Quenzal::Net::CUri& uri, const std::wstring& username);
    // Forgets the URI and the user name; the account stays.
    void ResetAccount();

    Quenzal::StringW GetNxoUriStatus() const { return GetString(NxoSettings::NxoUriStatus); }
    // The user name and the account name go into requests: a stored one that
    // a request could not carry (a control character) counts as absent.
    Quenzal::StringW GetUsername() const { return GetSendableString(NxoSettings::Username); }
    Quenzal::StringW GetAccountName() const { return GetSendableString(NxoSettings::AccountName); }
    Quenzal::StringW GetAccountKey() const { return GetString(NxoSettings::AccountKey); }
    Quenzal::StringW GetMoveToFolderName() const { return GetString(NxoSettings::MoveToFolderName); }
    Quenzal::StringW GetMoveToFolderEntryId() const { return GetString(NxoSettings::MoveToFolderEntryId); }
    Quenzal::StringW GetMoveToFolderStoreEntryId() const
    {
        return GetString(NxoSettings::MoveToFolderStoreEntryId);
    }

    // An empty text removes the value (and clears the account flag).
    void SetNxoUriStatus(const std::wstring& text);
    void SetAccountName(const std::wstring& text);
    void SetUsername(const std::wstring& text);
    void SetAccountKey(const std::wstring& text);

    bool IsNxoUriConfigured() const { return m_uriConfigured; }
    bool IsAuthenticated() const { return m_accountNamePresent && m_accountKeyPresent; }

    // Absent means on; the "WhitelistingDisabled" policy turns all three off.
    bool IsWhitelistOnNotSpamEnabled() { return IsWhitelistingSwitchOn(NxoSettings::WhitelistOnNotSpam); }
    bool IsWhitelistOnSentMessageEnabled() { return IsWhitelistingSwitchOn(NxoSettings::WhitelistOnSentMessage); }
    bool IsWhitelistOnNewContactEnabled() { return IsWhitelistingSwitchOn(NxoSettings::WhitelistOnNewContact); }
    // Absent means move to Deleted Items.
    DWORD GetSpamAction() const;
    // The user's choice or the policy of the same name.
    bool IsEncryptionWarningSuppressed();
    // The user's choice, from the encryption confirmation.
    void SetEncryptionWarningSuppressed();
    bool IsKvdEnabled() const;
    void SetKvdEnabled(bool enabled);
    // Hidden while the feature is off, else as the "HideKvdButtons" policy says.
    bool AreKvdButtonsHidden();

    // "SpamCount" or "NotSpamCount"; absent counts as 0. The caller
    // serialises increments (the API client holds its lock around them).
    DWORD GetCounter(const wchar_t* name) const;
    void IncrementCounter(const wchar_t* name);

    // Written by the options dialog. An empty text removes its value.
    void SetWhitelistSwitch(const wchar_t* name, bool on);
    void SetSpamAction(DWORD action);
    void SetMoveToFolder(const std::wstring& name, const std::wstring& storeId, const std::wstring& entryId);

    // The secret that seals the user's link files (REG_BINARY). With create,
    // a new one from the system's generator when none is stored; else empty
    // then. A value of another kind counts as none.
    std::string GetLinkSealKey(bool create);

    // The older account key, unprotected for this user; empty when absent.
    // Raises when the stored value cannot be unprotected.
    Quenzal::StringW ReadLegacyAccountKey() const;

protected:
    // Protected so that nothing but GetInstance (and tests) builds one.
    CNxoOutlookAddInConfig();

private:
    // Empty when absent or not a string.
    Quenzal::StringW GetString(const wchar_t* name) const;
    Quenzal::StringW GetSendableString(const wchar_t* name) const;
    bool IsWhitelistingSwitchOn(const wchar_t* name);
    DWORD GetDword(const wchar_t* name, DWORD absentValue) const;
    void SetOrDeleteString(const wchar_t* name, const std::wstring& text);
    void SetDword(const wchar_t* name, DWORD value);
    void UpgradeAccountKey();
    void ImportLegacyConfigurationOnce();
    void ImportLegacyConfiguration(HKEY legacyKey);
    void ComputeFlags();

    std::atomic<bool> m_uriConfigured{false};
    std::atomic<bool> m_accountNamePresent{false};
    std::atomic<bool> m_accountKeyPresent{false};
};

// Whitelisting: the recipients of every message the user sends and the
// addresses of every contact the user adds or changes go to the appliance's
// whitelist, and on request the sent mail of the last 30 days and all
// contacts are scanned under a progress dialog.
#include "NxoWhitelisting.h"

#include "NxoOutlookAddIn.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ComProgressDlg.h"
#include "DateTime.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoMapi.h"
#include "NxoOlaUtil.h"
#include "NxoOutlookAddInConfig.h"
#include "NxoProductName.h"
#include "OutlookAddInUtil.h"
#include "Ui.h"

#include <cwctype>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr int SentItemsScanDays = 30;
constexpr int LidScanningItems = 228;
constexpr int LidScanningFolders = 259;
constexpr char Postmaster[] = "postmaster@";
constexpr size_t PostmasterLength = sizeof(Postmaster) - 1;

bool IsPostmaster(const std::string& address)
{
    return address.size() >= PostmasterLength && _strnicmp(address.c_str(), Postmaster, PostmasterLength) == 0;
}

size_t InsertAll(const Mapi::SmtpAddressSet& found, std::set<std::string>& addresses)
{
    size_t added = 0;
    for (const std::string& address : found)
        added += addresses.insert(address).second ? 1 : 0;
    return added;
}

} // namespace

namespace Quenzal::OutlookAddIn {

int ContainsNoCase(const std::wstring& text, const std::wstring& pattern)
{
    if (pattern.empty() || text.empty() || pattern.size() > text.size())
        return -1;
    auto same = [](wchar_t a, wchar_t b) { return a == b || std::towlower(a) == std::towlower(b); };
    for (size_t at = 0; at + pattern.size() <= text.size(); ++at)
        if (std::equal(pattern.begin(), pattern.end(), text.begin() + static_cast<std::ptrdiff_t>(at), same))
            return static_cast<int>(at);
    return -1;
}

bool IsUnsubscribeMessage(const CDispatchObject& message)
{
    StringW subject = message.GetString(L"Subject");
    return !subject.empty() && (ContainsNoCase(subject, L"remove") >= 0 || ContainsNoCase(subject, L"unsubscribe") >= 0);
}

size_t AddMessageSmtpRecipientsToWhitelist(const CDispatchObject& message, std::set<std::string>& addresses)
{
    const wchar_t* function = QZL_FUNCTION;
    if (!message)
        QZL_THROW(function, CException(L"Item was not a message"));
    StringW subject = message.GetString(L"Subject");
    if (IsUnsubscribeMessage(message)) {
        Logging::Log(Logging::Debug, (L"Message appears to be an unsubscribe message; ignoring: " + subject).c_str());
        return 0;
    }
    try {
        Mapi::SmtpAddressSet recipients =
            Mapi::GetMessageSmtpRecipients(GetMapiObject<IMessage>(message).GetInterfacePtr());
        // One postmaster recipient makes the whole message a report, not correspondence.
        if (std::any_of(recipients.begin(), recipients.end(), IsPostmaster)) {
            Logging::Log(Logging::Debug, (L"Message is addressed to the postmaster; ignoring: " + subject).c_str());
            return 0;
        }
        if (recipients.empty()) {
            Logging::Log(Logging::Debug, (L"Message has no SMTP recipients; ignoring: " + subject).c_str());
            return 0;
        }
        Logging::LogFormat(Logging::Debug, L"Found %Iu SMTP recipient(s) for message: %s", recipients.size(),
                           subject.c_str());
        return InsertAll(recipients, addresses);
    } catch (const CException& e) {
        Logging::LogFormat(Logging::Error, L"Failure while querying recipients for message '%s': %s", subject.c_str(),
                           e.GetDescription().c_str());
        throw;
    }
}

size_t AddContactSmtpAddressesToWhitelist(const CDispatchObject& contact, std::set<std::string>& addresses)
{
    if (!contact)
        QZL_THROW(QZL_FUNCTION, CException(L"Item was not a contact"));
    StringW subject = contact.GetString(L"Subject");
    try {
        Mapi::SmtpAddressSet found = Mapi::GetContactSmtpAddresses(GetMapiObject<IMAPIProp>(contact).GetInterfacePtr());
        Logging::LogFormat(Logging::Debug, L"Found %Iu SMTP e-mail address(es) for contact: %s", found.size(),
                           subject.c_str());
        return InsertAll(found, addresses);
    } catch (const CException& e) {
        Logging::LogFormat(Logging::Error, L"Failure while querying the email addresses of contact '%s': %s",
                           subject.c_str(), e.GetDescription().c_str());
        throw;
    }
}

} // namespace Quenzal::OutlookAddIn

void CNxoOutlookAddIn::OnFolderItemAdd(long folderId, IDispatch* item)
{
    try {
        CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
        switch (folderId) {
        case olFolderDeletedItems:
            CompletePermanentDeletion(item);
            break;
        case olFolderSentMail:
            if (config.IsWhitelistOnSentMessageEnabled()) {
                Logging::Log(Logging::Debug, L"New message added to Sent Items folder");
                std::set<std::string> addresses;
                AddMessageSmtpRecipientsToWhitelist(AsMailItem(item), addresses);
                WhitelistCollectedAddresses(addresses, L"Message has no SMTP recipients to whitelist");
            }
            break;
        case olFolderContacts:
            if (config.IsWhitelistOnNewContactEnabled()) {
                Logging::Log(Logging::Debug, L"New contact added to Contacts folder");
                std::set<std::string> addresses;
                AddContactSmtpAddressesToWhitelist(AsContactItem(item), addresses);
                WhitelistCollectedAddresses(addresses, L"Contact has no SMTP email addresses to whitelist");
            }
            break;
        default:
            break;
        }
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
}

void CNxoOutlookAddIn::OnFolderItemChange(long folderId, IDispatch* item)
{
    try {
        if (folderId != olFolderContacts || !CNxoOutlookAddInConfig::GetInstance().IsWhitelistOnNewContactEnabled())
            return;
        Logging::Log(Logging::Debug, L"Changed contact in Contacts folder");
        CDispatchObject contact(item);
        std::set<std::string> addresses;
        InsertAll(Mapi::GetContactSmtpAddresses(GetMapiObject<IMAPIProp>(contact).GetInterfacePtr()), addresses);
        WhitelistCollectedAddresses(addresses, L"Contact has no SMTP email addresses to whitelist");
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
}

void CNxoOutlookAddIn::WhitelistCollectedAddresses(const std::set<std::string>& addresses, const wchar_t* noneFound)
{
    if (addresses.empty()) {
        Logging::Log(Logging::Debug, noneFound);
        return;
    }
    QueueApiRequest([copy = addresses](CNxoApiClient& client) mutable { client.WhitelistAddresses(copy); });
    SubmitQueuedApiRequests();
}

size_t CNxoOutlookAddIn::ScanSentItemsAndContactsForWhitelist(bool scanSent, bool scanContacts, HWND owner)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn:ScanSentItemsAndContactsForWhitelist");
    // The scan pumps messages, and a disconnection meanwhile empties the
    // folder sinks: the scan holds the add-in and the folders it goes
    // through, and stops once the add-in is disconnected.
    CAddInBusy busy(*this);
    if (busy.IsDisconnected())
        return 0;
    CComProgressDlg dialog(NxoProductName, LidScanningItems, KeepProgressTotal);
    dialog.Show(owner);
    dialog.SetLine1(GetLocalizedMessage(LidScanningFolders) + L"...");
    struct ScannedFolder {
        long id;
        CDispatchObject folder;
        CDispatchObject items;
    };
    std::vector<ScannedFolder> folders;
    for (const auto& sink : m_folderSinks)
        folders.push_back({sink->GetFolderId(), sink->GetFolder(), sink->GetItems()});
    size_t total = 0;
    for (const ScannedFolder& scanned : folders) {
        if (dialog.IsCancelled() || busy.IsDisconnected())
            break;
        std::set<std::string> addresses;
        try {
            dialog.SetLine2(scanned.folder.GetString(L"Name"));
            if (scanned.id == olFolderSentMail && scanSent)
                ScanSentItemsForWhitelist(busy, scanned.items, dialog, addresses);
            else if (scanned.id == olFolderContacts && scanContacts)
                ScanContactsForWhitelist(busy, scanned.items, dialog, addresses);
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        }
        if (!addresses.empty() && !busy.IsDisconnected()) {
            total += addresses.size();
            QueueApiRequest([copy = addresses](CNxoApiClient& client) mutable { client.WhitelistAddresses(copy); });
        }
    }
    SubmitQueuedApiRequests();
    Logging::LogFormat(Logging::Debug, L"Whitelisted %Iu total email address(es)", total);
    dialog.Close();
    return total;
}

void CNxoOutlookAddIn::ScanSentItemsForWhitelist(const CAddInBusy& busy, const CDispatchObject& folderItems,
                                                 CComProgressDlg& dialog, std::set<std::string>& addresses)
{
    Logging::Log(Logging::Debug, L"Scanning sent items folder");
    DateTime cutoff = DateTime::Now() - DateTimeSpan::FromDays(SentItemsScanDays);
    StringW filter =
        StringW::Format(L"[ReceivedTime] >= \"%s\"", FormatRestrictionDateTime(cutoff.GetDate()).c_str());
    Logging::Log(Logging::Debug, (L"Using restriction: " + filter).c_str());
    CDispatchObject items = folderItems.GetDispatch(L"Restrict", {_variant_t(filter.c_str())});
    Logging::LogFormat(Logging::Debug, L"Found %d message(s) that are newer than %d days",
                       static_cast<int>(items.GetLong(L"Count")), SentItemsScanDays);
    ScanItems(busy, items, dialog, [&](IDispatch* item) {
        return AddMessageSmtpRecipientsToWhitelist(AsMailItem(item), addresses);
    });
}

void CNxoOutlookAddIn::ScanContactsForWhitelist(const CAddInBusy& busy, const CDispatchObject& folderItems,
                                                CComProgressDlg& dialog, std::set<std::string>& addresses)
{
    Logging::LogFormat(Logging::Debug, L"Scanning %Iu contacts in contacts folder",
                       static_cast<size_t>(folderItems.GetLong(L"Count")));
    ScanItems(busy, folderItems, dialog, [&](IDispatch* item) {
        return AddContactSmtpAddressesToWhitelist(AsContactItem(item), addresses);
    });
}

// The count is read again for every item: the user may add or delete mail
// while the dialog pumps messages.
void CNxoOutlookAddIn::ScanItems(const CAddInBusy& busy, const CDispatchObject& items, CComProgressDlg& dialog,
                                 const std::function<size_t(IDispatch*)>& collect)
{
    for (long i = 1; i <= items.GetLong(L"Count"); ++i) {
        Ui::PumpMessages();
        if (dialog.IsCancelled() || busy.IsDisconnected())
            return;
        dialog.StepProgress(static_cast<uint64_t>(i - 1), static_cast<uint64_t>(items.GetLong(L"Count")));
        try {
            CDispatchObject item = items.GetDispatch(L"Item", {_variant_t(i)});
            if (size_t added = collect(item.GetInterface()))
                Logging::LogFormat(Logging::Trace, L"%Iu email address(es) found", added);
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        }
    }
}

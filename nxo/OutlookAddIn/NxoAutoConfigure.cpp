// Auto-configuration: the appliance's URI from the headers of mail it
// delivered, then an account through the authentication probe: the appliance
// mails the user a token, and the add-in proves it can read the user's mail
// by sending the token back with a fresh shared secret.
#include "NxoOutlookAddIn.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "MapiPointers.h"
#include "Net.h"
#include "MessageHeaders.h"
#include "NxoHostLookup.h"
#include "NxoMapi.h"
#include "NxoOlaUtil.h"
#include "NxoOutlookAddInConfig.h"
#include "NxoProductName.h"
#include "OutlookAddInUtil.h"
#include "Ui.h"
#include "Wait.h"

#include <atomic>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr const wchar_t* ProbeSubjects[] = {L"Quenzal Inbox Rampart Add-In Validation",
                                            L"Quenzal Threat Rampart Add-In Validation"};

constexpr double SecondsPerDay = 24.0 * 60 * 60;
const DateTimeSpan UriScanWindow = DateTimeSpan::FromDays(30.0);
const DateTimeSpan ProbeScanWindow = DateTimeSpan::FromDays(15 * 60 / SecondsPerDay);
const DateTimeSpan ProbeRetry = DateTimeSpan::FromDays(60 / SecondsPerDay);
const DateTimeSpan FailedProbeRetry = DateTimeSpan::FromDays(15 * 60 / SecondsPerDay);

bool IsProbeSubject(const std::wstring& subject)
{
    for (const wchar_t* probeSubject : ProbeSubjects)
        if (subject == probeSubject)
            return true;
    return false;
}

// Items of the folder that pass the filter, newest first.
CDispatchObject RestrictNewestFirst(const CDispatchObject& folder, const StringW& filter)
{
    CDispatchObject items = folder.GetDispatch(L"Items").GetDispatch(L"Restrict", {_variant_t(filter.c_str())});
    items.Call(L"Sort", {_variant_t(L"[ReceivedTime]"), _variant_t(true)});
    return items;
}

} // namespace

void CNxoOutlookAddIn::AutoConfigure()
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::AutoConfigure");
    Logging::Log(Logging::Debug, L"Verifying add-in configuration...");
    // The scans pump messages: a disconnection meanwhile ends the work.
    CAddInBusy busy(*this);
    try {
        if (busy.IsDisconnected())
            return;
        CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
        if (config.IsNxoUriConfigured() && config.IsAuthenticated()) {
            Logging::Log(Logging::Debug, L"Add-in configuration has been verified");
        } else if (config.IsNxoUriConfigured()) {
            Logging::Log(Logging::Debug,
                         L"NXO URI is configured but user is not authenticated; scanning for authentication probe");
            if (ScanForAuthenticationProbe(ProbeScanWindow)) {
                Logging::Log(Logging::Debug, L"Authentication probe found in either the Inbox or Junk E-mail folder; "
                                             L"add-in configuration has been verified");
            } else if (!busy.IsDisconnected()) {
                Logging::Log(Logging::Debug,
                             L"No authentication probe found or unable to verify, initiating authentication probe");
                InitiateAuthenticationProbe();
            }
        } else {
            Logging::Log(Logging::Warning, L"No NXO URI configured; scanning inbox");
            if (ScanInboxForNxoUri())
                Logging::Log(Logging::Debug,
                             L"Successfully configured NXO URI from inbox message and initiated authentication probe; "
                             L"waiting for authentication probe to be delivered");
            else if (!busy.IsDisconnected())
                Logging::Log(Logging::Warning, L"Unable to autoconfigure NXO URI from inbox messages");
        }
    } catch (const CException& e) {
        Logging::Log(Logging::Error, (L"Unable to verify add-in configuration: " + e.GetDescription()).c_str());
    }
}

bool CNxoOutlookAddIn::ScanInboxForNxoUri()
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::ScanInboxForNxoUri");
    Logging::Log(Logging::Debug, L"Scanning inbox for messages with a NXO URI...");
    CAddInBusy busy(*this);
    try {
        DateTime cutoff = DateTime::Now() - UriScanWindow;
        StringW filter = StringW::Format(L"[ReceivedTime] >= \"%s\"",
                                         FormatRestrictionDateTime(cutoff.GetDate()).c_str());
        Logging::Log(Logging::Debug, (L"Using restriction: " + filter).c_str());
        CDispatchObject items = RestrictNewestFirst(GetDefaultFolder(olFolderInbox), filter);
        Logging::LogFormat(Logging::Debug, L"Found %d message(s) that are newer than %d days",
                           static_cast<int>(items.GetLong(L"Count")), 30);
        for (long i = 1; i <= items.GetLong(L"Count"); ++i) {
            // Outlook stays responsive between the items of a scan.
            Ui::PumpMessages();
            if (busy.IsDisconnected())
                return false;
            try {
                CDispatchObject item = AsMailItem(items.GetDispatch(L"Item", {_variant_t(i)}).GetInterface());
                if (item && ConfigureNxoUriFromMessage(GetMapiObject<IMessage>(item).GetInterfacePtr()))
                    return true;
            } catch (const CException& e) {
                Logging::Log(Logging::Error, (L"Unable to configure NXO URI from message: " + e.GetDescription()).c_str());
            }
        }
    } catch (const CException& e) {
        Logging::Log(Logging::Error, (L"Unable to scan inbox for NXO URI: " + e.GetDescription()).c_str());
    }
    Logging::Log(Logging::Warning, L"No messages with a NXO URI found; unable to configure NXO URI");
    return false;
}

bool CNxoOutlookAddIn::ConfigureNxoUriFromMessage(IMessage* message)
{
    return ConfigureNxoUri(Mapi::GetQuenzalMessageProps(message, false), Mapi::GetMessageSubject(message));
}

// On Outlook's thread (the inbox scan, a command): Outlook's messages are
// dispatched while the host is looked up, and a disconnection meanwhile ends
// the work without configuring anything.
bool CNxoOutlookAddIn::ConfigureNxoUri(const Mapi::QuenzalMessageProps& props, const StringW& subject)
{
    CAddInBusy busy(*this);
    const Net::CUri uri = ReadNxoUri(props, subject);
    const bool valid = IsValidHostname(uri.GetHost());
    if (busy.IsDisconnected())
        return false;
    if (!valid)
        ThrowInvalidHostname();
    return ApplyNxoUri(uri, props.ReceivedBySmtpAddress);
}

Net::CUri CNxoOutlookAddIn::ReadNxoUri(const Mapi::QuenzalMessageProps& props, const StringW& subject)
{
    Net::CUri uri;
    if (!props.Url.empty()) {
        Logging::LogFormat(Logging::Debug, L"Found NXO URI in headers of message '%s': %s", subject.c_str(),
                           props.Url.c_str());
        uri = CNxoOutlookAddInConfig::ParseNxoUri(props.Url);
    }
    if (uri.GetHost().empty())
        QZL_THROW(L"CNxoOutlookAddIn::ConfigureNxoUriFromMessage", CException(L"NXO URI is invalid"));
    return uri;
}

void CNxoOutlookAddIn::ThrowInvalidHostname()
{
    QZL_THROW(L"CNxoOutlookAddIn::ConfigureNxoUriFromMessage", CException(L"NXO URI has invalid hostname"));
}

bool CNxoOutlookAddIn::ApplyNxoUri(const Net::CUri& uri, const std::wstring& username)
{
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    if (config.IsNxoUriConfigured())
        QZL_THROW(L"CNxoOutlookAddIn::ConfigureNxoUriFromMessage",
                  CException(L"NXO URI already configured: " + StringW(config.GetNxoUri().ToString())));
    config.SetNxoUri(uri, username);
    Logging::Log(Logging::Debug, L"Successfully configured NXO URI from message; initiating authentication probe");
    InitiateAuthenticationProbe();
    return true;
}

bool CNxoOutlookAddIn::IsValidHostname(const std::string& host)
{
    // Set by the lookup's pool thread, which may end after this wait did.
    struct Answer {
        Os::CHandle done = Os::CreateManualResetEvent();
        std::atomic<bool> resolved{false};
    };
    auto answer = std::make_shared<Answer>();
    // Held only by this wait: a lookup that it gave up on is not started.
    NxoHostLookup::Resolve(host, answer, [weak = std::weak_ptr<Answer>(answer)](bool resolved) {
        if (std::shared_ptr<Answer> waiting = weak.lock()) {
            waiting->resolved = resolved;
            ::SetEvent(waiting->done.Get());
        }
    });
    CAddInBusy busy(*this);
    HANDLE done = answer->done.Get();
    while (!busy.IsDisconnected() &&
           ::MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        Ui::PumpMessages();
    return Os::IsObjectSignaled(done) && answer->resolved;
}

void CNxoOutlookAddIn::InitiateAuthenticationProbe()
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::InitiateAuthenticationProbe");
    // A timer started now would outlive the connection, and maybe the module.
    if (CAddInBusy(*this).IsDisconnected())
        return;
    Logging::Log(Logging::Debug, L"Initiating authentication probe...");
    try {
        if (GetSession().GetBool(L"Offline"))
            QZL_THROW(QZL_FUNCTION,
                      CException(L"Outlook is offline; not initiating authentication probe"));
        StringW identity = GetUserIdentity();
        Logging::Log(Logging::Debug, (L"Authenticating as: " + identity).c_str());
        if (!m_apiClient)
            QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
        m_apiClient->InitiateAuthenticationProbe(
            identity, [this](const CNxoApiClient::ContextPtr& context) { OnAuthenticationProbeInitiated(context); });
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
    m_autoConfigureTimer.Start(ProbeRetry);
}

// On a pool thread: the timer belongs to the user-interface thread.
void CNxoOutlookAddIn::OnAuthenticationProbeInitiated(const CNxoApiClient::ContextPtr& context)
{
    if (context->IsSuccessful()) {
        Logging::Log(Logging::Debug, L"Authentication probe initiated successfully");
        return;
    }
    // Canceled as the add-in goes away: nothing failed, and nothing is to be retried.
    if (context->IsCanceled())
        return;
    Logging::Log(Logging::Error, L"Authentication probe initiation failed; retrying in 15 minutes");
    try {
        m_uiWork.Post([this] { m_autoConfigureTimer.Start(FailedProbeRetry); });
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
}

StringW CNxoOutlookAddIn::GetUserIdentity()
{
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    StringW username = config.GetUsername();
    if (!username.empty()) {
        Logging::Log(Logging::Debug, (L"Using user identity determined from autoconfiguration: " + username).c_str());
        return username;
    }
    StringW address = Mapi::GetUserSmtpAddress();
    if (address.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Unable to determine user's identity"));
    Logging::Log(Logging::Warning, (L"No user identity set; using user's default SMTP address: " + address).c_str());
    config.SetUsername(address);
    return address;
}

bool CNxoOutlookAddIn::ScanForAuthenticationProbe(const DateTimeSpan& span)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::ScanForAuthenticationProbe");
    Logging::Log(Logging::Debug, L"Scanning Inbox and Junk E-mail for authentication probes...");
    DateTime cutoff = DateTime::Now() - span;
    StringW filter = StringW::Format(L"([Subject] = \"%s\" OR [Subject] = \"%s\") AND [ReceivedTime] >= \"%s\"",
                                     ProbeSubjects[0], ProbeSubjects[1],
                                     FormatRestrictionDateTime(cutoff.GetDate()).c_str());
    Logging::Log(Logging::Debug, (L"Using restriction: " + filter).c_str());
    CAddInBusy busy(*this);
    bool verified = false;
    std::vector<CDispatchObject> purge;
    for (long folderId : {olFolderInbox, olFolderJunk, olFolderDeletedItems}) {
        try {
            CDispatchObject folder = GetDefaultFolder(folderId);
            Logging::LogFormat(Logging::Debug, L"Scanning folder '%s' for authentication probes",
                               folder.GetString(L"Name").c_str());
            CDispatchObject items = folder.GetDispatch(L"Items").GetDispatch(L"Restrict", {_variant_t(filter.c_str())});
            long count = items.GetLong(L"Count");
            Logging::LogFormat(Logging::Debug, L"Found %d authentication probe(s) newer than %s",
                               static_cast<int>(count), cutoff.ToString(true).c_str());
            if (count == 0)
                continue;
            items.Call(L"Sort", {_variant_t(L"[ReceivedTime]"), _variant_t(true)});
            for (long i = 1; i <= items.GetLong(L"Count"); ++i) {
                Ui::PumpMessages();
                if (busy.IsDisconnected())
                    return false;
                try {
                    CDispatchObject item = AsMailItem(items.GetDispatch(L"Item", {_variant_t(i)}).GetInterface());
                    if (!item)
                        QZL_THROW(QZL_FUNCTION,
                                  CException(L"Item is not a message"));
                    Mapi::AuthenticationProbeProps props =
                        Mapi::GetAuthenticationProbeProps(GetMapiObject<IMessage>(item).GetInterfacePtr());
                    if (folderId != olFolderDeletedItems)
                        purge.push_back(item);
                    if (!verified)
                        verified = OnAuthenticationProbeReceived(props);
                } catch (const CException& e) {
                    Logging::Log(Logging::Error, (L"Unable to verify authentication probe: " + e.GetDescription()).c_str());
                }
            }
        } catch (const CException& e) {
            Logging::Log(Logging::Error,
                         (L"Unable to scan folder for authentication probes: " + e.GetDescription()).c_str());
        }
    }
    if (!purge.empty()) {
        Logging::LogFormat(Logging::Debug, L"Purging %u authentication probe(s)...", static_cast<unsigned>(purge.size()));
        for (const CDispatchObject& item : purge) {
            if (busy.IsDisconnected())
                return false;
            try {
                DeleteMessagePermanently(item);
            } catch (const CException& e) {
                Logging::Log(Logging::Warning, (L"Unable to purge authentication probe: " + e.GetDescription()).c_str());
            }
        }
    }
    return verified;
}

// On a MAPI notification thread: only the message is read here; what touches
// Outlook, the timer, the appliance or the screen is posted to the
// user-interface thread.
bool CNxoOutlookAddIn::OnNewMessage(IMessage* message)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnNewMessage");
    StringW subject = Mapi::GetMessageSubject(message);
    Logging::Log(Logging::Trace, (L"Subject: " + subject).c_str());
    if (!CNxoOutlookAddInConfig::GetInstance().IsNxoUriConfigured()) {
        // Neither the store nor Outlook waits for the lookup of the host: a
        // name server may take seconds to fail, for each of many messages.
        // Its answer is this connection's; a message that names no usable
        // appliance is left alone, its failure reported.
        const Mapi::QuenzalMessageProps props = Mapi::GetQuenzalMessageProps(message, false);
        const Net::CUri uri = ReadNxoUri(props, subject);
        const CUiThreadWork::CPoster poster = m_uiWork.GetPoster();
        NxoHostLookup::Resolve(uri.GetHost(), poster.GetConnection(),
                               [this, poster, uri, username = props.ReceivedBySmtpAddress](bool resolved) {
                                   if (!resolved)
                                       ThrowInvalidHostname();
                                   poster.Post([this, uri, username] {
                                       if (!CNxoOutlookAddInConfig::GetInstance().IsNxoUriConfigured())
                                           ApplyNxoUri(uri, username);
                                   });
                               });
    }
    if (!IsProbeSubject(subject))
        return false;
    try {
        Mapi::AuthenticationProbeProps props = Mapi::GetAuthenticationProbeProps(message);
        m_uiWork.Post([this, props] { OnAuthenticationProbeReceived(props); });
        return true;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        return false;
    }
}

bool CNxoOutlookAddIn::OnAuthenticationProbeReceived(const Mapi::AuthenticationProbeProps& props)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnAuthenticationProbeReceived");
    Logging::Log(Logging::Debug, L"Verifying authentication probe...");
    // The introduction's message box pumps messages.
    CAddInBusy busy(*this);
    try {
        if (busy.IsDisconnected())
            return false;
        CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
        StringW username = config.GetUsername();
        if (username.empty())
            QZL_THROW(L"CNxoOutlookAddIn::VerifyAuthenticationProbe", CException(L"No username configured"));
        if (!m_apiClient)
            QZL_THROW(L"CNxoOutlookAddIn::VerifyAuthenticationProbe", CComError(E_POINTER));
        m_apiClient->VerifyAuthenticationProbe(username, props.ValidationToken);
        Logging::Log(Logging::Debug, L"Authentication probe verified successfully");
        // A refusal of the new account needs a repair of its own.
        m_repairRequested = false;
        bool previously = config.IsKvdEnabled();
        config.SetKvdEnabled(props.StubbingEnabled);
        if (props.StubbingEnabled && !previously) {
            Logging::Log(Logging::Warning, L"Enabling KVD and showing KVD intro");
            ShowKvdIntroduction();
        }
        if (!props.StubbingEnabled)
            Logging::Log(Logging::Debug, L"KVD is not enabled");
        return true;
    } catch (const CException& e) {
        Logging::Log(Logging::Error, (L"Unable to verify authentication probe: " + e.GetDescription()).c_str());
        return false;
    }
}

void CNxoOutlookAddIn::ShowKvdIntroduction()
{
    StringW text = GetLocalizedMessage(367) + L"\r\n\r\n" + GetLocalizedMessage(398) + L"\r\n\r\n" +
                   GetLocalizedMessage(400) + L"\r\n";
    ::MessageBoxW(GetActiveOutlookWindow(), text.c_str(), NxoProductName, MB_ICONINFORMATION);
}

void CNxoOutlookAddIn::RepairConfiguration()
{
    CAddInBusy busy(*this);
    if (busy.IsDisconnected())
        return;
    Logging::Log(Logging::Warning, L"Repairing NXO configuration...");
    CNxoOutlookAddInConfig::GetInstance().ResetAccount();
    if (m_apiClient)
        m_apiClient->ClearCredentials();
    AutoConfigure();
}

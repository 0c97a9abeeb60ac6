#pragma once
// The product as a user meets it: NxoOutlookAddIn.dll loaded by the stand-in
// Outlook from its file, over a mailbox whose messages are messages of the
// test MAPI provider, talking to the stand-in appliance on 127.0.0.1. The
// flows print their steps when QZL_DEMO is set (scripts/demo).

#include "AddInHost.h"
#include "ApplianceStandIn.h"
#include "FakeMailbox.h"
#include "MapiHeaders.h"
#include "NxoTestSupport.h"
#include "TestMapiProvider.h"

#include "NxoOutlookAddIn.h"

#include <functional>
#include <memory>
#include <string>

namespace NxoTest {

inline constexpr wchar_t ComposeRibbon[] = L"Microsoft.Outlook.Mail.Compose";

// A property or callback answer as text; "<not set>" when it is no text.
inline std::wstring Text(const _variant_t& value)
{
    return value.vt == VT_BSTR ? value.bstrVal : L"<not set>";
}

class CAddInFlow {
public:
    CAddInFlow();
    ~CAddInFlow();
    CAddInFlow(const CAddInFlow&) = delete;
    CAddInFlow& operator=(const CAddInFlow&) = delete;

    // A message the appliance delivered: its URL (naming the appliance by
    // host) and debug-id headers, sent by sender, received by the test identity.
    QzlFake::CFakeRef AddApplianceMail(long folder, const std::wstring& subject, const std::string& debugId,
                                       const std::string& sender = "sender@example.net",
                                       const char* host = "127.0.0.1");
    // The authentication probe for the request the appliance saw last: as
    // new mail in the Inbox (returns once the provider has told the add-in),
    // or only in the folder for a scan to find.
    void DeliverProbeAsNewMail();
    // A message from the appliance at host arriving in the Inbox as new mail;
    // with wait, returns once the provider has told the add-in.
    void DeliverApplianceMail(const std::wstring& subject, const char* host = "127.0.0.1", bool wait = true);
    // A message the user is writing, in Drafts, with these categories.
    QzlFake::CFakeRef AddDraft(const std::wstring& subject, const std::wstring& categories = L"");
    QzlFake::CFakeRef AddProbeToFolder(long folder);

    // A message the user sent days ago (Outlook gives it a received time
    // too): it lands in Sent Items, announced when sent now.
    QzlFake::CFakeRef SendMail(const std::wstring& subject, const std::vector<std::string>& recipients,
                               double daysAgo = 0);
    // A contact with up to three e-mail slots, each "TYPE:address"; with
    // announce, Outlook tells of the new contact.
    QzlFake::CFakeRef AddContact(const std::wstring& name, const std::vector<std::string>& slots,
                                 bool announce = true);
    // The user edited the contact's e-mail slots and saved it.
    void ChangeContact(const QzlFake::CFakeRef& contact, const std::vector<std::string>& slots);
    // Outlook closes and starts again: the module is unloaded and loaded
    // anew, with its settings read afresh; the mailbox and its drafts stay.
    void Restart();
    // Outlook connects a new add-in object, which takes the old one's place
    // here, before it lets the old one go: answers the old one's host.
    std::unique_ptr<QzlFake::CAddInHost> ConnectNewObject();
    // The add-in made in this process (not loaded from its module), for the
    // functions that no COM call reaches; replaces the host.
    CNxoOutlookAddIn& LinkAddIn();

    // A click on the command's ribbon button in an explorer showing the selection.
    HRESULT Click(const wchar_t* command, const std::vector<QzlFake::CFakeRef>& selection);
    // Dispatches the thread's messages until done() or the time is up.
    bool PumpUntil(const std::function<bool()>& done, double seconds = 60);
    // The requests of the script that the appliance answered (challenges
    // left out), once there are count of them or the time is up.
    std::vector<Json::Value> AwaitSeen(const std::string& script, size_t count);

    // A query value of a request the appliance saw.
    static std::string QueryOf(const Json::Value& request, const std::string& name);
    static void SetSetting(const wchar_t* name, DWORD value);
    static void SetSetting(const wchar_t* name, const std::wstring& value);
    // The internet header as the message store holds the item; empty when absent.
    std::wstring HeaderOf(const QzlFake::CFakeRef& item, const wchar_t* name) const;
    // What the add-in wrote to its log during the flow.
    std::string Log() const;
    // One line for the demonstration: a step, or the scene its steps start from.
    static void Step(const std::string& text);
    static void Scene(const std::string& text);
    // Where the mailbox holds the item now: "in Inbox", or "deleted for good".
    std::string WhereIs(const QzlFake::CFakeRef& item);
    // A request the appliance saw, asked the given number of times in a row.
    static void Saw(const Json::Value& request, size_t times = 1);

    CAddInTurn turn;
    CApplianceStandIn appliance;
    QzlFake::CFakeOutlook outlook;
    QzlTestMapi::IControl* provider = nullptr;
    IMAPIFolder* inbox = nullptr;
    std::unique_ptr<QzlFake::CFakeMailbox> mailbox;
    std::unique_ptr<QzlFake::CAddInHost> host;

private:
    std::string ApplianceHeaders(const std::string& debugId, const char* host) const;
    // A message of the provider, or, with deliver, one that arrives in the
    // Inbox as new mail (then null).
    IMessage* MakeMessage(const std::wstring& subject, const std::string& headers, const std::string& sender,
                          bool deliver = false, std::vector<QzlTestMapi::PropRow> recipients = {});
    IUnknown* MakeContactProperties(const std::vector<std::string>& slots);

    HANDLE m_processLog;
    Quenzal::StringW m_processLogPath;
    HMODULE m_provider = nullptr;
    IMAPISession* m_session = nullptr;
    int m_nextEntryId = 1;
    Quenzal::OutlookAddIn::CObjectRef<CNxoOutlookAddIn> m_linkedAddIn;
    QzlFake::CFakeRef m_drafts;
};

} // namespace NxoTest

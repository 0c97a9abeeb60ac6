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

#include <functional>
#include <memory>
#include <string>

namespace NxoTest {

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
    QzlFake::CFakeRef AddProbeToFolder(long folder);

    // A click on the command's ribbon button in an explorer showing the selection.
    HRESULT Click(const wchar_t* command, const std::vector<QzlFake::CFakeRef>& selection);
    // Dispatches the thread's messages until done() or the time is up.
    bool PumpUntil(const std::function<bool()>& done, double seconds = 20);
    // The requests of the script that the appliance answered (challenges
    // left out), once there are count of them or the time is up.
    std::vector<Json::Value> AwaitSeen(const std::string& script, size_t count);

    // A query value of a request the appliance saw.
    static std::string QueryOf(const Json::Value& request, const std::string& name);
    static void SetSetting(const wchar_t* name, DWORD value);
    static void SetSetting(const wchar_t* name, const std::wstring& value);
    // What the add-in wrote to its log during the flow.
    std::string Log() const;
    // One line for the demonstration.
    static void Step(const std::string& text);
    static void Saw(const Json::Value& request);

    CAddInTurn turn;
    CApplianceStandIn appliance;
    QzlFake::CFakeOutlook outlook;
    QzlTestMapi::IControl* provider = nullptr;
    IMAPIFolder* inbox = nullptr;
    std::unique_ptr<QzlFake::CFakeMailbox> mailbox;
    std::unique_ptr<QzlFake::CAddInHost> host;

private:
    // A message of the provider, or, with deliver, one that arrives in the
    // Inbox as new mail (then null).
    IMessage* MakeMessage(const std::wstring& subject, const std::string& headers, const std::string& sender,
                          bool deliver = false);

    HMODULE m_provider = nullptr;
    IMAPISession* m_session = nullptr;
    int m_nextEntryId = 1;
};

} // namespace NxoTest

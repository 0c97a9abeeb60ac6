// Whitelisting as the user meets it: sent mail and contacts reach the
// appliance's whitelist once, the scan of Sent Items and Contacts under its
// progress dialog, and the explorers' inline-response sinks.
#include "AddInFlow.h"

#include "DialogUser.h"
#include "FakeRibbon.h"
#include "OptionsDlgIds.h"
#include "ScanWhitelistDlg.h"
#include "StringW.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace NxoTest;
using namespace QzlFake;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string AddressesOf(const Json::Value& request)
{
    return request["form"]["Addresses"][0].asString();
}

// Once the appliance's answer is in the cached whitelist, a new request
// leaves these addresses out.
bool AwaitCached(CAddInFlow& flow, const std::string& address)
{
    return flow.PumpUntil(
        [&] { return Contains(QzlTest::ReadWholeFile(CDataFolderTurn::WhitelistPath()), address + "\r\n"); });
}

bool AwaitLog(CAddInFlow& flow, const std::string& line)
{
    return flow.PumpUntil([&] { return Contains(flow.Log(), line); });
}

} // namespace

// Unsubscribe and postmaster mail, and mail sent while the switch is off,
// whitelist nobody; each request holds only the new addresses.
TEST(AddInFlowTest, WhitelistsRecipientsOfSentMailOnce)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CAddInFlow::Step("the user sends a message to two people");
    flow.SendMail(L"Lunch", {"bob@example.org", "ann@example.org"});
    std::vector<Json::Value> requests = flow.AwaitSeen("whitelist.cgi", 1);
    ASSERT_EQ(1u, requests.size());
    CAddInFlow::Saw(requests[0]);
    EXPECT_EQ("ann@example.org,bob@example.org", AddressesOf(requests[0]));
    ASSERT_TRUE(AwaitCached(flow, "bob@example.org"));

    CAddInFlow::Step("a second message to one of them asks the appliance nothing");
    flow.SendMail(L"Lunch again", {"Ann@Example.org"});
    EXPECT_TRUE(AwaitLog(flow, "All addresses in whitelist request are already whitelisted"));
    flow.SendMail(L"Please REMOVE me", {"list@example.org"});
    flow.SendMail(L"Bounce", {"carol@example.org", "Postmaster@example.org"});
    ASSERT_TRUE(flow.PumpUntil([&] { return flow.mailbox->PendingEventCount() == 0; }));
    CAddInFlow::SetSetting(L"WhitelistOnSentMessage", 0);
    flow.SendMail(L"Switched off", {"dave@example.org"});
    ASSERT_TRUE(flow.PumpUntil([&] { return flow.mailbox->PendingEventCount() == 0; }));
    CAddInFlow::SetSetting(L"WhitelistOnSentMessage", 1);
    flow.SendMail(L"Switched on", {"erin@example.org"});
    requests = flow.AwaitSeen("whitelist.cgi", 2);
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("erin@example.org", AddressesOf(requests[1]));
    std::string log = flow.Log();
    EXPECT_TRUE(Contains(log, "Message appears to be an unsubscribe message; ignoring: Please REMOVE me"));
    EXPECT_TRUE(Contains(log, "Message is addressed to the postmaster; ignoring: Bounce"));
    EXPECT_TRUE(Contains(log, "Found 2 SMTP recipient(s) for message: Lunch"));
}

TEST(AddInFlowTest, WhitelistsContactsAddedAndChanged)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CAddInFlow::Step("the user adds a contact with two SMTP addresses and an Exchange one");
    CFakeRef ann = flow.AddContact(L"Ann Example",
                                   {"SMTP:ann@example.org", "EX:/o=Org/cn=Ann", "SMTP:ann.home@example.net"});
    std::vector<Json::Value> requests = flow.AwaitSeen("whitelist.cgi", 1);
    ASSERT_EQ(1u, requests.size());
    CAddInFlow::Saw(requests[0]);
    EXPECT_EQ("ann.home@example.net,ann@example.org", AddressesOf(requests[0]));
    ASSERT_TRUE(AwaitCached(flow, "ann@example.org"));

    flow.AddContact(L"Exchange Only", {"EX:/o=Org/cn=Bob"});
    EXPECT_TRUE(AwaitLog(flow, "Contact has no SMTP email addresses to whitelist"));
    CAddInFlow::Step("the user changes the contact: only the new address is whitelisted");
    flow.ChangeContact(ann, {"SMTP:ann@example.org", "SMTP:ann.work@example.com"});
    requests = flow.AwaitSeen("whitelist.cgi", 2);
    ASSERT_EQ(2u, requests.size());
    CAddInFlow::Saw(requests[1]);
    EXPECT_EQ("ann.work@example.com", AddressesOf(requests[1]));
    EXPECT_TRUE(Contains(flow.Log(), "Changed contact in Contacts folder"));
    EXPECT_TRUE(Contains(flow.Log(), "Found 2 SMTP e-mail address(es) for contact: Ann Example"));

    // Sent Items hears no changes: a changed sent message whitelists nobody.
    CFakeRef sent = flow.SendMail(L"Old news", {"zed@example.org"}, 3);
    flow.mailbox->ChangeItem(sent);
    CAddInFlow::SetSetting(L"WhitelistOnNewContact", 0);
    flow.AddContact(L"Switched off", {"SMTP:off@example.org"});
    ASSERT_TRUE(flow.PumpUntil([&] { return flow.mailbox->PendingEventCount() == 0; }));
    CAddInFlow::SetSetting(L"WhitelistOnNewContact", 1);
    flow.AddContact(L"Switched on", {"SMTP:on@example.org"});
    requests = flow.AwaitSeen("whitelist.cgi", 3);
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("on@example.org", AddressesOf(requests[2]));
}

// The scan is the whitelist-scan dialog's: the add-in linked into the test
// runs it. Cancelled in Sent Items, it keeps what it found there and skips
// Contacts; the full scan counts each address once per folder.
TEST(AddInFlowTest, ScansSentItemsAndContactsWithTotalsAndCancel)
{
    CAddInFlow flow;
    CNxoOutlookAddIn& addIn = flow.LinkAddIn();
    flow.turn.Configure(flow.appliance);
    ASSERT_EQ(S_OK, flow.host->Connect());
    flow.SendMail(L"Too old", {"old@example.org"}, 40);
    flow.SendMail(L"First", {"a@example.org", "b@example.org"}, 2);
    CFakeRef second = flow.SendMail(L"Second", {"b@example.org", "c@example.org"}, 1);
    flow.SendMail(L"Unsubscribe", {"list@example.org"}, 1);
    flow.AddContact(L"Dan", {"SMTP:d@example.org"}, false);
    flow.AddContact(L"Eve", {"SMTP:e@example.org", "SMTP:E@example.org"}, false);

    // The user presses Cancel while the second message is read.
    bool pressed = false;
    second->Define(L"Subject", {[&](const Values&) {
                                    HWND dialog = NxoTest::CDialogUser::FindDialog(L"Quenzal Inbox Rampart");
                                    HWND cancel = ::FindWindowExW(dialog, nullptr, L"Button", nullptr);
                                    if (!pressed && cancel != nullptr)
                                        ::SendMessageW(cancel, BM_CLICK, 0, 0);
                                    pressed = pressed || cancel != nullptr;
                                    return _variant_t(L"Second");
                                },
                                nullptr, nullptr});
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured; the user has sent mail and contacts");
    CAddInFlow::Step("the user scans sent items and contacts, and cancels during Sent Items");
    EXPECT_EQ(3u, addIn.ScanSentItemsAndContactsForWhitelist(true, true, nullptr));
    EXPECT_TRUE(pressed);
    std::vector<Json::Value> requests = flow.AwaitSeen("whitelist.cgi", 1);
    ASSERT_EQ(1u, requests.size());
    CAddInFlow::Saw(requests[0]);
    EXPECT_EQ("a@example.org,b@example.org,c@example.org", AddressesOf(requests[0]));
    ASSERT_TRUE(AwaitCached(flow, "c@example.org"));

    CAddInFlow::Step("scanned again to the end: Contacts too");
    pressed = true;
    EXPECT_EQ(5u, addIn.ScanSentItemsAndContactsForWhitelist(true, true, nullptr));
    requests = flow.AwaitSeen("whitelist.cgi", 2);
    ASSERT_EQ(2u, requests.size());
    CAddInFlow::Saw(requests[1]);
    EXPECT_EQ("d@example.org,e@example.org", AddressesOf(requests[1]));
    CAddInFlow::Step("the scan dialog with nothing ticked: the add-in's scan finds nothing");
    CScanWhitelistDlg dialog(addIn);
    CDialogUser user([] {
        HWND scan = CDialogUser::WaitForDialog(L"Whitelist Email Recipients and Contacts");
        ASSERT_NE(nullptr, scan);
        CDialogUser::Click(scan, IDC_NXO_SCAN_SENT_ITEMS);
        CDialogUser::Click(scan, IDC_NXO_SCAN_CONTACTS);
        CDialogUser::Click(scan, IDOK);
        HWND box = CDialogUser::WaitForMessageBox(L"Quenzal Inbox Rampart", scan);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(L"No email addresses were found to whitelist", CDialogUser::MessageText(box));
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    std::string log = flow.Log();
    EXPECT_TRUE(Contains(log, "Found 3 message(s) that are newer than 30 days"));
    EXPECT_TRUE(Contains(log, "Scanning 2 contacts in contacts folder"));
    EXPECT_TRUE(Contains(log, "Whitelisted 5 total email address(es)"));
    EXPECT_TRUE(Contains(log, "Whitelisted 0 total email address(es)"));

    CAddInFlow::Step("Outlook disables the add-in during a scan: the scan ends and sends nothing more");
    flow.SendMail(L"Third", {"f@example.org"}, 1);
    second->Define(L"Subject", {[&](const Values&) {
                                    if (flow.host->GetAddIn() != nullptr) {
                                        EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));
                                    }
                                    return _variant_t(L"Second");
                                },
                                nullptr, nullptr});
    EXPECT_EQ(0u, addIn.ScanSentItemsAndContactsForWhitelist(true, true, nullptr));
    EXPECT_EQ(2u, flow.AwaitSeen("whitelist.cgi", 0).size());
}

// One sink per explorer on Outlook 2013 and later, gone when the explorer
// closes and at disconnection; an inline response before the ribbon loaded
// (Outlook started without a window, the first one just opening) is reported
// and answered; once it has, the encryption toggle is asked again.
TEST(AddInFlowTest, InlineResponseSinksFollowTheirExplorers)
{
    CAddInFlow flow;
    CAddInFlow::SetSetting(L"Debug", 1);
    flow.outlook.explorerList.clear();
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRef first = flow.outlook.FireNewExplorer();
    EXPECT_EQ(3u, first->GetSinkCount());
    first->Events(Outlook::ExplorerEvents10).Fire(0xFC92, {DispatchArgument(nullptr)});
    std::string log = flow.Log();
    EXPECT_TRUE(Contains(log, "Entering CInlineResponseEventSink::OnInlineResponse"));
    EXPECT_TRUE(Contains(log, "Caught exception at InlineResponseEventSink.cpp, CInlineResponseEventSink::OnInlineResponse"));
    EXPECT_FALSE(Contains(log, "Leaving CInlineResponseEventSink::OnInlineResponse"));
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    ASSERT_EQ(S_OK, ribbon.Load(L"Microsoft.Outlook.Explorer"));
    first->Events(Outlook::ExplorerEvents10).Fire(0xFC92, {DispatchArgument(nullptr)});
    EXPECT_EQ(1, ribbon.ribbonUi->CallCount(L"InvalidateControl"));
    EXPECT_TRUE(Contains(flow.Log(), "Leaving CInlineResponseEventSink::OnInlineResponse"));

    CFakeRef second = flow.outlook.FireNewExplorer();
    EXPECT_EQ(3u, second->GetSinkCount());
    first->Events(Outlook::ExplorerEvents10).Fire(0xF008);
    EXPECT_EQ(0u, first->GetSinkCount());
    EXPECT_TRUE(Contains(flow.Log(), "Leaving CInlineResponseEventSink::OnClose"));
    EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));
    EXPECT_EQ(0u, second->GetSinkCount());
    CAddInFlow::SetSetting(L"Debug", 0);
}

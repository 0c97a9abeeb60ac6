// The user's flows end to end: the product DLL in the stand-in Outlook, the
// test MAPI provider's messages, the stand-in appliance.
#include "AddInFlow.h"

#include "DispatchObject.h"
#include "NxoDataDirectory.h"
#include "NxoOutlookAddInConfig.h"
#include "File.h"
#include "OsHelperObjects.h"
#include "StringW.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

using namespace NxoTest;
using namespace QzlFake;
using Quenzal::StringW;

namespace {

std::string Setting(const wchar_t* name)
{
    return StringW(CAddInTurn::SettingsString(name)).GetAnsi(CP_UTF8);
}

// The account the appliance agreed is the one the add-in stored.
void ExpectAccountStored(CAddInFlow& flow)
{
    std::vector<Json::Value> confirms = flow.appliance.Seen("addin_auth_confirm.cgi");
    ASSERT_EQ(1u, confirms.size());
    CAddInFlow::Saw(confirms[0]);
    EXPECT_EQ(200, confirms[0]["status"].asInt());
    EXPECT_EQ(228u, CAddInFlow::QueryOf(confirms[0], "shared_secret").size());
    EXPECT_EQ(CAddInFlow::QueryOf(confirms[0], "shared_secret"), Setting(L"AccountKey2"));
    EXPECT_EQ("user@example.com===" + CAddInFlow::QueryOf(confirms[0], "client_id"), Setting(L"AccountName"));
    EXPECT_EQ("", Setting(L"NxoUriStatus"));
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// A message from the appliance gives the URI; the probe then arrives as new
// mail. The new-mail callback only reads the message: the verification waits
// for the user-interface thread, and the probe is deleted at once.
TEST(AddInFlowTest, AutoConfiguresFromReceivedMailWithProbeAsNewMail)
{
    CAddInFlow flow;
    CAddInFlow::Scene("Outlook starts, with the add-in not yet configured");
    CAddInFlow::Step("Inbox holds a message from the appliance at " + StringW(flow.appliance.Uri()).GetAnsi(CP_UTF8));
    flow.AddApplianceMail(Outlook::Inbox, L"Quarterly report", "DEBUG-1");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CAddInFlow::Step("Outlook started the add-in; it scans the Inbox for its appliance");
    std::vector<Json::Value> requests = flow.AwaitSeen("addin_auth_request.cgi", 1);
    ASSERT_EQ(1u, requests.size());
    CAddInFlow::Saw(requests[0]);
    EXPECT_EQ("user@example.com", CAddInFlow::QueryOf(requests[0], "user"));
    EXPECT_EQ(StringW(flow.appliance.Uri()).GetAnsi(CP_UTF8), Setting(L"NxoUri"));
    EXPECT_EQ("user@example.com", Setting(L"Username"));

    CAddInFlow::Step("the appliance mails the probe; it arrives in the Inbox as new mail");
    flow.DeliverProbeAsNewMail();
    EXPECT_EQ(1, flow.provider->GetCallCount("IMAPIFolder::DeleteMessages"));
    EXPECT_TRUE(flow.appliance.Seen("addin_auth_confirm.cgi").empty());
    ASSERT_TRUE(flow.PumpUntil([&] { return !Setting(L"AccountKey2").empty(); }));
    CAddInFlow::Step("the add-in confirmed the probe and deleted it");
    ExpectAccountStored(flow);
    CAddInFlow::Step("its account, which every later request signs with: " + Setting(L"AccountName"));
}

// The add-in's own lookups of names beginning "slow" take the milliseconds
// that follow, then resolve as localhost when "ok" follows, else fail.
struct CSlowLookups {
    static inline hostent*(WINAPI* const s_real)(const char*) = reinterpret_cast<hostent*(WINAPI*)(const char*)>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ws2_32.dll"), "gethostbyname")));
    static inline std::atomic<int> s_started{0};
    static inline std::atomic<int> s_ended{0};

    static hostent* WINAPI Lookup(const char* name)
    {
        if (std::strncmp(name, "slow", 4) != 0)
            return s_real(name);
        ++s_started;
        char* rest = nullptr;
        ::Sleep(std::strtoul(name + 4, &rest, 10));
        hostent* found = std::strncmp(rest, "ok", 2) == 0 ? s_real("localhost") : nullptr;
        if (found == nullptr)
            ::WSASetLastError(WSAHOST_NOT_FOUND);
        ++s_ended;
        return found;
    }

    // Never put back, so that no lookup left over asks a real name server:
    // the module goes, with its import table, at the flow's end.
    CSlowLookups()
    {
        s_started = s_ended = 0;
        new QzlTest::CImportRedirect(::GetModuleHandleW(L"NxoOutlookAddIn.dll"), reinterpret_cast<void*>(s_real),
                                     reinterpret_cast<void*>(&Lookup));
    }
};

// With no appliance configured, new mail that names one has its host looked
// up on the pool: neither the store's thread nor Outlook's waits for it, so
// a disconnection returns at once whatever lookups are under way, and a
// lookup that ends after it, under a newer connection, configures nothing.
// Mail naming hosts whose name server is slow to fail holds up the
// appliance's own mail only for a turn. Then the appliance, named by host, is
// configured.
TEST(AddInFlowTest, NewMailNamingTheApplianceIsResolvedOffOutlooksThread)
{
    const std::string longLabel = std::string(64, 'a') + ".example";
    const struct {
        std::string host; // Numbered by the mail when it holds %d.
        int mails;
        bool disconnect;
        double within; // Seconds the disconnection, or else the appliance's mail, takes at most.
    } rows[] = {
        // A label over 63 characters fails in the resolver itself: no query leaves.
        {longLabel, 1, false, 20},
        {"slow1000-%d.example", 20, false, 2},
        {"slow3000ok.example", 1, true, 0.5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host);
        CAddInFlow flow;
        ASSERT_EQ(S_OK, flow.host->Connect());
        ASSERT_TRUE(flow.PumpUntil([&] { return Contains(flow.Log(), "Unable to autoconfigure NXO URI"); }));
        CSlowLookups slow;
        for (int i = 0; i < row.mails; ++i)
            flow.DeliverApplianceMail(L"Unreachable", StringW::Format(StringW(row.host).c_str(), i).ToAnsi().c_str(),
                                      false);
        using Clock = std::chrono::steady_clock;
        auto secondsSince = [](Clock::time_point since) {
            return std::chrono::duration<double>(Clock::now() - since).count();
        };
        if (row.disconnect) {
            ASSERT_TRUE(flow.PumpUntil([&] { return CSlowLookups::s_started == row.mails; }));
            const Clock::time_point disconnecting = Clock::now();
            EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));
            EXPECT_GT(row.within, secondsSince(disconnecting));
            ASSERT_EQ(S_OK, flow.host->Connect(ext_cm_AfterStartup));
            ASSERT_TRUE(flow.PumpUntil([&] { return CSlowLookups::s_ended == row.mails; }));
        }
        const Clock::time_point welcomed = Clock::now();
        flow.DeliverApplianceMail(L"Welcome", "localhost", false);
        ASSERT_TRUE(flow.PumpUntil([&] { return !Setting(L"NxoUri").empty(); }));
        if (!row.disconnect) {
            EXPECT_GT(row.within, secondsSince(welcomed));
        }
        EXPECT_EQ(StringW(flow.appliance.Uri("localhost")).GetAnsi(CP_UTF8), Setting(L"NxoUri"));
        ASSERT_EQ(1u, flow.AwaitSeen("addin_auth_request.cgi", 1).size());
        if (!row.disconnect) {
            EXPECT_TRUE(flow.PumpUntil([&] { return Contains(flow.Log(), "NXO URI has invalid hostname"); }));
        }
    }
}

// The probe is already in the Inbox when the add-in looks: after Outlook
// disabled and enabled the add-in, a new connection in the same process finds
// it by the scan, verifies it, and purges it through Deleted Items.
TEST(AddInFlowTest, FindsProbeByScanAfterReconnecting)
{
    CAddInFlow flow;
    CAddInFlow::Scene("Another start of Outlook, with the add-in not yet configured");
    CAddInFlow::Step("Inbox holds a message from the appliance; Outlook starts the add-in");
    flow.AddApplianceMail(Outlook::Inbox, L"Welcome", "DEBUG-2");
    ASSERT_EQ(S_OK, flow.host->Connect());
    const std::vector<Json::Value> probes = flow.AwaitSeen("addin_auth_request.cgi", 1);
    ASSERT_EQ(1u, probes.size());
    // Answered, not only seen: a request the disconnection cancels leaves an error status.
    ASSERT_TRUE(flow.PumpUntil([&] { return Contains(flow.Log(), "Authentication probe initiated successfully"); }));
    CAddInFlow::Step("it configured the URI and asked for a probe");
    CAddInFlow::Saw(probes[0]);
    CAddInFlow::Step("the user disables the add-in before the probe arrives");
    EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));

    CFakeRef unrelated = flow.AddApplianceMail(Outlook::DeletedItems, L"Deleted by the user", "DEBUG-3");
    flow.AddProbeToFolder(Outlook::Inbox);
    CAddInFlow::Step("the probe is in the Inbox; the user enables the add-in again");
    ASSERT_EQ(S_OK, flow.host->Connect(ext_cm_AfterStartup));
    ASSERT_TRUE(flow.PumpUntil([&] { return !flow.mailbox->permanentlyDeleted.empty(); }));
    CAddInFlow::Step("the add-in found the probe, confirmed it and purged it");
    ExpectAccountStored(flow);
    EXPECT_EQ(std::vector<std::wstring>{L"Quenzal Inbox Rampart Add-In Validation"},
              flow.mailbox->permanentlyDeleted);
    EXPECT_EQ(std::vector<CFakeRef>{unrelated}, flow.mailbox->Items(flow.mailbox->Folder(Outlook::DeletedItems)));
    EXPECT_EQ(1u, flow.mailbox->Items(flow.mailbox->Folder(Outlook::Inbox)).size());
}

// Each spam action: delete for good, move to Deleted Items, move to the
// chosen folder, and a chosen folder that is gone. A message the user
// deletes meanwhile is never taken for the spam being deleted.
TEST(AddInFlowTest, MarksAsSpamWithEachSpamAction)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CFakeRef chosen = flow.mailbox->AddFolder(L"Spam");
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured; the user has a folder Spam");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRef deleted = flow.mailbox->Folder(Outlook::DeletedItems);
    // The setting as the options dialog shows it.
    struct Case {
        DWORD action;
        bool chooseFolder;
        CFakeRef expectedFolder;
        const char* option;
    } cases[] = {{0, false, CFakeRef(), "\"Permanently delete message\"; the user deletes a message of the Inbox, then"},
                 {1, false, deleted, "\"Move to Deleted Items\";"},
                 {2, true, chosen, "\"Move to: Spam\";"},
                 {2, false, deleted, "\"Move to: Spam\", a folder since gone;"}};
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(number);
        std::string id = "SPAM-" + std::to_string(++number);
        CAddInFlow::SetSetting(L"SpamAction", c.action);
        // The settings hold the two ids under each other's names.
        CAddInFlow::SetSetting(L"MoveToFolderEntryId", c.chooseFolder ? std::wstring(L"STORE-1") : std::wstring());
        CAddInFlow::SetSetting(L"MoveToFolderStoreEntryId",
                               StringW(static_cast<_bstr_t>(chosen->Value(L"EntryID")).GetBSTR()));
        CFakeRef spam = flow.AddApplianceMail(Outlook::Inbox, StringW("Spam " + id), id);
        CAddInFlow::Step(std::string("the options say ") + c.option +
                         " the user selects a message in Inbox and clicks Mark as Spam on the ribbon");
        CFakeRef other;
        if (c.action == 0) {
            // Deleted by the user just before: it arrives in Deleted Items first.
            other = flow.AddApplianceMail(Outlook::Inbox, L"Keep me", "KEEP");
            Quenzal::OutlookAddIn::CDispatchObject(other.Get()).Call(L"Delete");
        }
        ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", {spam}));
        std::vector<Json::Value> marks = flow.AwaitSeen("mark.cgi", number);
        ASSERT_EQ(static_cast<size_t>(number), marks.size());
        CAddInFlow::Saw(marks.back());
        EXPECT_EQ(id, CAddInFlow::QueryOf(marks.back(), "id"));
        EXPECT_EQ("Y", CAddInFlow::QueryOf(marks.back(), "Spam"));
        EXPECT_EQ(200, marks.back()["status"].asInt());
        flow.PumpUntil([&] { return flow.mailbox->PendingEventCount() == 0; });
        if (c.action == 0) {
            EXPECT_EQ(std::vector<std::wstring>{StringW("Spam " + id)}, flow.mailbox->permanentlyDeleted);
            auto& trash = flow.mailbox->Items(deleted);
            EXPECT_NE(trash.end(), std::find(trash.begin(), trash.end(), other));
        } else {
            auto& items = flow.mailbox->Items(c.expectedFolder);
            EXPECT_NE(items.end(), std::find(items.begin(), items.end(), spam));
        }
        CAddInFlow::Step("the message is now " + flow.WhereIs(spam) +
                         (other ? "; the one the user deleted stays " + flow.WhereIs(other) : std::string()));
    }
    EXPECT_TRUE(Contains(flow.Log(), "Unable to move message to user-specified folder; deleting instead: "
                                     "Specified folder properties missing from config"));
    EXPECT_EQ(1u, flow.mailbox->permanentlyDeleted.size());
}

// A host may connect a new add-in object before it disconnects the old one:
// the old one's disconnection leaves the new one's requests, MAPI session
// and COMAddIn.Object.
TEST(AddInFlowTest, NewObjectConnectedBeforeTheOldOneLeavesStillMarks)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    ASSERT_EQ(S_OK, flow.host->Connect());
    std::unique_ptr<CAddInHost> old = flow.ConnectNewObject();
    EXPECT_EQ(S_OK, old->Disconnect(ext_dm_UserClosed));
    EXPECT_EQ(VT_DISPATCH, flow.outlook.FindComAddIn(L"Quenzal.NxoOutlookAddIn")->Value(L"Object").vt);
    EXPECT_NE(nullptr, flow.outlook.FindComAddIn(L"Quenzal.NxoOutlookAddIn")->Value(L"Object").pdispVal);
    CAddInFlow::SetSetting(L"SpamAction", 7);
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", {flow.AddApplianceMail(Outlook::Inbox, L"Offer", "NEW-1"),
                                                    flow.AddApplianceMail(Outlook::Inbox, L"Offer", "NEW-2")}));
    EXPECT_EQ(2u, flow.AwaitSeen("mark.cgi", 2).size());
    EXPECT_FALSE(Contains(flow.Log(), "has been terminated")) << flow.Log();
    // Each host holds the module: the new one lets it go, then the flow's end frees it.
    flow.host->Disconnect();
    EXPECT_TRUE(flow.PumpUntil([&] { return flow.host->Unload() == S_OK; }));
    flow.host = std::move(old);
}

TEST(AddInFlowTest, MarksAsNotSpamAndWhitelistsTheSender)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRef good = flow.AddApplianceMail(Outlook::Junk, L"Newsletter", "GOOD-1", "friend@example.org");
    CAddInFlow::Step("the user selects a message in Junk E-mail and clicks Mark as Not Spam on the ribbon");
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.NotSpam", {good}));
    std::vector<Json::Value> whitelists = flow.AwaitSeen("whitelist.cgi", 1);
    ASSERT_EQ(1u, whitelists.size());
    std::vector<Json::Value> marks = flow.AwaitSeen("mark.cgi", 1);
    ASSERT_EQ(1u, marks.size());
    CAddInFlow::Saw(marks[0]);
    CAddInFlow::Saw(whitelists[0]);
    EXPECT_EQ("N", CAddInFlow::QueryOf(marks[0], "Spam"));
    EXPECT_EQ("friend@example.org", whitelists[0]["form"]["Addresses"][0].asString());
    EXPECT_TRUE(flow.PumpUntil([] {
        return Contains(QzlTest::ReadWholeFile(CDataFolderTurn::WhitelistPath()), "friend@example.org\r\n");
    }));
    auto& junk = flow.mailbox->Items(flow.mailbox->Folder(Outlook::Junk));
    EXPECT_NE(junk.end(), std::find(junk.begin(), junk.end(), good));
    CAddInFlow::Step("the message stays " + flow.WhereIs(good) + "; its sender is in the whitelist");

    CAddInFlow::Step("marked again: the sender is known, nothing more is whitelisted");
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.NotSpam", {good}));
    marks = flow.AwaitSeen("mark.cgi", 2);
    ASSERT_EQ(2u, marks.size());
    CAddInFlow::Saw(marks[1]);
    EXPECT_EQ(1u, flow.AwaitSeen("whitelist.cgi", 1).size());
}

// The appliance refuses every Digest answer: the add-in forgets its
// appliance and configures itself again from the Inbox, once for all the
// requests it refused.
TEST(AddInFlowTest, RepairsAfterEveryDigestAttemptWasRefused)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    std::vector<CFakeRef> spam;
    for (const char* id : {"REPAIR-1", "REPAIR-2", "REPAIR-3"})
        spam.push_back(flow.AddApplianceMail(Outlook::Inbox, L"Offer", id));
    flow.appliance.Switch("mark.cgi", "nonce=changing");
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CAddInFlow::SetSetting(L"SpamAction", 7);
    // A refusal by a server other than the configured appliance repairs nothing.
    CFakeRef other = flow.AddApplianceMail(Outlook::Inbox, L"Elsewhere", "OTHER-1", "sender@example.net", "localhost");
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", {other}));
    EXPECT_TRUE(flow.PumpUntil(
        [&] { return Contains(flow.Log(), "Authentication failed for request but URI does not match configured URI"); }));
    EXPECT_FALSE(Contains(flow.Log(), "Repairing NXO configuration..."));
    Quenzal::OutlookAddIn::CDispatchObject(other.Get()).Call(L"Delete");
    // This step's marks are those the appliance began to read from now on.
    const double begun = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    CAddInFlow::Step("the appliance refuses every answer to its challenge; the user marks three messages as spam");
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", spam));
    // Each mark is refused; one refused after the repair has dropped the URI
    // no longer names the configured appliance, and is logged as such.
    ASSERT_TRUE(flow.PumpUntil([&] { return QzlTest::CountOf(flow.Log(), "Authentication failed for request") == 4; }));
    EXPECT_TRUE(flow.AwaitSeen("mark.cgi", 0).empty());
    std::vector<Json::Value> probes = flow.AwaitSeen("addin_auth_request.cgi", 1);
    ASSERT_EQ(1u, probes.size());
    std::vector<Json::Value> refused;
    for (const Json::Value& mark : flow.appliance.Seen("mark.cgi"))
        if (mark["start"].asDouble() >= begun)
            refused.push_back(mark);
    for (size_t first = 0, next = 0; first < refused.size(); first = next) {
        while (next < refused.size() && refused[next]["target"] == refused[first]["target"])
            ++next;
        CAddInFlow::Saw(refused[first], next - first);
    }
    CAddInFlow::Saw(probes[0]);
    CAddInFlow::Step("the first mark was asked four times: sent, then answered three times, each answer refused with "
                     "a new challenge; the add-in then forgot its account, so the other two were refused at once, "
                     "repaired its configuration from the Inbox once and asked for a new probe");
    std::string log = flow.Log();
    EXPECT_EQ(1u, QzlTest::CountOf(log, "Authentication failed for request; restarting autoconfiguration"));
    EXPECT_EQ(1u, QzlTest::CountOf(log, "Repairing NXO configuration..."));
    EXPECT_EQ(StringW(flow.appliance.Uri()).GetAnsi(CP_UTF8), Setting(L"NxoUri"));
}

// A profile without Junk E-mail, an Outlook that gives no MAPI session, and
// Contacts that take only one event connection: the add-in logs on by itself
// and starts all the same, with nothing left connected to Contacts.
TEST(AddInFlowTest, StartsWithoutJunkFolderOrOutlooksSession)
{
    CAddInFlow flow;
    flow.mailbox->RemoveFolder(Outlook::Junk);
    auto* contacts = static_cast<CFakeObject*>(flow.mailbox->Folder(Outlook::Contacts)->Value(L"Items").pdispVal);
    CFakeConnectionPoint& contactEvents = contacts->Events(Outlook::ItemsEvents);
    contactEvents.adviseResult = CONNECT_E_ADVISELIMIT;
    contactEvents.acceptBeforeFailure = 1;
    flow.outlook.session->Value(L"MAPIOBJECT") = static_cast<IUnknown*>(nullptr);
    long logons = flow.provider->GetCallCount("MAPILogonEx");
    ASSERT_EQ(S_OK, flow.host->Connect());
    EXPECT_TRUE(flow.PumpUntil([&] { return Contains(flow.Log(), "Unable to autoconfigure NXO URI from inbox messages"); }));
    EXPECT_EQ(logons + 1, flow.provider->GetCallCount("MAPILogonEx"));
    std::string log = flow.Log();
    EXPECT_TRUE(Contains(log, "MAPI session not available from Outlook; calling MAPILogonEx"));
    EXPECT_TRUE(Contains(log, "Unable to initialize Junk E-mail event sink"));
    EXPECT_TRUE(Contains(log, "Caught exception at NxoOutlookAddIn.cpp, CNxoOutlookAddIn::InitializeFolderEventSinks"));
    EXPECT_EQ(0u, contactEvents.GetSinkCount());
    // A sink left there would outlive the add-in's module.
    contactEvents.Clear();
    EXPECT_FALSE(Contains(log, "Unable to initialize MAPI session"));

    // Enabled again without an Inbox, it refuses the connection.
    EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));
    flow.mailbox->RemoveFolder(Outlook::Inbox);
    EXPECT_EQ(E_FAIL, flow.host->Connect(ext_cm_AfterStartup));
    EXPECT_TRUE(Contains(flow.Log(), "Unable to initialize MAPI session; uninitializing add-in: "
                                     "Unable to retrieve Outlook system folder: 6"));
}

// Another program holding the log without sharing it, a folder at its path,
// a file at the data folder's: the add-in works without its log and opens it
// at the next start.
TEST(AddInFlowTest, StartsWithoutItsLogAndOpensItAtTheNextStart)
{
    const StringW folder = GetNxoDataDirectory().substr(0, GetNxoDataDirectory().size() - 1);
    const StringW log = folder + L"\\NxoOutlookAddIn.log";
    for (int blocker = 0; blocker < 3; ++blocker) {
        SCOPED_TRACE(blocker);
        CAddInFlow flow;
        flow.AddApplianceMail(Outlook::Inbox, L"Welcome", "DEBUG-4");
        Quenzal::Os::CHandle held;
        if (blocker == 0)
            held.Reset(::CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        else if (blocker == 1)
            EXPECT_TRUE(::CreateDirectoryW(log.c_str(), nullptr));
        else {
            EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
            Quenzal::Os::WriteFileContents(folder, "x", 1);
        }
        EXPECT_EQ(S_OK, flow.host->Connect());
        EXPECT_EQ(1u, flow.AwaitSeen("addin_auth_request.cgi", 1).size());
        held.Close();
        ::RemoveDirectoryW(log.c_str());
        ::DeleteFileW(folder.c_str());
        flow.Restart();
        EXPECT_TRUE(Contains(flow.Log(), "NXOOUTLOOKADDIN.DLL: "));
    }
}

// Outlook may start, end and free the add-in many times in one process; its
// own thread and the pool's run the add-in's code each time.
TEST(AddInFlowTest, StartedAndFreedManyTimesLeavesNoHandleBehind)
{
    // Outlook holds the dialog libraries the add-in imports; Wine's print
    // spooler, which they load, leaves a mutex of its own at each reload.
    const Quenzal::Os::CModule dialogs(::LoadLibraryW(L"comdlg32.dll"));
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    ASSERT_EQ(S_OK, flow.host->Connect());
    const CFakeRef mail = flow.AddApplianceMail(Outlook::Inbox, L"Mail", "ROUND");
    std::pair<DWORD, ULONG_PTR> before;
    for (int round = 0; round <= 50; ++round) {
        if (round == 1)
            before = QzlTest::ProcessLeftovers();
        ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.NotSpam", {mail}));
        flow.Restart();
    }
    const auto after = QzlTest::ProcessLeftovers();
    EXPECT_EQ(before.first, after.first);
    EXPECT_LE(after.second, before.second + 8);
}

// The user disables the add-in while the appliance is slow to answer: the
// requests are canceled and waited for, the module is freed once the pool
// threads have left its code, and the add-in enabled again in the same
// Outlook works.
TEST(AddInFlowTest, DisconnectsWhileRequestsAreUnderWay)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::SetSetting(L"SpamAction", 7);
    flow.appliance.Switch("mark.cgi", "delay=60");
    ASSERT_EQ(S_OK, flow.host->Connect());
    std::vector<CFakeRef> spam;
    for (const char* id : {"SLOW-1", "SLOW-2", "SLOW-3"})
        spam.push_back(flow.AddApplianceMail(Outlook::Inbox, L"Slow", id));
    // The shipped module reads no setting of the tests', not even one that
    // would keep its pool threads asleep for good.
    ::SetEnvironmentVariableW(L"QZL_TEST_PAUSE_AFTER_COMPLETION", L"4294967295");
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", spam));
    flow.PumpUntil([] { return false; }, 1);
    ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));
    EXPECT_LT(::GetTickCount64() - start, 15000u);
    ::SetEnvironmentVariableW(L"QZL_TEST_PAUSE_AFTER_COMPLETION", nullptr);
    EXPECT_TRUE(flow.PumpUntil([&] { return flow.host->Unload() == S_OK; }));
    EXPECT_TRUE(flow.AwaitSeen("mark.cgi", 0).empty());

    flow.appliance.Switch("", "clear=1");
    ASSERT_EQ(S_OK, flow.host->Connect(ext_cm_AfterStartup));
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", {spam[0]}));
    std::vector<Json::Value> marks = flow.AwaitSeen("mark.cgi", 1);
    ASSERT_EQ(1u, marks.size());
    EXPECT_EQ("SLOW-1", CAddInFlow::QueryOf(marks[0], "id"));
}

// Marks to servers named in mail whose names take seconds to fail: a
// disconnection that cancels them just as they begin holds Outlook no longer
// than one that finds them waiting.
TEST(AddInFlowTest, DisconnectionCancelsMarksAsTheyBeginToLookUpTheirServers)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::SetSetting(L"SpamAction", 7);
    ASSERT_EQ(S_OK, flow.host->Connect());
    CSlowLookups slow;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        std::vector<CFakeRef> spam;
        for (int i = 0; i < 10; ++i) {
            const std::string host = "slow3000-" + std::to_string(round) + "-" + std::to_string(i) + ".example";
            spam.push_back(flow.AddApplianceMail(Outlook::Inbox, L"Far", "FAR", "sender@example.net", host.c_str()));
        }
        ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", spam));
        flow.PumpUntil([] { return false; }, 0.2);
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));
        EXPECT_LT(::GetTickCount64() - start, 2000u);
        ASSERT_EQ(S_OK, flow.host->Connect(ext_cm_AfterStartup));
    }
}

// The user disables the add-in while the store still has a new-mail
// notification on its way, and Outlook frees the module once DllCanUnloadNow
// lets it: the module stays until the store has let the Inbox sink go.
TEST(AddInFlowTest, ModuleOutlivesTheStoresLastNotification)
{
    CAddInFlow flow;
    ASSERT_EQ(S_OK, flow.host->Connect());
    NOTIFICATION onItsWay = QzlTestMapi::TableNotification(TABLE_CHANGED);
    flow.provider->NotifyTableAfterUnadvise(flow.inbox, &onItsWay, 1);
    flow.host->DisconnectInNextMessage();
    ASSERT_TRUE(flow.PumpUntil([&] { return flow.host->GetAddIn() == nullptr; }));
    ASSERT_EQ(S_FALSE, flow.host->unloadAnswer) << "the store still holds the Inbox sink";
    flow.provider->WaitForNotifications();
    EXPECT_EQ(S_OK, flow.host->Unload());
}

// The user disables the add-in after a refusal has posted a repair, while the
// family's options page still holds the add-in: the repair never runs, Outlook
// no longer hands out the add-in, and the marshaler numbers of the connection
// serve again.
TEST(AddInFlowTest, DisconnectionLeavesNothingBehind)
{
    CAddInFlow flow;
    CNxoOutlookAddIn& addIn = flow.LinkAddIn();
    flow.turn.Configure(flow.appliance);
    flow.appliance.Switch("mark.cgi", "nonce=changing");
    CFakeRef spam = flow.AddApplianceMail(Outlook::Inbox, L"Offer", "LATE-1");
    Quenzal::OutlookAddIn::CAsyncMarshaler unused;
    const UINT lowest = Quenzal::OutlookAddIn::CAsyncMarshaler::RegisterCallback(nullptr);
    unused.UnregisterCallback(lowest);
    ASSERT_EQ(S_OK, flow.host->Connect());
    CAddInFlow::SetSetting(L"SpamAction", 7);
    addIn.MarkMessagesAsSpam({Quenzal::OutlookAddIn::CDispatchObject(spam.Get())});
    // Nothing is dispatched before the disconnection.
    for (int i = 0; i < 2000 && !Contains(flow.Log(), "restarting autoconfiguration"); ++i)
        ::Sleep(10);
    EXPECT_EQ(S_OK, flow.host->Disconnect(ext_dm_UserClosed));
    const _variant_t& object = flow.outlook.FindComAddIn(L"Quenzal.NxoOutlookAddIn")->Value(L"Object");
    EXPECT_TRUE(object.vt == VT_DISPATCH && object.pdispVal == nullptr);
    flow.PumpUntil([] { return false; }, 1);
    EXPECT_FALSE(Contains(flow.Log(), "Repairing NXO configuration..."));
    const UINT next = Quenzal::OutlookAddIn::CAsyncMarshaler::RegisterCallback(nullptr);
    unused.UnregisterCallback(next);
    EXPECT_EQ(lowest, next);
}

// The user disables the add-in from inside a message that the add-in's own
// scan dispatches, and Outlook frees the module once DllCanUnloadNow lets it:
// the scan, from the add-in's timer or from the repair after a refusal, holds
// the add-in, ends at its next step and configures nothing.
TEST(AddInFlowTest, ScansEndWhenDisconnectedFromTheirOwnPump)
{
    for (bool repair : {false, true}) {
        SCOPED_TRACE(repair);
        CAddInFlow flow;
        if (repair)
            flow.turn.Configure(flow.appliance);
        flow.appliance.Switch("mark.cgi", "nonce=changing");
        CFakeRef applianceMail = flow.AddApplianceMail(Outlook::Inbox, L"Offer", "PUMPED-1");
        applianceMail->Value(L"ReceivedTime").date -= 1;
        for (int i = 0; i < 5; ++i) {
            CFakeRef newer = flow.AddApplianceMail(Outlook::Inbox, L"No appliance", "NONE", "sender@example.net", "");
            _variant_t message = newer->Value(L"MAPIOBJECT");
            newer->Define(L"MAPIOBJECT", {[&flow, message](const Values&) {
                                              flow.host->DisconnectInNextMessage();
                                              return message;
                                          },
                                          nullptr, nullptr});
        }
        ASSERT_EQ(S_OK, flow.host->Connect());
        if (repair) {
            CAddInFlow::SetSetting(L"SpamAction", 7);
            ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", {applianceMail}));
        }
        ASSERT_TRUE(flow.PumpUntil([&] { return flow.host->GetAddIn() == nullptr; }));
        EXPECT_EQ(S_FALSE, flow.host->unloadAnswer);
        EXPECT_EQ(1u, QzlTest::CountOf(flow.Log(), "Unable to configure NXO URI from message: NXO URI is invalid"));
        EXPECT_EQ("", Setting(L"NxoUri"));
        EXPECT_EQ(S_OK, flow.host->Unload());
    }
}

// The commands as the user finds them in each Outlook window: on the ribbon,
// and on the command bars of an Outlook without the ribbon.
#include "AddInFlow.h"

#include "FakeCommandBars.h"
#include "FakeRibbon.h"
#include "Registry.h"
#include "RegistryValues.h"
#include "StringW.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <tuple>

using namespace NxoTest;
using namespace QzlFake;
using Quenzal::StringW;

namespace {

constexpr wchar_t ExplorerRibbon[] = L"Microsoft.Outlook.Explorer";
constexpr wchar_t ReadRibbon[] = L"Microsoft.Outlook.Mail.Read";
constexpr DISPID InspectorActivate = 0xF001;

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// What a callback of the control answers in the window.
_variant_t Answer(CFakeRibbonHost& ribbon, const wchar_t* ribbonId, const char* control, const char* callback,
                  IDispatch* window)
{
    _variant_t result;
    EXPECT_EQ(S_OK, ribbon.CallControl(ribbonId, control, callback, window, &result)) << control << " " << callback;
    return result;
}

std::string Expected(const char* file)
{
    return QzlTest::ReadWholeFile(StringW(L"nxo/data/ribbon/") + StringW::FromAnsi(file, CP_ACP));
}

} // namespace

// Outlook 2003: the explorer's bar carries Mark as Spam and Mark as Not Spam
// with their own bitmaps; a click marks the selected mail items only, and a
// read inspector's bar does the same for its message.
TEST(AddInFlowTest, MarksFromCommandBarsWithoutTheRibbon)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    flow.outlook.application->Value(L"Version") = L"11.0.8303";
    CFakeRef explorer = flow.outlook.explorerList.front();
    CFakeRef inbox = flow.mailbox->Folder(Outlook::Inbox);
    inbox->Property(L"DefaultItemType", 0L);
    explorer->Property(L"CurrentFolder", static_cast<IDispatch*>(inbox.Get()));
    auto bar = CFakeCommandBar::AddTo(*explorer);
    CAddInFlow::Scene("Another start of Outlook, now Outlook 2003 (no ribbon), with the add-in configured");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CAddInFlow::Step("the add-in's buttons are on the explorer's Standard bar");
    ASSERT_EQ(2u, bar->controls.size());
    CFakeRef spamButton = bar->controls[0];
    CFakeRef notSpamButton = bar->controls[1];
    EXPECT_EQ(L"Quenzal.TQ.Spam.", Text(spamButton->Value(L"Tag")).substr(0, 16));
    EXPECT_EQ(L"Classify message as Not Spam to the Quenzal Inbox Rampart", Text(notSpamButton->Value(L"TooltipText")));
    for (const CFakeRef& button : {spamButton, notSpamButton}) {
        EXPECT_EQ(VT_DISPATCH, button->Value(L"Picture").vt);
        EXPECT_EQ(VT_EMPTY, button->Value(L"FaceId").vt);
    }

    CFakeRef spam = flow.AddApplianceMail(Outlook::Inbox, L"Offer", "BAR-1");
    // A meeting request: no mail item.
    CFakeRef meeting = CFakeObject::Create();
    meeting->Property(L"Subject", L"Planning").Property(L"Class", 53L);
    flow.mailbox->Items(inbox).push_back(meeting);
    std::vector<CFakeRef> selected = {spam, meeting};
    explorer->Property(L"Selection", static_cast<IDispatch*>(MakeCollection(selected).Get()));
    CAddInFlow::Step("the user selects a message and a meeting request and clicks Mark as Spam");
    CFakeCommandBar::Click(spamButton);
    std::vector<Json::Value> marks = flow.AwaitSeen("mark.cgi", 1);
    ASSERT_EQ(1u, marks.size());
    CAddInFlow::Saw(marks[0]);
    EXPECT_EQ("BAR-1", CAddInFlow::QueryOf(marks[0], "id"));
    EXPECT_EQ("Y", CAddInFlow::QueryOf(marks[0], "Spam"));
    flow.PumpUntil([&] { return flow.mailbox->PendingEventCount() == 0; });
    auto& trash = flow.mailbox->Items(flow.mailbox->Folder(Outlook::DeletedItems));
    EXPECT_NE(trash.end(), std::find(trash.begin(), trash.end(), spam));
    EXPECT_EQ(inbox, flow.mailbox->FolderHolding(meeting));
    CAddInFlow::Step("the message is now " + flow.WhereIs(spam) + "; the meeting request, not marked, stays " +
                     flow.WhereIs(meeting));

    CFakeRef good = flow.AddApplianceMail(Outlook::Inbox, L"Hello", "BAR-2", "friend@example.org");
    good->Value(L"Sent") = true;
    CFakeRef inspector = flow.outlook.FireNewInspector(good.Get());
    auto inspectorBar = CFakeCommandBar::AddTo(*inspector);
    inspector->Events(Outlook::InspectorEvents10).Fire(InspectorActivate);
    ASSERT_EQ(2u, inspectorBar->controls.size());
    CAddInFlow::Step("the user opens a message and clicks Mark as Not Spam on its window's bar");
    CFakeCommandBar::Click(inspectorBar->controls[1]);
    marks = flow.AwaitSeen("mark.cgi", 2);
    ASSERT_EQ(2u, marks.size());
    CAddInFlow::Saw(marks[1]);
    EXPECT_EQ("BAR-2", CAddInFlow::QueryOf(marks[1], "id"));
    EXPECT_EQ("N", CAddInFlow::QueryOf(marks[1], "Spam"));
    std::vector<Json::Value> whitelists = flow.AwaitSeen("whitelist.cgi", 1);
    ASSERT_EQ(1u, whitelists.size());
    CAddInFlow::Saw(whitelists[0]);
    EXPECT_EQ("friend@example.org", whitelists[0]["form"]["Addresses"][0].asString());
    CAddInFlow::Step("the message stays " + flow.WhereIs(good) + "; its sender is whitelisted");
}

// Outlook 2016: each window kind's document, and what the buttons say, show
// and do in an explorer, a read window, a compose window and an inline response.
// The explorer's document is the same when Outlook asks for it as the window
// opens at start-up, before MAPI logon, as when it asks later.
TEST(AddInFlowTest, RibbonButtonsOfEachWindowKind)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::SetSetting(L"KvdEnabled", 1);
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRibbonHost* atStartup = flow.host->GetRibbon();
    ASSERT_NE(nullptr, atStartup);
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    const std::tuple<CFakeRibbonHost*, const wchar_t*, const char*> documents[] = {
        {atStartup, ExplorerRibbon, "explorer-16.xml"}, {&ribbon, ExplorerRibbon, "explorer-16.xml"},
        {&ribbon, ComposeRibbon, "compose-16.xml"}, {&ribbon, ReadRibbon, "read-16.xml"}};
    for (const auto& [asker, ribbonId, file] : documents) {
        if (asker == &ribbon) {
            ASSERT_EQ(S_OK, ribbon.Load(ribbonId));
        }
        // The backstage is the framework's, and its ids are made anew each time.
        std::string xml =
            std::regex_replace(asker->GetXml(ribbonId), std::regex("\t<backstage>[\\s\\S]*</backstage>\r\n"), "");
        // Registered (as in the demonstration), the add-in counts itself a member new
        // enough for the family's vertical box.
        std::string expected = Expected(file);
        CLSID registered{};
        if (SUCCEEDED(::CLSIDFromProgID(L"Quenzal.NxoOutlookAddIn", &registered)))
            expected = std::regex_replace(expected, std::regex("<box idQ"), "<box boxStyle=\"vertical\" idQ");
        EXPECT_EQ(expected, xml) << file;
    }

    CFakeRef explorer = flow.outlook.explorerList.front();
    CFakeRef received = flow.AddApplianceMail(Outlook::Inbox, L"Report", "RIBBON-1");
    CFakeRef reader = flow.outlook.FireNewInspector(received.Get());
    EXPECT_EQ(L"Mark as Spam", Text(Answer(*atStartup, ExplorerRibbon, "Quenzal.TQ.Spam", "getLabel", explorer.Get())));
    EXPECT_EQ(L"Classify message as Spam to the Quenzal Inbox Rampart",
              Text(Answer(ribbon, ExplorerRibbon, "Quenzal.TQ.Spam", "getSupertip", explorer.Get())));
    EXPECT_EQ(L"Mark as Not Spam", Text(Answer(ribbon, ReadRibbon, "Quenzal.TQ.NotSpam", "getLabel", reader.Get())));
    EXPECT_EQ(VT_DISPATCH, Answer(ribbon, ReadRibbon, "Quenzal.TQ.NotSpam", "getImage", reader.Get()).vt);
    EXPECT_TRUE(static_cast<bool>(Answer(ribbon, ReadRibbon, "Quenzal.TQ.Spam", "getVisible", reader.Get())));

    // A new compose window has its toggle read afresh.
    long invalidations = ribbon.ribbonUi->CallCount(L"InvalidateControl");
    CFakeRef draft = flow.AddDraft(L"Plans", L"Red");
    CFakeRef composer = flow.outlook.FireNewInspector(draft.Get());
    EXPECT_EQ(invalidations + 1, ribbon.ribbonUi->CallCount(L"InvalidateControl"));
    EXPECT_EQ(L"Encrypt Message", Text(Answer(ribbon, ComposeRibbon, "Quenzal.TQ.Encrypt", "getLabel", composer.Get())));
    EXPECT_EQ(L"Add link to large file",
              Text(Answer(ribbon, ComposeRibbon, "Quenzal.TQ.AttachLink", "getSupertip", composer.Get())));
    EXPECT_FALSE(static_cast<bool>(Answer(ribbon, ComposeRibbon, "Quenzal.TQ.Encrypt", "getPressed", composer.Get())));
    draft->Value(L"Categories") = L"Red,  Quenzal.NxoOutlookAddIn.EncryptMessage ";
    EXPECT_TRUE(static_cast<bool>(Answer(ribbon, ComposeRibbon, "Quenzal.TQ.Encrypt", "getPressed", composer.Get())));
    draft->Value(L"Categories") = L"quenzal.nxooutlookaddin.encryptmessage";
    EXPECT_FALSE(static_cast<bool>(Answer(ribbon, ComposeRibbon, "Quenzal.TQ.Encrypt", "getPressed", composer.Get())));

    // The inline response composes inside the explorer; without one, Attach
    // Large File does nothing at all.
    EXPECT_FALSE(static_cast<bool>(Answer(ribbon, ExplorerRibbon, "Quenzal.TQ.Encrypt", "getPressed", explorer.Get())));
    EXPECT_EQ(VT_EMPTY, Answer(ribbon, ExplorerRibbon, "Quenzal.TQ.AttachLink", "onAction", explorer.Get()).vt);
    explorer->Property(L"ActiveInlineResponse", static_cast<IDispatch*>(draft.Get()));
    draft->Value(L"Categories") = L"Quenzal.NxoOutlookAddIn.EncryptMessage";
    EXPECT_TRUE(static_cast<bool>(Answer(ribbon, ExplorerRibbon, "Quenzal.TQ.Encrypt", "getPressed", explorer.Get())));
    EXPECT_TRUE(flow.AwaitSeen("get_info.cgi", 0).empty());
}

// Policies hide buttons for everyone: a compose window without encryption
// and without large files has an empty group and says nothing of it; the
// warnings of hidden buttons are written once.
TEST(AddInFlowTest, PoliciesHideTheButtons)
{
    QzlTest::CNamedTestLock policyLock{L"Local\\QuenzalTest.PolicyKeys"};
    const wchar_t* policyPath = L"Software\\Policies\\Quenzal\\Inbox Rampart\\Outlook Add-In";
    QzlTest::CRegistryPathCleanup policy{HKEY_CURRENT_USER, policyPath};
    Quenzal::Os::SetRegistryDword(Quenzal::Os::CreateSubkey(HKEY_CURRENT_USER, policyPath).Get(),
                                  L"HideEncryptionButtons", 1);
    CAddInFlow flow;
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
    EXPECT_EQ(nullptr, ribbon.FindControl(ComposeRibbon, "Quenzal.TQ.Encrypt"));
    EXPECT_EQ(nullptr, ribbon.FindControl(ComposeRibbon, "Quenzal.TQ.AttachLink"));
    EXPECT_FALSE(Contains(flow.Log(), "has been hidden"));

    CAddInFlow::SetSetting(L"KvdEnabled", 1);
    Quenzal::Os::SetRegistryDword(Quenzal::Os::CreateSubkey(HKEY_CURRENT_USER, policyPath).Get(),
                                  L"HideClassificationButtons", 1);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
        ASSERT_EQ(S_OK, ribbon.Load(ReadRibbon));
    }
    EXPECT_EQ(nullptr, ribbon.FindControl(ComposeRibbon, "Quenzal.TQ.Encrypt"));
    EXPECT_NE(nullptr, ribbon.FindControl(ComposeRibbon, "Quenzal.TQ.AttachLink"));
    EXPECT_EQ(nullptr, ribbon.FindControl(ReadRibbon, "Quenzal.TQ.Spam"));
    std::string log = flow.Log();
    EXPECT_FALSE(Contains(log, "Encryption button has been hidden"));
    EXPECT_FALSE(Contains(log, "Classification buttons have been hidden"));
}

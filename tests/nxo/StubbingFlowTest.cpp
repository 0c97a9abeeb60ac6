// A large file sent as a link: chosen through "Attach Large File" on the
// compose window's ribbon, uploaded to the appliance when the message is sent
// and replaced by the appliance's description; and the sends that cannot
// stub their links, which leave the draft as it was.
#include "AddInFlow.h"

#include "DialogUser.h"
#include "FakeAttachments.h"
#include "FakeRibbon.h"
#include "Localization.h"
#include "StringW.h"
#include "Util.h"

#include <gtest/gtest.h>

#include <thread>

using namespace NxoTest;
using namespace QzlFake;
using namespace Quenzal;

namespace {

constexpr size_t MiB = 1024 * 1024;
constexpr wchar_t Caption[] = L"Quenzal Inbox Rampart";

// The user opens the draft, clicks Attach Large File on its ribbon and
// chooses the file in the open-file dialog.
void AttachLargeFile(CAddInFlow& flow, const CFakeRef& draft, const StringW& path)
{
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
    CFakeRef composer = flow.outlook.FireNewInspector(draft.Get());
    CDialogUser user([&path] {
        HWND dialog = CDialogUser::WaitForDialog(L"Select File(s) to Attach", IDOK);
        if (dialog == nullptr)
            return;
        CDialogUser::SaveScreenshot(dialog, L"attach-large-file.png");
        // The name box is a combo box in some dialog versions and an edit field in others.
        ::SetDlgItemTextW(dialog, cmb13, path.c_str());
        ::SetDlgItemTextW(dialog, edt1, path.c_str());
        CDialogUser::Click(dialog, IDOK);
    });
    EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.AttachLink", "onAction", composer.Get()));
}

// Shows the requests the appliance saw after the first shown ones (the
// challenges, which the add-in answers, left out), once one more came when
// one is awaited (a refused one is recorded just after its answer); answers
// how many it saw.
size_t ShowSeen(CAddInFlow& flow, size_t shown, bool awaited)
{
    std::vector<Json::Value> seen;
    flow.PumpUntil([&] {
        seen = flow.appliance.Seen("");
        return !awaited || seen.size() > shown;
    }, 30);
    for (size_t i = shown; i < seen.size(); ++i)
        if (seen[i]["status"].asInt() != 401)
            CAddInFlow::Saw(seen[i]);
    return seen.size();
}

void StartLinking(CAddInFlow& flow)
{
    flow.turn.Configure(flow.appliance);
    CAddInFlow::SetSetting(L"KvdEnabled", 1);
    ASSERT_EQ(S_OK, flow.host->Connect());
}

// False until the add-in performs the request of the script; then true
// once the pool thread has completed it, waited for without dispatching
// anything, so that the add-in's own wait has not yet seen the completion.
bool AwaitCompletedOnceAsked(const CAddInFlow& flow, const std::string& script)
{
    const std::string log = flow.Log();
    const size_t asked = log.find("/" + script);
    if (asked == std::string::npos)
        return false;
    const size_t open = log.rfind('(', asked);
    const std::string completed = log.substr(open, log.find(')', open) + 1 - open) + " Completed thread pool work";
    for (int i = 0; i < 2000 && flow.Log().find(completed, asked) == std::string::npos; ++i)
        ::Sleep(10);
    return true;
}

} // namespace

TEST(AddInFlowTest, SendsALargeFileAsALink)
{
    CAddInFlow flow;
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured");
    StartLinking(flow);
    CLinkedFile file(L"survey.bin", 20 * MiB);
    CFakeRef draft = flow.AddDraft(L"Site survey");
    draft->Property(L"SenderEmailType", L"SMTP").Property(L"SenderEmailAddress", L"user@example.com");
    CFakeAttachments attachments(*draft, {L"colleague@example.net"});
    CAddInFlow::Step("the user clicks Attach Large File on a draft's ribbon and chooses survey.bin (20 MiB)");
    AttachLargeFile(flow, draft, file.path);
    const auto limits = flow.AwaitSeen("get_info.cgi", 1);
    ASSERT_EQ(1u, limits.size());
    CAddInFlow::Saw(limits[0]);
    ASSERT_EQ(1u, attachments.List().size());
    EXPECT_EQ(L"survey.bin.qenz", attachments.List()[0].first);
    CAddInFlow::Step("the draft carries the link survey.bin.qenz, not the file");

    CAddInFlow::Step("the user sends the message");
    EXPECT_FALSE(flow.outlook.FireItemSend(draft.Get()));
    const auto uploads = flow.AwaitSeen("stub_attachment.cgi", 1);
    const auto preambles = flow.AwaitSeen("stub_preamble.cgi", 1);
    ASSERT_EQ(1u, uploads.size());
    ASSERT_EQ(1u, preambles.size());
    CAddInFlow::Saw(uploads[0]);
    CAddInFlow::Saw(preambles[0]);
    const Json::Value parts = uploads[0]["parts"];
    ASSERT_EQ(4u, parts.size());
    const std::wstring stubId = flow.HeaderOf(draft, L"X-Quenzal-PluginStubId");
    EXPECT_EQ(38u, stubId.size());
    EXPECT_EQ(StringW(stubId).ToAnsi(), parts[0]["data"].asString());
    EXPECT_EQ("user@example.com colleague@example.net", parts[1]["data"].asString() + " " + parts[2]["data"].asString());
    EXPECT_EQ("survey.bin", parts[3]["filename"].asString());
    EXPECT_EQ(BytesToHex(CalculateMd5(file.bytes.data(), file.bytes.size())), parts[3]["md5"].asString());
    EXPECT_NE(std::string::npos, preambles[0]["body"].asString().find("<size>20971520</size>"));

    const std::wstring body = draft->Value(L"HTMLBody").bstrVal;
    EXPECT_EQ(_variant_t(2L), draft->Value(L"BodyFormat"));
    EXPECT_NE(std::wstring::npos, body.find(L"survey.bin</a>")) << StringW(body).ToUtf8();
    ASSERT_EQ(1u, attachments.List().size());
    EXPECT_EQ(L"Linked Attachments.html", attachments.List()[0].first);
    CAddInFlow::Step("it leaves with X-Quenzal-PluginStubId: " + StringW(stubId).ToAnsi() +
                     ", the appliance's links in its HTML body and \"Linked Attachments.html\"");
}

// A reinstall deletes the settings key and writes the same values into a
// new one while Outlook runs: Encrypt and Attach Large File go on with it.
TEST(AddInFlowTest, EncryptsAndLinksAfterTheSettingsKeyIsReplaced)
{
    CAddInFlow flow;
    StartLinking(flow);
    ASSERT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In"));
    flow.turn.Configure(flow.appliance);
    CAddInFlow::SetSetting(L"KvdEnabled", 1);
    CAddInFlow::SetSetting(L"SuppressEncryptionWarning", 1);
    CFakeRef secret = flow.AddDraft(L"Salaries");
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
    CFakeRef composer = flow.outlook.FireNewInspector(secret.Get());
    EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "onAction", composer.Get()));
    ASSERT_EQ(L"Quenzal.NxoOutlookAddIn.EncryptMessage", Text(secret->Value(L"Categories")));

    CLinkedFile file(L"plan.bin", MiB);
    CFakeRef draft = flow.AddDraft(L"Plan");
    CFakeAttachments attachments(*draft, {L"colleague@example.net"});
    AttachLargeFile(flow, draft, file.path);
    ASSERT_EQ(1u, attachments.List().size());
    EXPECT_EQ(L"plan.bin.qenz", attachments.List()[0].first);
}

// Each send is cancelled (Outlook keeps the draft) with its link, body and
// encryption request as they were and nothing stubbed; the user's own Cancel needs no message, the
// others say why.
TEST(AddInFlowTest, CancelledUploadLeavesTheDraftUnsent)
{
    CAddInFlow flow;
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured");
    StartLinking(flow);
    CLinkedFile file(L"figures.bin", 20 * MiB);
    CFakeRef draft = flow.AddDraft(L"Figures");
    CFakeAttachments attachments(*draft, {L"colleague@example.net"});
    CAddInFlow::Step("the user links figures.bin (20 MiB) to a draft through Attach Large File");
    AttachLargeFile(flow, draft, file.path);
    const auto linked = attachments.List();
    ASSERT_EQ(1u, linked.size());
    const std::wstring flagged = L"Red,Quenzal.NxoOutlookAddIn.EncryptMessage";
    draft->Property(L"Categories", flagged.c_str());
    const auto keptAsItWas = [&] {
        EXPECT_EQ(linked, attachments.List());
        EXPECT_EQ(std::wstring(L"<p>body</p>"), draft->Value(L"HTMLBody").bstrVal);
        EXPECT_EQ(L"", flow.HeaderOf(draft, L"X-Quenzal-PluginStubId"));
        EXPECT_EQ(L"", flow.HeaderOf(draft, L"X-Quenzal-PluginEncrypt"));
        EXPECT_EQ(flagged, Text(draft->Value(L"Categories")));
    };

    CAddInFlow::Step("another add-in cancels the send before this one sees it");
    EXPECT_TRUE(flow.outlook.FireItemSend(draft.Get(), true));
    keptAsItWas();
    EXPECT_TRUE(flow.appliance.Seen("stub_attachment.cgi").empty());
    CAddInFlow::Step("the send stays cancelled: nothing uploaded, the draft as it was");

    CAddInFlow::Step("the user sends it and presses Cancel in the upload's progress dialog");
    size_t seen = flow.appliance.Seen("").size();
    // Held unanswered, the upload is seen at once and waits for the Cancel.
    flow.appliance.Switch("stub_attachment.cgi", "silent=1");
    {
        CDialogUser user([] {
            HWND progress = CDialogUser::WaitForDialog(Caption, IDCANCEL);
            CDialogUser::SaveScreenshot(progress, L"upload-progress.png");
            CDialogUser::Click(progress, IDCANCEL);
        });
        EXPECT_TRUE(flow.outlook.FireItemSend(draft.Get()));
    }
    keptAsItWas();
    EXPECT_NE(std::string::npos, flow.Log().find("Request canceled"));
    seen = ShowSeen(flow, seen, true);
    CAddInFlow::Step("the send is cancelled: the draft stays, its link and body as they were, nothing stubbed");

    struct Refusal {
        const char* story;
        const char* switches;
        bool fileGone;
        StringW told;
    };
    const Refusal refusals[] = {
        {"the appliance refuses the upload", "script=stub_attachment.cgi&status=500", false, GetLocalizedMessage(318)},
        {"the appliance takes the request and drops the connection without an answer", "reset=1", false, GetLocalizedMessage(319)},
        {"figures.bin was deleted before the send", "", true, GetLocalizedMessage(323) + L": " + file.path},
    };
    for (const Refusal& refusal : refusals) {
        flow.appliance.Switch("", "clear=1" + (*refusal.switches ? std::string("&") + refusal.switches : ""));
        if (refusal.fileGone)
            ::DeleteFileW(file.path.c_str());
        std::wstring told;
        {
            CDialogUser user([&told] {
                HWND box = CDialogUser::WaitForMessageBox(Caption);
                told = CDialogUser::ItemText(box, CDialogUser::MessageBoxText);
                CDialogUser::Click(box, IDOK);
            });
            EXPECT_TRUE(flow.outlook.FireItemSend(draft.Get())) << refusal.story;
        }
        EXPECT_EQ(refusal.told, told) << refusal.story;
        keptAsItWas();
        CAddInFlow::Step(std::string("when ") + refusal.story + ", the send is cancelled and the user reads \"" +
                         StringW(told).ToUtf8() + "\"");
        seen = ShowSeen(flow, seen, true);
    }
}

// Outlook disables the add-in just as the appliance's answer to the last
// request of a send comes in: the draft stays as it was, and unsent.
TEST(AddInFlowTest, DisconnectionAsTheUploadEndsLeavesTheDraft)
{
    CAddInFlow flow;
    StartLinking(flow);
    CLinkedFile file(L"plans.bin", MiB);
    CFakeRef draft = flow.AddDraft(L"Plans");
    CFakeAttachments attachments(*draft, {L"colleague@example.net"});
    AttachLargeFile(flow, draft, file.path);
    const auto linked = attachments.List();
    ASSERT_EQ(1u, linked.size());
    flow.appliance.Switch("stub_preamble.cgi", "delay=1");
    flow.host->DisconnectInNextMessage(false, [&flow] { return AwaitCompletedOnceAsked(flow, "stub_preamble.cgi"); });
    EXPECT_TRUE(flow.outlook.FireItemSend(draft.Get()));
    EXPECT_EQ(1u, flow.appliance.Seen("stub_preamble.cgi").size());
    EXPECT_EQ(linked, attachments.List());
    EXPECT_EQ(L"", flow.HeaderOf(draft, L"X-Quenzal-PluginStubId"));
}

// A link file that came in a mail names what its sender chose; here one
// forwarded with the user's draft names a key file of the user's, under the
// seal of the user's own link. The send is refused before any upload; the
// user's own link, made before Outlook restarted, still goes.
TEST(AddInFlowTest, LinkFromAMailIsNeverUploaded)
{
    CAddInFlow flow;
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured");
    StartLinking(flow);
    CLinkedFile file(L"plan.pdf", 1000);
    CLinkedFile key(L"id_key.txt", 100);
    CFakeRef draft = flow.AddDraft(L"Fwd: holiday");
    CFakeAttachments attachments(*draft, {L"colleague@example.net"});
    CAddInFlow::Step("the user links plan.pdf to a draft, saves it and restarts Outlook");
    AttachLargeFile(flow, draft, file.path);
    ASSERT_EQ(1u, attachments.List().size());
    size_t seen = ShowSeen(flow, 0, false);
    flow.Restart();
    std::string forged = attachments.List()[0].second;
    const std::string own = StringW(file.path).ToUtf8();
    forged.replace(forged.find(own), own.size(), StringW(key.path).ToUtf8());
    attachments.Add(L"holiday.jpg.qenz", forged);
    CAddInFlow::Step("the draft also forwards holiday.jpg.qenz from a mail, naming the user's key file");

    wchar_t shown[512] = {};
    std::jthread user = AnswerMessageBox(shown);
    EXPECT_TRUE(flow.outlook.FireItemSend(draft.Get()));
    user.join();
    EXPECT_EQ(GetLocalizedMessage(178) + L": " + key.path, StringW(shown));
    EXPECT_TRUE(flow.appliance.Seen("stub_attachment.cgi").empty());
    CAddInFlow::Step("the send is refused before any upload: \"" + StringW(shown).ToUtf8() + "\"");
    seen = ShowSeen(flow, seen, false);

    CAddInFlow::Step("the user takes the forwarded link off and sends again: plan.pdf goes");
    Quenzal::OutlookAddIn::CDispatchObject(draft.Get()).GetDispatch(L"Attachments").GetDispatch(L"Item", {2L}).Call(
        L"Delete");
    EXPECT_FALSE(flow.outlook.FireItemSend(draft.Get()));
    const auto uploads = flow.AwaitSeen("stub_attachment.cgi", 1);
    ASSERT_EQ(1u, uploads.size());
    ShowSeen(flow, seen, false);
    const Json::Value parts = uploads[0]["parts"];
    EXPECT_EQ("plan.pdf", parts[parts.size() - 1]["filename"].asString());
}

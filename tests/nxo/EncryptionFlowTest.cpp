// A message flagged for encryption: the warning the user answers, the button
// that shows the message's real flag, and the header the message leaves with.
#include "AddInFlow.h"
#include "DialogUser.h"

#include "FakeCommandBars.h"
#include "FakeRibbon.h"
#include "Localization.h"
#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "StringW.h"

#include <gtest/gtest.h>

#include <thread>

using namespace NxoTest;
using namespace QzlFake;
using Quenzal::StringW;

namespace {

constexpr wchar_t Category[] = L"Quenzal.NxoOutlookAddIn.EncryptMessage";
constexpr int WarningText = 1000;
constexpr int DontAskAgain = 236;

// Plays the user at the add-in's next window: once it shows, reads the text
// of the control, sets the warning's check box as told and presses the button.
class CUser {
public:
    CUser(int textControl, int button, bool dontAskAgain = false)
        : m_thread([this, textControl, button, dontAskAgain] {
              for (int i = 0; i < 1200; ++i, ::Sleep(25)) {
                  HWND dialog = CDialogUser::FindDialog(L"Quenzal Inbox Rampart", textControl);
                  if (dialog == nullptr || !::IsWindowVisible(dialog))
                      continue;
                  wchar_t text[1024] = {};
                  ::GetDlgItemTextW(dialog, textControl, text, 1024);
                  shown = text;
                  wasChecked = ::IsDlgButtonChecked(dialog, DontAskAgain) == BST_CHECKED;
                  ::CheckDlgButton(dialog, DontAskAgain, dontAskAgain ? BST_CHECKED : BST_UNCHECKED);
                  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
                  return;
              }
          })
    {
    }
    ~CUser() { Wait(); }
    void Wait()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    std::wstring shown;
    bool wasChecked = false;

private:
    std::thread m_thread;
};

} // namespace

// The user declines the warning: the message stays unflagged and the toggle
// is told to show so. Accepted, the category is added; the message leaves
// with the header and without the category.
TEST(AddInFlowTest, EncryptsAfterTheWarningAndSendsTheHeader)
{
    CAddInFlow flow;
    CAddInFlow::Scene("Another start of Outlook; the user writes a message in a compose window");
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
    CFakeRef draft = flow.AddDraft(L"Salaries", L"Red, Blue");
    CFakeRef composer = flow.outlook.FireNewInspector(draft.Get());
    long invalidations = ribbon.ribbonUi->CallCount(L"InvalidateControl");
    {
        CAddInFlow::Step("the user clicks Encrypt Message and cancels the warning");
        CUser user(WarningText, IDCANCEL);
        EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "onAction", composer.Get()));
        user.Wait();
        EXPECT_EQ(Quenzal::GetLocalizedMessage(260), StringW(user.shown));
        EXPECT_TRUE(user.wasChecked);
    }
    EXPECT_EQ(L"Red, Blue", Text(draft->Value(L"Categories")));
    EXPECT_EQ(invalidations + 1, ribbon.ribbonUi->CallCount(L"InvalidateControl"));
    _variant_t pressed;
    EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "getPressed", composer.Get(), &pressed));
    EXPECT_FALSE(static_cast<bool>(pressed));
    EXPECT_NE(std::string::npos, flow.Log().find("User canceled message encryption"));
    {
        CAddInFlow::Step("clicked again, the user confirms the warning and asks to see it again");
        CUser user(WarningText, IDOK);
        EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "onAction", composer.Get()));
    }
    EXPECT_EQ(std::wstring(L"Red, Blue,") + Category, Text(draft->Value(L"Categories")));
    DWORD suppressed = 0;
    DWORD size = sizeof(suppressed);
    EXPECT_NE(ERROR_SUCCESS, ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In",
                                            L"SuppressEncryptionWarning", RRF_RT_REG_DWORD, nullptr, &suppressed, &size));
    EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "getPressed", composer.Get(), &pressed));
    EXPECT_TRUE(static_cast<bool>(pressed));

    CAddInFlow::Step("the user sends the message");
    EXPECT_FALSE(flow.outlook.FireItemSend(draft.Get()));
    EXPECT_EQ(L"1", flow.HeaderOf(draft, L"X-Quenzal-PluginEncrypt"));
    EXPECT_EQ(L"Red, Blue", Text(draft->Value(L"Categories")));
    CAddInFlow::Step("it leaves with X-Quenzal-PluginEncrypt: 1 and without the category");

    // Another kind of item is none of the add-in's business.
    CFakeRef meeting = CFakeObject::Create();
    EXPECT_FALSE(flow.outlook.FireItemSend(meeting.Get()));
}

// Outlook delimits categories with the user's list separator: the flag is an
// entry of its own under ";" too, and the message leaves without it.
TEST(AddInFlowTest, EncryptionFlagFollowsTheUsersListSeparator)
{
    const wchar_t* const international = L"Control Panel\\International";
    QzlTest::CRegistryValueRestore restore(HKEY_CURRENT_USER, international, L"sList");
    CAddInFlow flow;
    CAddInFlow::SetSetting(L"SuppressEncryptionWarning", 1);
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
    for (const auto& [separator, categories] :
         {std::pair(L";", L"Rot;Blau"), {L";", L"Rot,Gelb;Blau"}, {L",", L"Red, Blue"}}) {
        Quenzal::Os::SetRegistryString(Quenzal::Os::CreateSubkey(HKEY_CURRENT_USER, international).Get(), L"sList",
                                       separator);
        CFakeRef draft = flow.AddDraft(L"Salaries", categories);
        CFakeRef composer = flow.outlook.FireNewInspector(draft.Get());
        EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "onAction", composer.Get()));
        EXPECT_EQ(std::wstring(categories) + separator + Category, Text(draft->Value(L"Categories")));
        EXPECT_FALSE(flow.outlook.FireItemSend(draft.Get()));
        EXPECT_EQ(L"1", flow.HeaderOf(draft, L"X-Quenzal-PluginEncrypt"));
        EXPECT_EQ(categories, Text(draft->Value(L"Categories")));
    }
}

// The user disables the add-in while the warning is shown, then accepts it
// and asks not to be warned again: the add-in, held by its command, flags
// nothing and stores nothing, and the module stays.
TEST(AddInFlowTest, WarningAcceptedAfterDisconnectionFlagsNothing)
{
    CAddInFlow flow;
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRibbonHost ribbon(flow.host->GetAddIn());
    ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
    CFakeRef draft = flow.AddDraft(L"Salaries");
    CFakeRef composer = flow.outlook.FireNewInspector(draft.Get());
    flow.host->DisconnectInNextMessage();
    CUser user(WarningText, IDOK, true);
    EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "onAction", composer.Get()));
    user.Wait();
    EXPECT_EQ(nullptr, flow.host->GetAddIn());
    EXPECT_EQ(S_FALSE, flow.host->unloadAnswer);
    EXPECT_EQ(L"", Text(draft->Value(L"Categories")));
    EXPECT_NE(ERROR_SUCCESS, ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In",
                                            L"SuppressEncryptionWarning", RRF_RT_REG_DWORD, nullptr, nullptr, nullptr));
}

// The store refuses the header: the user is told, the send stays cancelled
// and the request stays on the message.
TEST(AddInFlowTest, SendStaysCancelledWhenTheHeaderFails)
{
    CAddInFlow flow;
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRef draft = flow.AddDraft(L"Secret", Category);
    flow.provider->SetResult("IMAPIProp::SetProps", E_ACCESSDENIED);
    CUser user(CDialogUser::MessageBoxText, IDOK);
    EXPECT_TRUE(flow.outlook.FireItemSend(draft.Get()));
    user.Wait();
    flow.provider->SetResult("IMAPIProp::SetProps", S_OK);
    EXPECT_EQ(0u, user.shown.find(Quenzal::GetLocalizedMessage(372) + L"\r\n\r\n" + Quenzal::GetLocalizedMessage(245)));
    EXPECT_EQ(Category, Text(draft->Value(L"Categories")));
    EXPECT_EQ(L"", flow.HeaderOf(draft, L"X-Quenzal-PluginEncrypt"));
}

// Outlook refuses the category: the click on Encrypt tells the user so, as
// the add-in's other errors do.
TEST(AddInFlowTest, EncryptThatFailsTellsTheUser)
{
    CAddInFlow flow;
    CAddInFlow::SetSetting(L"SuppressEncryptionWarning", 1);
    flow.outlook.application->Value(L"Version") = L"11.0.8303";
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRef draft = flow.AddDraft(L"Salaries");
    draft->Define(L"Categories", {[](const Values&) { return _variant_t(L""); },
                                  [](const _variant_t&) { throw E_ACCESSDENIED; }, nullptr});
    CFakeRef composer = flow.outlook.FireNewInspector(draft.Get());
    auto bar = CFakeCommandBar::AddTo(*composer);
    composer->Events(Outlook::InspectorEvents10).Fire(0xF001);
    ASSERT_FALSE(bar->controls.empty());
    CUser user(CDialogUser::MessageBoxText, IDOK);
    CFakeCommandBar::Click(bar->controls[0]);
    user.Wait();
    EXPECT_EQ(Quenzal::GetLocalizedMessage(178), StringW(user.shown));
    EXPECT_EQ(0L, static_cast<long>(bar->controls[0]->Value(L"State")));
}

// Outlook 2003: the compose window's bar has Encrypt Message and Attach Large
// File; the encrypt button shows the message's flag in its caption and
// State, also after the user declined the warning.
TEST(AddInFlowTest, EncryptButtonOnTheCommandBarShowsTheFlag)
{
    CAddInFlow flow;
    flow.outlook.application->Value(L"Version") = L"11.0.8303";
    CAddInFlow::SetSetting(L"KvdEnabled", 1);
    ASSERT_EQ(S_OK, flow.host->Connect());
    CFakeRef draft = flow.AddDraft(L"Budget");
    CFakeRef composer = flow.outlook.FireNewInspector(draft.Get());
    auto bar = CFakeCommandBar::AddTo(*composer);
    composer->Events(Outlook::InspectorEvents10).Fire(0xF001);
    ASSERT_EQ(2u, bar->controls.size());
    CFakeRef encrypt = bar->controls[0];
    EXPECT_EQ(225L, static_cast<long>(encrypt->Value(L"FaceId")));
    EXPECT_EQ(1576L, static_cast<long>(bar->controls[1]->Value(L"FaceId")));
    EXPECT_EQ(L"Encrypt Message", Text(encrypt->Value(L"Caption")));
    EXPECT_EQ(0L, static_cast<long>(encrypt->Value(L"State")));
    {
        CUser user(WarningText, IDCANCEL);
        CFakeCommandBar::Click(encrypt);
    }
    EXPECT_EQ(0L, static_cast<long>(encrypt->Value(L"State")));
    EXPECT_EQ(L"", Text(draft->Value(L"Categories")));
    {
        CUser user(WarningText, IDOK, true);
        CFakeCommandBar::Click(encrypt);
    }
    EXPECT_EQ(-1L, static_cast<long>(encrypt->Value(L"State")));
    EXPECT_EQ(L"Don't Encrypt Message", Text(encrypt->Value(L"Caption")));
    EXPECT_EQ(L"Send the message unencrypted", Text(encrypt->Value(L"TooltipText")));
    EXPECT_EQ(Category, Text(draft->Value(L"Categories")));
    // Asked not to warn again: the flag goes off and on without a window.
    CFakeCommandBar::Click(encrypt);
    EXPECT_EQ(0L, static_cast<long>(encrypt->Value(L"State")));
    EXPECT_EQ(L"", Text(draft->Value(L"Categories")));
    CFakeCommandBar::Click(encrypt);
    EXPECT_EQ(-1L, static_cast<long>(encrypt->Value(L"State")));
}

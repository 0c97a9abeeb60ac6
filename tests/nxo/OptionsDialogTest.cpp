// The options dialog and the whitelist-scan dialog as a user meets them:
// Outlook's Configure call opens the dialog of the product DLL, and a user on
// another thread reads, changes and confirms it. In each language, every
// window of the add-in with texts is opened and its texts are measured.
#include "AddInFlow.h"
#include "DialogUser.h"
#include "FakeOptionsDialog.h"
#include "FakeRibbon.h"
#include "WindowDriver.h"

#include "Guid.h"
#include "Localization.h"
#include "MapiPointers.h"
#include "Modules.h"
#include "NxoResourceIds.h"
#include "OptionsDlgIds.h"
#include "OutlookAddIn.h"
#include "OutlookAddInResources.h"
#include "OutlookPropPage.h"
#include "Path.h"
#include "Registry.h"
#include "RegistryValues.h"
#include "ScanWhitelistDlg.h"
#include "StringW.h"

#include <gtest/gtest.h>

using namespace NxoTest;
using namespace QzlFake;
using Quenzal::StringW;

namespace {

const wchar_t Caption[] = L"Quenzal Inbox Rampart";
const wchar_t PolicyPath[] = L"Software\\Policies\\Quenzal\\Inbox Rampart\\Outlook Add-In";

DWORD SettingDword(const wchar_t* name, DWORD absent = 0xFFFFFFFF)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    return ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In", name,
                          RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS
               ? value
               : absent;
}

IOutlookAddIn* QueryOutlookAddIn(CAddInFlow& flow)
{
    IOutlookAddIn* addIn = nullptr;
    flow.host->GetAddIn()->QueryInterface(__uuidof(IOutlookAddIn), reinterpret_cast<void**>(&addIn));
    return addIn;
}

// Outlook's Configure call with a user at the options dialog it opens: the
// script gets the dialog once it shows. Answers Configure's result.
HRESULT ConfigureAsUser(CAddInFlow& flow, const std::function<void(HWND)>& script)
{
    IOutlookAddIn* addIn = QueryOutlookAddIn(flow);
    if (addIn == nullptr)
        return E_NOINTERFACE;
    HRESULT result = E_FAIL;
    {
        CDialogUser user([&] {
            HWND dialog = CDialogUser::WaitForDialog(Caption, IDC_NXO_URI);
            ASSERT_NE(nullptr, dialog);
            script(dialog);
        });
        result = addIn->Configure(nullptr);
    }
    addIn->Release();
    return result;
}

// Whose message box over the dialog says text; pressed away.
void ExpectMessage(HWND owner, const std::wstring& text)
{
    HWND box = CDialogUser::WaitForMessageBox(Caption, owner);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(text, CDialogUser::MessageText(box));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(CDialogUser::WaitUntilClosed(box));
}

} // namespace

// Every setting is shown from the registry, changed by the user and saved
// back; the folder picker's answer fills the list, Outlook's own Deleted
// Items selects its entry, and a canceled pick changes nothing.
TEST(OptionsDialogTest, ShowsChangesAndSavesEachSetting)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CFakeRef spamFolder = flow.mailbox->AddFolder(L"Spam");
    CFakeRef archive = flow.mailbox->AddFolder(L"Archive");
    CAddInFlow::SetSetting(L"NxoUriStatus", L"Connection refused");
    CAddInFlow::SetSetting(L"WhitelistOnSentMessage", 0);
    CAddInFlow::SetSetting(L"SpamAction", 2);
    CAddInFlow::SetSetting(L"MoveToFolderName", L"Spam");
    CAddInFlow::SetSetting(L"MoveToFolderEntryId", L"STORE-1");
    CAddInFlow::SetSetting(L"MoveToFolderStoreEntryId", StringW(static_cast<_bstr_t>(spamFolder->Value(L"EntryID")).GetBSTR()));
    CAddInFlow::SetSetting(L"SpamCount", 12);
    CAddInFlow::SetSetting(L"NotSpamCount", 3);
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured; the user opens its options");
    ASSERT_EQ(S_OK, flow.host->Connect());
    flow.mailbox->folderPicks = {flow.mailbox->Folder(Outlook::DeletedItems), CFakeRef(), archive};
    EXPECT_EQ(S_OK, ConfigureAsUser(flow, [&](HWND dialog) {
        EXPECT_EQ(flow.appliance.Uri(), CDialogUser::ItemText(dialog, IDC_NXO_URI));
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(dialog, IDC_NXO_URI_STATUS)));
        EXPECT_TRUE(CDialogUser::IsEnabled(dialog, IDC_NXO_IMPORT_WHITELIST));
        EXPECT_EQ(L"URI of your Quenzal Inbox Rampart:", CDialogUser::Text(::GetWindow(::GetDlgItem(dialog, IDC_NXO_URI), GW_HWNDPREV)));
        EXPECT_EQ(L"Import Whitelist...", CDialogUser::ItemText(dialog, IDC_NXO_IMPORT_WHITELIST));
        EXPECT_FALSE(CDialogUser::IsChecked(dialog, IDC_NXO_WHITELIST_ON_SENT_MESSAGE));
        EXPECT_TRUE(CDialogUser::IsChecked(dialog, IDC_NXO_WHITELIST_ON_NEW_CONTACT));
        EXPECT_TRUE(CDialogUser::IsChecked(dialog, IDC_NXO_WHITELIST_ON_NOT_SPAM));
        EXPECT_TRUE(CDialogUser::IsChecked(dialog, IDC_NXO_MOVE_TO));
        EXPECT_EQ(L"Spam", CDialogUser::Selected(dialog, IDC_NXO_MOVE_TO_FOLDER));
        EXPECT_EQ(L"12", CDialogUser::ItemText(dialog, IDC_NXO_SPAM_COUNT));
        EXPECT_EQ(L"3", CDialogUser::ItemText(dialog, IDC_NXO_NOT_SPAM_COUNT));

        CDialogUser::Click(dialog, IDC_NXO_WHITELIST_ON_SENT_MESSAGE);
        CDialogUser::Click(dialog, IDC_NXO_WHITELIST_ON_NEW_CONTACT);
        CDialogUser::Select(dialog, IDC_NXO_MOVE_TO_FOLDER, 0);
        EXPECT_EQ(L"Deleted Items", CDialogUser::Selected(dialog, IDC_NXO_MOVE_TO_FOLDER));
        CDialogUser::Select(dialog, IDC_NXO_MOVE_TO_FOLDER, 0);
        EXPECT_EQ(L"Select New...", CDialogUser::Selected(dialog, IDC_NXO_MOVE_TO_FOLDER));
        CDialogUser::Select(dialog, IDC_NXO_MOVE_TO_FOLDER, 0);
        EXPECT_EQ(L"Archive", CDialogUser::Selected(dialog, IDC_NXO_MOVE_TO_FOLDER));
        CDialogUser::SaveScreenshot(dialog, L"options-dialog.png");
        CDialogUser::Click(dialog, IDOK);
    }));
    EXPECT_EQ(1u, SettingDword(L"WhitelistOnSentMessage"));
    EXPECT_EQ(0u, SettingDword(L"WhitelistOnNewContact"));
    EXPECT_EQ(1u, SettingDword(L"WhitelistOnNotSpam"));
    EXPECT_EQ(2u, SettingDword(L"SpamAction"));
    EXPECT_EQ(L"Archive", CAddInTurn::SettingsString(L"MoveToFolderName"));
    // Stored under each other's names, as the spam button reads them back.
    EXPECT_EQ(L"STORE-1", CAddInTurn::SettingsString(L"MoveToFolderEntryId"));
    EXPECT_EQ(StringW(static_cast<_bstr_t>(archive->Value(L"EntryID")).GetBSTR()),
              CAddInTurn::SettingsString(L"MoveToFolderStoreEntryId"));
    CAddInFlow::Step("the dialog shows the settings; the user switches the whitelisting of sent mail and of new "
                     "contacts, moves spam to Archive through \"Select New...\" (options-dialog.png shows the "
                     "dialog so) and presses OK: each is saved");
}

// Outlook 2007, the last with the family's own Options page, in each of the
// ten languages: the options dialog, the whitelist scan over it, the
// encryption warning, the Options page and its log manager speak Outlook's
// user-interface language, from that language's message table, and every
// text fits its control, also greyed under the whitelisting policy.
TEST(OptionsDialogTest, SpeaksOutlooksLanguage)
{
    struct Case {
        long languageId;
        const wchar_t* name;
        std::wstring uriLabel = {};
        std::wstring cancel = {};
    } cases[] = {{1033, L"en_US", L"URI of your Quenzal Inbox Rampart:", L"Cancel"},
                 {1031, L"de_DE", L"URI Ihrer Quenzal Inbox Rampart:", L"Abbrechen"},
                 {3082, L"es_ES"}, {1041, L"ja_JP"}, {1043, L"nl_NL"}, {1036, L"fr_FR"},
                 {2052, L"zh_CN"}, {1040, L"it_IT"}, {1045, L"pl_PL"}, {1029, L"cs_CZ"}};
    // Taken before the flow's settings, as the other tests of the page class take it.
    QzlTest::CComClassRegistration pageClass(
        Quenzal::OutlookAddIn::OutlookPropPageProgId,
        StringW::FromAnsi(Quenzal::Guid::ToString(Quenzal::OutlookAddIn::CLSID_OutlookPropPage), CP_ACP),
        Quenzal::Os::CombinePath(Quenzal::Os::GetDirectoryFromPath(Quenzal::Os::GetModulePath(nullptr)),
                                 L"NxoOutlookAddIn.dll"));
    for (const Case& c : cases) {
        Quenzal::Localization::SetLanguageId(static_cast<LANGID>(c.languageId));
        CAddInFlow flow;
        flow.turn.Configure(flow.appliance);
        flow.outlook.languageSettings->Value(L"LanguageID2") = c.languageId;
        flow.outlook.application->Value(L"Version") = L"12.0.6423.1000";
        ASSERT_EQ(S_OK, flow.host->Connect());
        const std::string language = StringW(c.name).ToUtf8();
        auto look = [&](const wchar_t* window, HWND shown) {
            CDialogUser::SaveScreenshot(shown, (std::wstring(window) + L"-" + c.name + L".png").c_str());
            EXPECT_EQ(std::vector<std::wstring>(), QzlTest::CWindowDriver::ClippedTexts(shown))
                << StringW(window).ToUtf8() << " in " << language;
        };
        EXPECT_EQ(S_OK, ConfigureAsUser(flow, [&](HWND dialog) {
            look(L"options-dialog", dialog);
            const std::wstring label = CDialogUser::Text(::GetWindow(::GetDlgItem(dialog, IDC_NXO_URI), GW_HWNDPREV));
            if (!c.uriLabel.empty()) {
                EXPECT_EQ(c.uriLabel, label);
                EXPECT_EQ(c.cancel, CDialogUser::ItemText(dialog, IDCANCEL));
                CAddInFlow::Step("Outlook in " + language + ": the options dialog says \"" + StringW(label).ToUtf8() +
                                 "\" and \"" +
                                 StringW(CDialogUser::ItemText(dialog, IDC_NXO_WHITELIST_ON_SENT_MESSAGE)).ToUtf8() +
                                 "\" (options-dialog-" + language + ".png)");
            } else {
                EXPECT_NE(L"URI of your Quenzal Inbox Rampart:", label) << language;
            }
            CDialogUser::Click(dialog, IDC_NXO_IMPORT_WHITELIST);
            HWND scan = CDialogUser::WaitForDialog(Quenzal::GetLocalizedMessage(123), IDC_NXO_SCAN_SENT_ITEMS, dialog);
            ASSERT_NE(nullptr, scan);
            look(L"scan-whitelist-dialog", scan);
            CDialogUser::Click(scan, IDCANCEL);
            EXPECT_TRUE(CDialogUser::WaitUntilClosed(scan));
            CDialogUser::Click(dialog, IDCANCEL);
        }));
        {
            QzlTest::CNamedTestLock policyLock{L"Local\\QuenzalTest.PolicyKeys"};
            QzlTest::CRegistryPathCleanup policy{HKEY_CURRENT_USER, PolicyPath};
            Quenzal::Os::SetRegistryDword(Quenzal::Os::CreateSubkey(HKEY_CURRENT_USER, PolicyPath).Get(),
                                          L"WhitelistingDisabled", 1);
            EXPECT_EQ(S_OK, ConfigureAsUser(flow, [&](HWND dialog) {
                look(L"options-dialog-policy", dialog);
                CDialogUser::Click(dialog, IDCANCEL);
            }));
        }

        CFakeRibbonHost ribbon(flow.host->GetAddIn());
        ASSERT_EQ(S_OK, ribbon.Load(ComposeRibbon));
        CFakeRef composer = flow.outlook.FireNewInspector(flow.AddDraft(L"Plans").Get());
        {
            CDialogUser user([&] {
                HWND warning = CDialogUser::WaitForDialog(Caption, IDC_ENCRYPT_TEXT);
                ASSERT_NE(nullptr, warning);
                look(L"encryption-warning", warning);
                CDialogUser::Click(warning, IDCANCEL);
            });
            EXPECT_EQ(S_OK, ribbon.CallControl(ComposeRibbon, "Quenzal.TQ.Encrypt", "onAction", composer.Get()));
        }

        std::vector<CFakeRef> pages;
        flow.outlook.FireOptionsPagesAdd(flow.outlook.MakePropertyPages(pages).Get());
        CFakeOptionsDialog options(flow.outlook);
        ASSERT_NO_FATAL_FAILURE(options.Show(pages));
        look(L"options-page", options.GetWindow());
        // The English page stands for the page as most users see it, and shows
        // the product as the other languages' pictures do.
        if (c.languageId == 1033)
            CDialogUser::SaveScreenshot(options.GetWindow(), L"options-page.png");
        HWND viewLog = ::FindWindowExW(::GetWindow(options.GetPageArea(), GW_CHILD), nullptr, L"Button",
                                       (Quenzal::GetLocalizedMessage(185) + L"...").c_str());
        ASSERT_NE(nullptr, viewLog) << language;
        CDialogUser user([&] {
            HWND manager = CDialogUser::WaitForDialog(L"Quenzal Networks", IDC_LOG_MANAGER_VIEW_LOG);
            ASSERT_NE(nullptr, manager);
            look(L"log-manager", manager);
            // The switch's other text fits too; switched back, nothing changes.
            CDialogUser::Click(manager, IDC_LOG_MANAGER_DEBUG_LOGGING);
            EXPECT_EQ(Quenzal::GetLocalizedMessage(358), CDialogUser::ItemText(manager, IDC_LOG_MANAGER_DEBUG_LOGGING));
            EXPECT_EQ(std::vector<std::wstring>(), QzlTest::CWindowDriver::ClippedTexts(manager)) << language;
            CDialogUser::Click(manager, IDC_LOG_MANAGER_DEBUG_LOGGING);
            CDialogUser::Click(manager, IDC_LOG_MANAGER_CLOSE);
        });
        ::SendMessageW(viewLog, BM_CLICK, 0, 0);
    }
    Quenzal::Localization::SetLanguageId(0x0409);
}

// The whitelisting policy greys the whitelisting controls and saving leaves
// the user's own values as they were; an unknown spam action checks nothing
// and OK stores the default. Not yet authenticated: no URI, no status, the
// URI box spans to the Cancel button. The page policy refuses the dialog.
TEST(OptionsDialogTest, PoliciesDisableTheirControlsAndKeepTheUsersValues)
{
    CAddInFlow flow;
    QzlTest::CNamedTestLock policyLock{L"Local\\QuenzalTest.PolicyKeys"};
    QzlTest::CRegistryPathCleanup policy{HKEY_CURRENT_USER, PolicyPath};
    Quenzal::Os::SetRegistryDword(Quenzal::Os::CreateSubkey(HKEY_CURRENT_USER, PolicyPath).Get(),
                                  L"WhitelistingDisabled", 1);
    CAddInFlow::SetSetting(L"WhitelistOnSentMessage", 1);
    CAddInFlow::SetSetting(L"WhitelistOnNotSpam", 0);
    CAddInFlow::SetSetting(L"SpamAction", 7);
    ASSERT_EQ(S_OK, flow.host->Connect());
    EXPECT_EQ(S_OK, ConfigureAsUser(flow, [&](HWND dialog) {
        CDialogUser::SaveScreenshot(dialog, L"options-dialog-policy.png");
        for (int id : {IDC_NXO_WHITELIST_ON_SENT_MESSAGE, IDC_NXO_WHITELIST_ON_NEW_CONTACT,
                       IDC_NXO_WHITELIST_ON_NOT_SPAM, IDC_NXO_IMPORT_WHITELIST}) {
            EXPECT_FALSE(CDialogUser::IsEnabled(dialog, id)) << id;
            EXPECT_FALSE(CDialogUser::IsChecked(dialog, id)) << id;
        }
        EXPECT_EQ(L"", CDialogUser::ItemText(dialog, IDC_NXO_URI));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog, IDC_NXO_URI_STATUS)));
        RECT uri = {}, cancel = {};
        ::GetWindowRect(::GetDlgItem(dialog, IDC_NXO_URI), &uri);
        ::GetWindowRect(::GetDlgItem(dialog, IDCANCEL), &cancel);
        EXPECT_EQ(cancel.right, uri.right);
        EXPECT_FALSE(CDialogUser::IsChecked(dialog, IDC_NXO_DELETE_PERMANENTLY));
        EXPECT_FALSE(CDialogUser::IsChecked(dialog, IDC_NXO_MOVE_TO));
        CDialogUser::Click(dialog, IDOK);
    }));
    EXPECT_EQ(1u, SettingDword(L"WhitelistOnSentMessage"));
    EXPECT_EQ(0u, SettingDword(L"WhitelistOnNotSpam"));
    EXPECT_EQ(0xFFFFFFFFu, SettingDword(L"WhitelistOnNewContact"));
    EXPECT_EQ(1u, SettingDword(L"SpamAction"));

    Quenzal::Os::SetRegistryDword(Quenzal::Os::CreateSubkey(HKEY_CURRENT_USER, PolicyPath).Get(),
                                  L"HidePropertyPage", 1);
    IOutlookAddIn* addIn = QueryOutlookAddIn(flow);
    ASSERT_NE(nullptr, addIn);
    EXPECT_EQ(E_ACCESSDENIED, addIn->Configure(nullptr));
    EXPECT_NE(std::string::npos, flow.Log().find("Property page has been hidden"));
    addIn->Release();
}

// Repair forgets the appliance and configures anew in the background, and
// tells the user so; Import Whitelist opens the scan dialog over the options.
TEST(OptionsDialogTest, RepairsTheConfigurationAndOpensTheScan)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::Scene("Another start of Outlook, with the add-in configured; the user opens its options");
    ASSERT_EQ(S_OK, flow.host->Connect());
    EXPECT_EQ(S_OK, ConfigureAsUser(flow, [&](HWND dialog) {
        CDialogUser::Click(dialog, IDC_NXO_IMPORT_WHITELIST);
        HWND scan = CDialogUser::WaitForDialog(L"Whitelist Email Recipients and Contacts", IDC_NXO_SCAN_SENT_ITEMS, dialog);
        ASSERT_NE(nullptr, scan);
        CDialogUser::SaveScreenshot(scan, L"scan-whitelist-dialog.png");
        EXPECT_TRUE(CDialogUser::IsChecked(scan, IDC_NXO_SCAN_SENT_ITEMS));
        EXPECT_TRUE(CDialogUser::IsChecked(scan, IDC_NXO_SCAN_CONTACTS));
        CDialogUser::Click(scan, IDCANCEL);
        EXPECT_TRUE(CDialogUser::WaitUntilClosed(scan));

        CDialogUser::Click(dialog, IDC_NXO_REPAIR);
        ExpectMessage(dialog, L"The add-in will attempt to reconfigure itself in the background.  "
                              L"Some add-in features may be unavailable during this process.");
        EXPECT_EQ(L"", CDialogUser::ItemText(dialog, IDC_NXO_URI));
        EXPECT_FALSE(CDialogUser::IsEnabled(dialog, IDC_NXO_REPAIR));
        EXPECT_FALSE(CDialogUser::IsEnabled(dialog, IDC_NXO_IMPORT_WHITELIST));
        CDialogUser::Click(dialog, IDCANCEL);
    }));
    EXPECT_NE(std::string::npos, flow.Log().find("Repairing NXO configuration..."));
    EXPECT_EQ(L"", CAddInTurn::SettingsString(L"NxoUri"));
    CAddInFlow::Step("Import Whitelist opens the whitelist scan over it (scan-whitelist-dialog.png); Repair forgets "
                     "the appliance, says it reconfigures in the background and greys Repair and Import Whitelist");
}

// The user disables the add-in while its options are shown, and enables it
// again: the next click closes them without acting, and nothing is
// repaired; the old add-in, gone with the options, leaves the new one its
// MAPI session, which marks mail of an Exchange mailbox.
TEST(OptionsDialogTest, ClosesWithoutActingOnceTheAddInIsDisabled)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    ASSERT_EQ(S_OK, flow.host->Connect());
    const std::wstring uri = CAddInTurn::SettingsString(L"NxoUri");
    flow.host->DisconnectInNextMessage(true);
    EXPECT_EQ(S_OK, ConfigureAsUser(flow, [&](HWND dialog) {
        CDialogUser::Click(dialog, IDC_NXO_REPAIR);
        if (CDialogUser::WaitUntilClosed(dialog))
            return;
        ADD_FAILURE() << "the options acted for the disabled add-in";
        ExpectMessage(dialog, L"The add-in will attempt to reconfigure itself in the background.  "
                              L"Some add-in features may be unavailable during this process.");
        CDialogUser::Click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(std::string::npos, flow.Log().find("Repairing NXO configuration..."));
    EXPECT_EQ(uri, CAddInTurn::SettingsString(L"NxoUri"));

    flow.provider->AddMailUser("RECEIVED-BY", {QzlTestMapi::Prop(PR_SMTP_ADDRESS_A, "user@example.com")});
    std::vector<CFakeRef> exchangeMail;
    for (const char* id : {"EX-1", "EX-2"}) {
        exchangeMail.push_back(flow.AddApplianceMail(Outlook::Inbox, L"Offer", id));
        Quenzal::Mapi::IMessagePtr message(exchangeMail.back()->Value(L"MAPIOBJECT").punkVal);
        SPropValue exchange[] = {QzlTestMapi::Prop(PR_RECEIVED_BY_ADDRTYPE_A, "EX"),
                                 QzlTestMapi::Prop(PR_RECEIVED_BY_EMAIL_ADDRESS_A, "/o=Org/cn=User")};
        ASSERT_EQ(S_OK, message->SetProps(2, exchange, nullptr));
    }
    CAddInFlow::SetSetting(L"SpamAction", 7);
    ASSERT_EQ(S_OK, flow.Click(L"Quenzal.TQ.Spam", exchangeMail));
    EXPECT_EQ(2u, flow.AwaitSeen("mark.cgi", 2).size());
    EXPECT_EQ(std::string::npos, flow.Log().find("MAPI session not initialized"));
}

// The scan's total in the user's words, the failure as the user's text, and
// the two check boxes passed on; Cancel scans nothing.
TEST(OptionsDialogTest, ScanDialogReportsTheTotal)
{
    struct Case {
        size_t count;
        bool fails;
        std::wstring message;
    } cases[] = {{0, false, L"No email addresses were found to whitelist"},
                 {1, false, L"Whitelisted 1 email address"},
                 {42, false, L"Whitelisted 42 email addresses"},
                 {0, true, L"Unable to perform the requested action"}};
    for (const Case& c : cases) {
        std::vector<std::pair<bool, bool>> scans;
        CScanWhitelistDlg dialog([&](bool sent, bool contacts, HWND) -> size_t {
            scans.emplace_back(sent, contacts);
            if (c.fails)
                throw Quenzal::CException(L"Folder gone");
            return c.count;
        });
        CDialogUser user([&] {
            HWND scan = CDialogUser::WaitForDialog(L"Whitelist Email Recipients and Contacts");
            ASSERT_NE(nullptr, scan);
            CDialogUser::Click(scan, IDC_NXO_SCAN_CONTACTS);
            CDialogUser::Click(scan, IDOK);
            ExpectMessage(scan, c.message);
        });
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        EXPECT_EQ((std::vector<std::pair<bool, bool>>{{true, false}}), scans);
    }
    bool scanned = false;
    CScanWhitelistDlg dialog([&](bool, bool, HWND) -> size_t { return scanned = true; });
    CDialogUser user([] {
        HWND scan = CDialogUser::WaitForDialog(L"Whitelist Email Recipients and Contacts");
        ASSERT_NE(nullptr, scan);
        CDialogUser::Click(scan, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_FALSE(scanned);
}

#include "AddInTestSupport.h"
#include "FakeOptionsDialog.h"
#include "FamilyMemberStandIn.h"
#include "TestSupport.h"
#include "WindowDriver.h"

#include "AddInFamily.h"
#include "Guid.h"
#include "Modules.h"
#include "Os.h"
#include "Registry.h"
#include "OutlookPropPage.h"

#include <algorithm>
#include <atomic>

using namespace QzlFake;
using namespace Quenzal::OutlookAddIn;
using QzlTest::CWindowDriver;

namespace {

const std::wstring Caption = L"Quenzal Networks";

// The family as Outlook 2007 lists it: this add-in as member 0, stand-ins
// for the other two, each with a log of its own; the options page class
// registered with COM, as the add-in's registration leaves it.
class OptionsPageTest : public AddInTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(AddInTest::SetUp());
        m_pageClass = std::make_unique<QzlTest::CComClassRegistration>(
            OutlookPropPageProgId, Quenzal::StringW::FromAnsi(Quenzal::Guid::ToString(CLSID_OutlookPropPage), CP_ACP),
            Quenzal::Os::GetModulePath(host.GetModule()));
        outlook.application->Value(L"Version") = L"12.0.4518.1014";
        ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
        for (int index = 0; index < QuenzalAddInCount; ++index) {
            logs.push_back(QzlTest::UniqueTempPath(L"member") + L".log");
            WriteLog(logs.back(), "log of member " + std::to_string(index) + "\r\n");
        }
        wcsncpy_s(probe->logPath, logs[0].c_str(), _TRUNCATE);
        IDispatch* self = nullptr;
        ASSERT_EQ(S_OK, host.GetAddIn()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&self)));
        outlook.AddComAddIn(GetQuenzalAddInProgId(0))->Value(L"Object") = self;
        self->Release();
        for (int index : {1, 2}) {
            members[index] = CObjectRef<CFamilyMemberStandIn>(new CFamilyMemberStandIn);
            members[index]->logPath = logs[index];
            outlook.AddComAddIn(GetQuenzalAddInProgId(index))->Value(L"Object") =
                static_cast<IDispatch*>(members[index].Get());
        }
        CFakeRef propertyPages = outlook.MakePropertyPages(pages);
        outlook.FireOptionsPagesAdd(propertyPages.Get());
        ASSERT_EQ(1u, pages.size());
    }

    void TearDown() override
    {
        options.Close();
        for (CFakeRef& entry : outlook.comAddInList)
            entry->Value(L"Object") = static_cast<IDispatch*>(nullptr);
        for (const Quenzal::StringW& log : logs)
            ::DeleteFileW(log.c_str());
        AddInTest::TearDown();
        m_pageClass.reset();
    }

    static void WriteLog(const Quenzal::StringW& path, const std::string& text)
    {
        Quenzal::Os::CHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    HWND PageWindow()
    {
        HWND window = nullptr;
        IOleWindow* page = nullptr;
        if (SUCCEEDED(options.GetPages().at(0)->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&page)))) {
            page->GetWindow(&window);
            page->Release();
        }
        return window;
    }

    // The page's buttons of that text, the first family member's first.
    std::vector<HWND> Buttons(const wchar_t* text)
    {
        std::vector<HWND> buttons;
        for (HWND child = ::GetWindow(PageWindow(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            if (CWindowDriver::GetText(child) == text)
                buttons.push_back(child);
        std::sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
            RECT ra = {}, rb = {};
            ::GetWindowRect(a, &ra);
            ::GetWindowRect(b, &rb);
            return ra.top < rb.top;
        });
        return buttons;
    }

    std::vector<Quenzal::StringW> logs;
    CObjectRef<CFamilyMemberStandIn> members[QuenzalAddInCount];
    std::vector<CFakeRef> pages;
    CFakeOptionsDialog options{outlook};

private:
    std::unique_ptr<QzlTest::CComClassRegistration> m_pageClass;
};

} // namespace

// Outlook creates the page by its ProgID in its Options dialog; the page
// shows a panel per member, keeps its buttons at the right edge, opens each
// member's options and says when a policy locked them.
TEST_F(OptionsPageTest, PageShowsTheFamilyAndOpensEachMembersOptions)
{
    EXPECT_EQ(0, probe->registrations); // registered: nothing to repair
    ASSERT_NO_FATAL_FAILURE(options.Show(pages));
    HWND page = PageWindow();
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(options.GetPageArea(), ::GetParent(page));
    EXPECT_EQ(options.GetWindow(), ::GetParent(::GetParent(page)));
    EXPECT_TRUE(options.GetSites()[0]->IsActive());
    ASSERT_EQ(3u, Buttons(L"Options...").size());
    ASSERT_EQ(3u, Buttons(L"View Log...").size());

    // Deactivated and shown again: the same panels, the family not asked again.
    const int queries = outlook.comAddIns->CallCount(L"Item");
    IOleInPlaceObject* inPlace = nullptr;
    ASSERT_EQ(S_OK, options.GetPages()[0]->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)));
    RECT area = {};
    ::GetClientRect(options.GetPageArea(), &area);
    EXPECT_EQ(S_OK, inPlace->InPlaceDeactivate());
    EXPECT_EQ(S_OK, options.GetPages()[0]->DoVerb(OLEIVERB_SHOW, nullptr, options.GetSites()[0].Get(), 0,
                                                  options.GetPageArea(), &area));
    page = PageWindow();
    EXPECT_EQ(3u, Buttons(L"Options...").size());
    EXPECT_EQ(queries, outlook.comAddIns->CallCount(L"Item"));

    // The family finds the page by its own interface; its caption by name too.
    IOutlookPropPage* own = nullptr;
    ASSERT_EQ(S_OK, options.GetPages()[0]->QueryInterface(__uuidof(IOutlookPropPage), reinterpret_cast<void**>(&own)));
    BSTR caption = nullptr;
    EXPECT_EQ(S_OK, own->get_Caption(&caption));
    EXPECT_STREQ(L"Quenzal Networks", caption);
    ::SysFreeString(caption);
    EXPECT_EQ(S_OK, own->put_Caption(_bstr_t(L"Family")));
    LPOLESTR name = const_cast<LPOLESTR>(L"caption");
    DISPID id = 0;
    EXPECT_EQ(S_OK, own->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    DISPPARAMS none = {};
    _variant_t value;
    EXPECT_EQ(S_OK, own->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
    EXPECT_STREQ(L"Family", value.bstrVal);
    EXPECT_EQ(E_POINTER, own->get_Caption(nullptr));
    own->Release();

    // Narrower: the buttons move with the right edge.
    RECT before = {};
    ::GetWindowRect(Buttons(L"Options...")[0], &before);
    area.right -= 40;
    EXPECT_EQ(S_OK, inPlace->SetObjectRects(&area, &area));
    inPlace->Release();
    RECT after = {};
    ::GetWindowRect(Buttons(L"Options...")[0], &after);
    EXPECT_EQ(before.left - 40, after.left);

    ::SendMessageW(Buttons(L"Options...")[0], BM_CLICK, 0, 0);
    EXPECT_EQ(1, probe->configures);
    EXPECT_EQ(page, probe->configureParent);

    members[2]->configureResult = E_ACCESSDENIED;
    CWindowDriver driver([](CWindowDriver& d) {
        HWND box = d.WaitForWindow(Caption);
        d.Expect(CWindowDriver::GetMessageText(box) ==
                     L"Access to this feature has been disabled by your administrator",
                 "the policy message");
        d.Press(box, IDOK);
    });
    ::SendMessageW(Buttons(L"Options...")[2], BM_CLICK, 0, 0);
    for (const std::string& failure : driver.Finish())
        ADD_FAILURE() << failure;
    EXPECT_EQ(1, members[2]->configures);
    EXPECT_NE(std::string::npos, AddInLog().find("Access to the configuration of this add-in has been disabled: "
                                                  "Quenzal.VrlOutlookAddIn"));

    // OK: the page has nothing to apply.
    PropertyPage* outlookPage = nullptr;
    ASSERT_EQ(S_OK, options.GetPages()[0]->QueryInterface(__uuidof(PropertyPage), reinterpret_cast<void**>(&outlookPage)));
    EXPECT_EQ(E_NOTIMPL, outlookPage->GetPageInfo(nullptr, nullptr));
    EXPECT_EQ(S_OK, outlookPage->Apply());
    outlookPage->Release();
    options.Confirm();
    EXPECT_EQ(0, options.GetAppliedCount());
    EXPECT_FALSE(options.IsOpen());
    QzlTest::DemoStep("Outlook's Options dialog holds the family's page, a panel per add-in with Options... and View "
                      "Log...; Options... opens the add-in's own dialog, or says that a policy locked it");
}

// The log manager of each member switches that member's debug logging (a
// switch pressed twice changes nothing), views the log through the text
// editor's command (its folder when the editor fails), and mails it: the
// Options dialog closes first, then a new message opens with the log attached.
TEST_F(OptionsPageTest, LogManagerSwitchesDebugLoggingViewsAndMailsTheLog)
{
    auto turn = QzlTest::TakeProductTurn();
    std::vector<std::unique_ptr<QzlTest::CRegistryPathCleanup>> keys;
    std::vector<std::unique_ptr<QzlTest::CRegistryValueRestore>> values;
    for (int index = 0; index < QuenzalAddInCount; ++index) {
        Quenzal::StringW path = GetQuenzalAddInSettingsPath(index);
        keys.push_back(std::make_unique<QzlTest::CRegistryPathCleanup>(HKEY_CURRENT_USER, path.c_str(),
                                                                        QzlTest::CRegistryPathCleanup::OnlyEmptyKeys));
        values.push_back(std::make_unique<QzlTest::CRegistryValueRestore>(HKEY_CURRENT_USER, path.c_str(), L"Debug"));
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, path.c_str(), L"Debug");
    }
    ASSERT_NO_FATAL_FAILURE(options.Show(pages));
    std::vector<HWND> viewLog = Buttons(L"View Log...");
    ASSERT_EQ(3u, viewLog.size());

    std::atomic<bool> done = false;
    CWindowDriver driver([&](CWindowDriver& d) {
        auto openManager = [&](int index) {
            d.Press(viewLog[index]);
            return d.WaitForWindow(Caption);
        };
        auto pressSwitch = [&](HWND manager, const wchar_t* becomes) {
            d.Press(manager, 918);
            for (int wait = 0; wait < 1500 && CWindowDriver::GetText(d.GetControl(manager, 918)) != becomes; ++wait)
                ::Sleep(20);
            d.Expect(CWindowDriver::GetText(d.GetControl(manager, 918)) == becomes, "the switch's text follows it");
        };
        auto close = [&](HWND window, int button) {
            d.Press(window, button);
            d.WaitUntilClosed(window);
        };
        for (int index = 0; index < QuenzalAddInCount; ++index) {
            HWND manager = openManager(index);
            if (index == 0) {
                d.Expect(CWindowDriver::SaveWindowPicture(manager, QzlTest::ScreenshotPath(L"log-manager.png")),
                         "picture of the log manager");
                d.Expect(CWindowDriver::GetText(d.GetControl(manager, 906)) == L"View Log" &&
                             CWindowDriver::GetText(d.GetControl(manager, 912)) == L"Send Log via Email" &&
                             CWindowDriver::GetText(d.GetControl(manager, 8)) == L"Close",
                         "the log manager's buttons");
            }
            d.Expect(CWindowDriver::GetText(d.GetControl(manager, 918)) == L"Enable Debug Logging", "debug is off");
            pressSwitch(manager, L"Disable Debug Logging");
            close(manager, 8);
            HWND restart = d.WaitForWindow(Caption);
            d.Expect(CWindowDriver::GetMessageText(restart) ==
                         L"Please restart Outlook to apply your changes to debug logging",
                     "the restart note");
            close(restart, IDOK);
        }
        // Twice is no change: no restart note.
        HWND manager = openManager(0);
        pressSwitch(manager, L"Enable Debug Logging");
        pressSwitch(manager, L"Disable Debug Logging");
        close(manager, 8);
        ::Sleep(300);
        d.Expect(d.FindWindowNow(Caption) == nullptr, "no restart note after a switch pressed twice");

        close(openManager(0), 906);
        d.WaitUntil([this] { return probe->editorStarts == 1; }, "the editor");
        // An editor that cannot start: said, and the log's folder opens instead.
        probe->editorFails = true;
        close(openManager(0), 906);
        HWND failed = d.WaitForWindow(Caption);
        d.Expect(CWindowDriver::GetMessageText(failed) == L"Unable to open log", "the view failure");
        close(failed, IDOK);
        probe->editorFails = false;
        // Mailing warns that the Options dialog closes; Cancel keeps it.
        close(openManager(0), 912);
        HWND warning = d.WaitForWindow(Caption);
        d.Expect(CWindowDriver::GetMessageText(warning).find(L"The Outlook Options dialog will now close") == 0,
                 "the mailing note");
        close(warning, IDCANCEL);
        close(openManager(0), 912);
        close(d.WaitForWindow(Caption), IDOK);
        done = true;
    });
    EXPECT_TRUE(QzlTest::PumpUntil([&] { return done && !outlook.mails.empty(); }));
    for (const std::string& failure : driver.Finish())
        ADD_FAILURE() << failure;

    for (int index = 0; index < QuenzalAddInCount; ++index)
        EXPECT_TRUE(Quenzal::Os::IsRegistryFlagSet(GetQuenzalAddInSettingsPath(index).c_str(), L"Debug")) << index;
    EXPECT_EQ(2, probe->editorStarts);
    EXPECT_EQ(1, probe->folderOpens);
    EXPECT_EQ(Quenzal::Os::GetDirectoryFromPath(logs[0]), probe->openedFolder);
    std::wstring command = probe->editorCommand;
    EXPECT_NE(std::wstring::npos, command.find(L"Notepad.exe\" \"" + logs[0] + L"\"")) << command.c_str();
    EXPECT_FALSE(options.IsOpen()); // the page closed it
    ASSERT_EQ(1u, outlook.mails.size());
    const CFakeMail& mail = *outlook.mails[0];
    EXPECT_STREQ(L"Quenzal Outlook Add-In log", _bstr_t(mail.item->Value(L"Subject")));
    ASSERT_EQ(1u, mail.attachments.size());
    EXPECT_EQ(logs[0], mail.attachments[0].path);
    EXPECT_EQ("log of member 0\r\n", mail.attachments[0].content);
    EXPECT_EQ(1, mail.item->CallCount(L"Display"));
    QzlTest::DemoStep("each add-in's log manager switches its debug logging and asks for Outlook's restart, opens "
                      "its log in the text editor (its folder when the editor fails) and mails it in a new message "
                      "(log-manager.png)");
}

#include "RibbonTestSupport.h"
#include "WindowDriver.h"

#include "Os.h"

using namespace QzlFake;
using QzlTest::CWindowDriver;

namespace {

constexpr const wchar_t* ExplorerRibbon = L"Microsoft.Outlook.Explorer";
const std::wstring Caption = L"Quenzal Inbox Rampart";

// Outlook 2016 with its backstage, in front of a real window.
class BackstageTest : public RibbonTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(RibbonTest::SetUp());
        outlookWindow = ::CreateWindowExW(0, L"STATIC", L"Outlook", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                          nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, outlookWindow) << "no display";
        ConnectOutlook(L"16.0.0.5000", {ExplorerRibbon});
        explorer = outlook.AddExplorer();
        explorer->SetWindow(outlookWindow);
        outlook.application->Value(L"ActiveWindow") = static_cast<IDispatch*>(explorer.Get());
        log = QzlTest::UniqueTempPath(L"backstage") + L".log";
        Quenzal::Os::CHandle file(::CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), "backstage log\r\n", 15, &written, nullptr);
    }
    void TearDown() override
    {
        ::DeleteFileW(log.c_str());
        RibbonTest::TearDown();
        ::DestroyWindow(outlookWindow);
    }

    // Clicks the element; the script answers what it opens.
    HRESULT Click(const char* element, std::function<void(CWindowDriver&)> script)
    {
        CWindowDriver driver(std::move(script));
        HRESULT hr = ribbon->CallControl(ExplorerRibbon, element, "onAction", explorer.Get());
        for (const std::string& failure : driver.Finish())
            ADD_FAILURE() << failure;
        return hr;
    }
    // The message box the click shows: its text, then OK.
    static std::function<void(CWindowDriver&)> ExpectMessage(std::wstring text)
    {
        return [text](CWindowDriver& d) {
            HWND box = d.WaitForWindow(Caption);
            d.Expect(CWindowDriver::GetMessageText(box) == text, "the message box's text");
            d.Press(box, IDOK);
        };
    }
    // The log manager: the debug switch pressed or not, then the button.
    std::function<void(CWindowDriver&)> UseLogManager(bool pressSwitch, int button)
    {
        return [this, pressSwitch, button](CWindowDriver& d) {
            HWND manager = d.WaitForWindow(L"Quenzal Networks");
            d.Expect(::GetWindow(manager, GW_OWNER) == outlookWindow, "the log manager stands over Outlook");
            if (pressSwitch)
                d.Press(manager, 918);
            ::Sleep(100);
            d.Press(manager, button);
            d.WaitUntilClosed(manager);
        };
    }

    std::unique_ptr<QzlTest::CNamedTestLock> turn = QzlTest::TakeProductTurn();
    HWND outlookWindow = nullptr;
    CFakeRef explorer;
    Quenzal::StringW log;
};

std::wstring Text(const _variant_t& value)
{
    return value.vt == VT_BSTR && value.bstrVal != nullptr ? value.bstrVal : L"<no text>";
}

} // namespace

// Labels, the member's picture, and every way a label request can go wrong.
TEST_F(BackstageTest, ElementsAnswerTheirLabelsAndImage)
{
    for (auto [element, label] : {std::pair{"Quenzal.NxoOutlookAddIn.config", L"Configure"},
                                  std::pair{"Quenzal.NxoOutlookAddIn.logs", L"View Log"},
                                  std::pair{"Quenzal.NxoOutlookAddIn.status", L"Version: 5.1.2"}}) {
        _variant_t answer;
        EXPECT_EQ(S_OK, ribbon->CallControl(ExplorerRibbon, element, "getLabel", explorer.Get(), &answer));
        EXPECT_EQ(label, Text(answer));
    }
    _variant_t image;
    ASSERT_EQ(S_OK, ribbon->CallControl(ExplorerRibbon, "Quenzal.NxoOutlookAddIn.config", "getImage", explorer.Get(),
                                        &image));
    ASSERT_EQ(VT_DISPATCH, image.vt);
    IPicture* picture = nullptr;
    ASSERT_EQ(S_OK, image.pdispVal->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&picture)));
    SHORT type = 0;
    picture->get_Type(&type);
    EXPECT_EQ(PICTYPE_BITMAP, type);
    picture->Release();

    CFakeRef other = CFakeRibbonHost::MakeControl(L"Quenzal.NxoOutlookAddIn.other", explorer.Get());
    EXPECT_EQ(E_FAIL, ribbon->Call(L"GetBackstageElementLabel", {_variant_t(static_cast<IDispatch*>(other.Get()))}));
    EXPECT_NE(std::string::npos, AddInLog().find("Unable to format backstage element label"));
    EXPECT_EQ(E_POINTER, ribbon->Call(L"GetBackstageElementLabel", {_variant_t(static_cast<IDispatch*>(nullptr))}));
    EXPECT_EQ(E_POINTER, ribbon->Call(L"OnBackstageButtonClicked", {_variant_t(static_cast<IDispatch*>(nullptr))}));
    CFakeRef notAControl = CFakeObject::Create();
    EXPECT_EQ(E_INVALIDARG,
              ribbon->Call(L"OnBackstageButtonClicked", {_variant_t(static_cast<IDispatch*>(notAControl.Get()))}));
}

// Configure opens the member's options over Outlook; a policy's refusal is
// said once, any other failure not at all; the status line does nothing.
TEST_F(BackstageTest, ConfigureOpensTheOptionsOrSaysThatAPolicyLockedThem)
{
    auto nothingShown = [](CWindowDriver& d) {
        ::Sleep(300);
        d.Expect(d.FindWindowNow(Caption) == nullptr, "no message box");
    };
    EXPECT_EQ(S_OK, Click("Quenzal.NxoOutlookAddIn.config", nothingShown));
    EXPECT_EQ(1, probe->configures);
    EXPECT_EQ(outlookWindow, probe->configureParent);
    probe->configureResult = E_ACCESSDENIED;
    EXPECT_EQ(S_OK, Click("Quenzal.NxoOutlookAddIn.config",
                          ExpectMessage(L"Access to this feature has been disabled by your administrator")));
    EXPECT_EQ(1u,
              QzlTest::CountOf(AddInLog(), "WARNING: Access to the configuration of this add-in has been disabled"));
    probe->configureResult = E_FAIL;
    EXPECT_EQ(S_OK, Click("Quenzal.NxoOutlookAddIn.config", nothingShown));
    CFakeRef status = CFakeRibbonHost::MakeControl(L"Quenzal.NxoOutlookAddIn.status", explorer.Get());
    EXPECT_EQ(S_OK, ribbon->Call(L"OnBackstageButtonClicked", {_variant_t(static_cast<IDispatch*>(status.Get()))}));
    EXPECT_EQ(3, probe->configures);
}

// View Log: a missing log or a folder is said; the log manager's debug
// switch is stored whatever closed it (Cancel too); View Log starts the
// editor on the log, Send Log mails it at once.
TEST_F(BackstageTest, LogManagerViewsMailsAndSwitchesTracing)
{
    const char* logs = "Quenzal.NxoOutlookAddIn.logs";
    EXPECT_EQ(E_FAIL, Click(logs, [](CWindowDriver&) {}));
    EXPECT_NE(std::string::npos, AddInLog().find("Error retrieving log path from add-in"));
    for (const Quenzal::StringW& missing : {Quenzal::StringW(log + L".missing"), QzlTest::TempDirectory()}) {
        wcsncpy_s(probe->logPath, missing.c_str(), _TRUNCATE);
        EXPECT_EQ(S_OK, Click(logs, ExpectMessage(L"The log file does not exist")));
    }
    wcsncpy_s(probe->logPath, log.c_str(), _TRUNCATE);

    EXPECT_EQ(S_OK, Click(logs, UseLogManager(true, 8)));
    EXPECT_EQ(1, probe->traceLoggingSets);
    EXPECT_TRUE(probe->traceLogging);
    EXPECT_EQ(0, probe->editorStarts);

    EXPECT_EQ(S_OK, Click(logs, UseLogManager(false, 906)));
    EXPECT_EQ(2, probe->traceLoggingSets);
    EXPECT_TRUE(probe->traceLogging);
    EXPECT_EQ(1, probe->editorStarts);
    EXPECT_NE(std::wstring::npos, std::wstring(probe->editorCommand).find(L"\"" + log + L"\""));
    EXPECT_TRUE(outlook.mails.empty());

    EXPECT_EQ(S_OK, Click(logs, UseLogManager(false, 912)));
    ASSERT_EQ(1u, outlook.mails.size());
    ASSERT_EQ(1u, outlook.mails[0]->attachments.size());
    EXPECT_EQ("backstage log\r\n", outlook.mails[0]->attachments[0].content);
    EXPECT_EQ(1, outlook.mails[0]->item->CallCount(L"Display"));

    // A failed start of the editor is logged and goes no further.
    probe->editorFails = true;
    EXPECT_EQ(S_OK, Click(logs, UseLogManager(false, 906)));
    EXPECT_NE(std::string::npos, AddInLog().find("COutlookAddIn::OnViewLog"));
}

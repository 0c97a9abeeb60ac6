#include "AddInTestSupport.h"

using namespace QzlFake;

// A whole Outlook session: start-up with windows already open, Outlook's
// events, a new window, shutdown.
TEST_F(AddInTest, SessionFromStartupToShutdownHandlesEachEventOnce)
{
    CFakeRef explorer = outlook.AddExplorer();
    outlook.AddInspector();
    outlook.application->Value(L"ActiveWindow") = static_cast<IDispatch*>(explorer.Get());
    probe->cancelItemSend = true;
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
    HWND window = nullptr;
    explorer->GetWindow(&window);
    EXPECT_EQ(window, probe->activeWindow);

    // Three connections on the application, one on each window collection.
    EXPECT_EQ(5u, outlook.GetSinkCount());
    EXPECT_EQ(1, probe->newExplorers);
    EXPECT_EQ(1, probe->newInspectors);
    EXPECT_EQ(1, probe->outlookStartups);
    EXPECT_EQ(1, probe->mapiLogons);
    EXPECT_EQ(0, probe->toolbarsInitialized); // Outlook 16 has the ribbon
    // COMAddIn.Object is the add-in's IDispatch, which serves the ribbon callbacks.
    const _variant_t& object = outlook.FindComAddIn(L"Quenzal.TestAddIn")->Value(L"Object");
    ASSERT_TRUE(object.vt == VT_DISPATCH && object.pdispVal != nullptr);
    IUnknown* callbacks = nullptr;
    ASSERT_EQ(S_OK, object.pdispVal->QueryInterface(__uuidof(IRibbonCallback), reinterpret_cast<void**>(&callbacks)));
    callbacks->Release();

    // Outlook raises ItemSend and OptionsPagesAdd on both connections of
    // their interface; each runs its handler once.
    CFakeRef item = CFakeObject::Create();
    EXPECT_TRUE(outlook.FireItemSend(item.Get()));
    std::vector<CFakeRef> pages;
    outlook.FireOptionsPagesAdd(outlook.MakePropertyPages(pages).Get());
    outlook.FireNewExplorer();
    outlook.FireNewInspector();
    EXPECT_EQ(1, probe->itemSends);
    EXPECT_EQ(1, probe->optionsPagesAdds);
    EXPECT_EQ(2, probe->newExplorers);
    EXPECT_EQ(2, probe->newInspectors);
    EXPECT_TRUE(pages.empty()); // Outlook 16 has the backstage instead

    EXPECT_EQ(S_OK, host.Disconnect());
    ExpectOutlookReleased();
}

TEST_F(AddInTest, LoadedAfterStartupCompletesTheLogonItself)
{
    for (ext_ConnectMode mode : {ext_cm_AfterStartup, ext_cm_External, ext_cm_CommandLine}) {
        SCOPED_TRACE(mode);
        probe->mapiLogons = 0;
        ASSERT_EQ(S_OK, host.Connect(mode));
        // The host raises no start-up events for these modes.
        EXPECT_EQ(1, probe->mapiLogons);
        EXPECT_EQ(0, probe->outlookStartups);
        EXPECT_EQ(S_OK, host.Disconnect(ext_dm_UserClosed));
        host.Load();
    }
    std::string log = AddInLog();
    EXPECT_EQ(3u, QzlTest::CountOf(log, "Add-in loading for reason other than Outlook startup"));
    EXPECT_EQ(3u, QzlTest::CountOf(log, "Exchange connection mode: olCachedConnectedFull"));
    EXPECT_EQ(3u, QzlTest::CountOf(log, "ERROR: No active Outlook window exists"));
}

TEST_F(AddInTest, OutlookVersionsAcceptedAndRefused)
{
    struct Case {
        const wchar_t* version;
        int minimum;
        HRESULT expected;
        const char* logged;
    };
    const Case cases[] = {
        {L"11.0.8303", 0, S_OK, nullptr},
        {L"12.0.4518.1014", 0, S_OK, nullptr},
        {L"16.0.0.5000", 0, S_OK, nullptr},
        {L"10.0.6515", 0, E_FAIL, "Outlook version not supported (minimum required version = 11)"},
        {L"12.0", 14, E_FAIL, "Outlook version not supported (minimum required version = 14)"},
        {L"Outlook", 0, E_FAIL, "Outlook version not understood"},
        {L"", 0, E_FAIL, "Outlook version not understood"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << Quenzal::StringW(c.version).GetAnsi(CP_UTF8));
        outlook.application->Value(L"Version") = c.version;
        probe->minimumVersion = c.minimum;
        EXPECT_EQ(c.expected, host.Connect(ext_cm_Startup));
        if (c.logged != nullptr) {
            EXPECT_NE(std::string::npos, AddInLog().find(c.logged));
        } else {
            EXPECT_EQ(S_OK, host.Disconnect());
        }
        // A refused connection leaves nothing behind either.
        EXPECT_EQ(0u, outlook.GetSinkCount());
        EXPECT_EQ(1u, outlook.application->GetReferenceCount());
        host.Load();
    }
}

TEST_F(AddInTest, NonOutlookApplicationIsRefused)
{
    outlook.application = CFakeObject::Create();
    EXPECT_EQ(E_FAIL, host.Connect(ext_cm_Startup));
    EXPECT_NE(std::string::npos, AddInLog().find("Argument to OnConnection is not an Outlook application"));
    EXPECT_EQ(0, probe->mapiLogons);
    ExpectOutlookReleased();
}

TEST_F(AddInTest, MessageLanguageComesFromOutlooksUserInterfaceLanguage)
{
    // LanguageID(msoLanguageIDUI); only the low 16 bits are a language id.
    outlook.languageSettings->Value(L"LanguageID2") = 0x10407L;
    outlook.languageSettings->Value(L"LanguageID1") = 1036L;
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
    EXPECT_EQ(0x0407, probe->languageId);
    EXPECT_EQ(S_OK, host.Disconnect());

    host.Load();
    outlook.languageSettings->Value(L"LanguageID2") = 1234L;
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
    EXPECT_EQ(0x0407, probe->languageId); // unchanged
    EXPECT_NE(std::string::npos,
              AddInLog().find("WARNING: Outlook's locale is not supported; defaulting to English: 1234"));
}

// No exception escapes into Outlook; the handler's failure is logged.
TEST_F(AddInTest, FailingEventHandlerIsContained)
{
    probe->throwInItemSend = true;
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
    CFakeRef item = CFakeObject::Create();
    EXPECT_FALSE(outlook.FireItemSend(item.Get()));
    EXPECT_EQ(1, probe->itemSends);
    EXPECT_NE(std::string::npos, AddInLog().find("std::runtime_error: handler failed"));
}

// Each teardown step runs even when an earlier one fails; the first failure
// is what OnDisconnection answers.
TEST_F(AddInTest, FailingTeardownStepStillRunsTheOthers)
{
    enum Failure { InspectorToolbar, ExplorerToolbar, MapiLogonUnadvise, StartupUnadvise, ExplorersUnadvise };
    struct Case {
        Failure failure;
        HRESULT expected;
        size_t sinksLeft; // in Outlook, which a failed Unadvise leaves advised
    };
    const Case cases[] = {
        {InspectorToolbar, E_ACCESSDENIED, 0},
        {ExplorerToolbar, E_ACCESSDENIED, 0},
        {MapiLogonUnadvise, RPC_E_DISCONNECTED, 1},
        {StartupUnadvise, RPC_E_DISCONNECTED, 2}, // Startup and ItemSend share the interface
        // A window collection that cannot be unadvised is of no concern.
        {ExplorersUnadvise, S_OK, 1},
    };
    // Outlook 2003: toolbars on the explorer and the inspector.
    outlook.application->Value(L"Version") = L"11.0.8303";
    outlook.AddExplorer();
    outlook.AddInspector();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure);
        probe->toolbarsUninitialized = 0;
        probe->inspectorToolbarFailure = c.failure == InspectorToolbar ? E_ACCESSDENIED : S_OK;
        probe->explorerToolbarFailure = c.failure == ExplorerToolbar ? E_ACCESSDENIED : S_OK;
        ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
        CFakeConnectionPoint& logon = outlook.application->Events(Outlook::ApplicationEvents);
        CFakeConnectionPoint& application = outlook.application->Events(Outlook::ApplicationEvents11);
        CFakeConnectionPoint& explorers = outlook.explorers->Events(Outlook::ExplorersEvents);
        logon.unadviseResult = c.failure == MapiLogonUnadvise ? RPC_E_DISCONNECTED : S_OK;
        application.unadviseResult = c.failure == StartupUnadvise ? RPC_E_DISCONNECTED : S_OK;
        explorers.unadviseResult = c.failure == ExplorersUnadvise ? RPC_E_DISCONNECTED : S_OK;

        EXPECT_EQ(c.expected, host.Disconnect());
        EXPECT_EQ(2, probe->toolbarsUninitialized);
        EXPECT_EQ(c.sinksLeft, outlook.GetSinkCount());
        // A sink left behind no longer reaches the add-in.
        int logons = probe->mapiLogons;
        outlook.FireMapiLogonComplete();
        EXPECT_EQ(logons, probe->mapiLogons);

        logon.unadviseResult = application.unadviseResult = explorers.unadviseResult = S_OK;
        outlook.ClearSinks();
        ExpectOutlookReleased();
        host.Load();
        probe = host.GetExport<TestAddInProbe*()>("QzlTestAddInProbe")();
    }
}

// A connection that fails half way takes down what it had set up.
TEST_F(AddInTest, FailedConnectionUndoesItsSetUp)
{
    outlook.application->Value(L"Version") = L"11.0.8303";
    outlook.AddExplorer();
    outlook.inspectors->Events(Outlook::InspectorsEvents).adviseResult = CONNECT_E_ADVISELIMIT;
    EXPECT_EQ(E_FAIL, host.Connect(ext_cm_Startup));
    EXPECT_EQ(1, probe->toolbarsInitialized);
    EXPECT_EQ(1, probe->toolbarsUninitialized);
    EXPECT_NE(std::string::npos, AddInLog().find("Caught exception"));
    ExpectOutlookReleased();
}

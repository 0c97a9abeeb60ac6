#include "AddInTestSupport.h"

#include "ButtonEventSink.h"
#include "FakeCommandBars.h"

#include <regex>

using namespace QzlFake;

namespace {

constexpr DISPID Activate = 0xF001;
constexpr DISPID FolderSwitch = 0xF002;
constexpr DISPID Close = 0xF008;

std::wstring Text(const _variant_t& value)
{
    return value.vt == VT_BSTR ? value.bstrVal : L"<not set>";
}

bool IsSet(CFakeObject& control, const wchar_t* property)
{
    return control.Value(property).vt != VT_EMPTY;
}

class CommandBarTest : public AddInTest {
protected:
    void SetUp() override
    {
        AddInTest::SetUp();
        probe->commandBarToolbars = true;
        outlook.application->Value(L"Version") = L"11.0.8303";
    }

    // An explorer showing a folder of that item type, with its command bars.
    std::shared_ptr<CFakeCommandBar> AddExplorer(CFakeRef& explorer, long itemType)
    {
        explorer = outlook.AddExplorer();
        explorer->Property(L"CurrentFolder", static_cast<IDispatch*>(MakeFolder(itemType).Get()));
        return CFakeCommandBar::AddTo(*explorer);
    }
    std::shared_ptr<CFakeCommandBar> AddInspector(CFakeRef& inspector, bool sent)
    {
        inspector = outlook.AddInspector();
        inspector->Property(L"CurrentItem", static_cast<IDispatch*>(MakeMailItem(sent).Get()));
        return CFakeCommandBar::AddTo(*inspector);
    }
};

} // namespace

// Outlook 2003: the explorer's buttons come with the window, are rebuilt on
// every folder switch (and only for mail and post folders), reach the
// add-in's commands, and stay on the bar when the window closes.
TEST_F(CommandBarTest, ExplorerButtonsFollowTheWindow)
{
    CFakeRef explorer;
    auto bar = AddExplorer(explorer, 0);
    // Left by an earlier session of this add-in (the first two go), and others'
    // tags that are shorter or only begin like a command name (they stay).
    for (const wchar_t* tag : {L"quenzal.test.MARK.00112233445566778899aabbccddeeff", L"Quenzal.Test.Mark.Old",
                               L"Quenzal.Test", L"Quenzal.Test.Markup.Other"})
        bar->AddControl(Office::ControlButton, tag);
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));

    ASSERT_EQ(4u, bar->controls.size());
    ASSERT_EQ(2u, bar->deleted.size());
    EXPECT_EQ(L"Quenzal.Test", Text(bar->controls[0]->Value(L"Tag")));
    EXPECT_EQ(L"Quenzal.Test.Markup.Other", Text(bar->controls[1]->Value(L"Tag")));
    CFakeObject& mark = *bar->controls[2];
    CFakeObject& link = *bar->controls[3];
    std::wsmatch tag;
    std::wstring markTag = Text(mark.Value(L"Tag"));
    ASSERT_TRUE(std::regex_match(markTag, tag, std::wregex(L"Quenzal\\.Test\\.Mark\\.([0-9a-f]{32})")));
    EXPECT_EQ(L"Quenzal.Test.Link." + tag[1].str(), Text(link.Value(L"Tag")));
    EXPECT_EQ(L"Add link to large file", Text(link.Value(L"TooltipText")));
    for (CFakeObject* button : {&mark, &link}) {
        EXPECT_FALSE(IsSet(*button, L"Caption")); // icon only
        EXPECT_EQ(1L, static_cast<long>(button->Value(L"Style")));
        EXPECT_EQ(1u, button->GetSinkCount());
    }
    EXPECT_TRUE(static_cast<bool>(mark.Value(L"BeginGroup")));
    EXPECT_FALSE(static_cast<bool>(link.Value(L"BeginGroup")));
    EXPECT_TRUE(IsSet(mark, L"Picture") && !IsSet(mark, L"FaceId"));
    EXPECT_EQ(1576L, static_cast<long>(link.Value(L"FaceId")));
    EXPECT_EQ(4u, explorer->GetSinkCount());

    // Activated again: nothing added. A click reaches the explorer's command.
    explorer->Events(Outlook::ExplorerEvents10).Fire(Activate);
    EXPECT_EQ(4u, bar->controls.size());
    EXPECT_FALSE(CFakeCommandBar::Click(bar->controls[3]));
    EXPECT_EQ(1, probe->lastCommand);
    EXPECT_EQ('E', probe->lastWindow);

    // A calendar gets no buttons; a folder of posts gets them again.
    explorer->Value(L"CurrentFolder") = static_cast<IDispatch*>(MakeFolder(1).Get());
    explorer->Events(Outlook::ExplorerEvents10).Fire(FolderSwitch);
    EXPECT_EQ(2u, bar->controls.size());
    EXPECT_EQ(4u, bar->deleted.size());
    explorer->Value(L"CurrentFolder") = static_cast<IDispatch*>(MakeFolder(6).Get());
    explorer->Events(Outlook::ExplorerEvents10).Fire(FolderSwitch);
    ASSERT_EQ(4u, bar->controls.size());
    EXPECT_TRUE(static_cast<bool>(bar->controls[2]->Value(L"BeginGroup")));

    // Closing ends the toolbar, not the buttons.
    CFakeRef button = bar->controls[2];
    explorer->Events(Outlook::ExplorerEvents10).Fire(Close);
    EXPECT_EQ(0u, explorer->GetSinkCount());
    EXPECT_EQ(0u, button->GetSinkCount());
    EXPECT_EQ(4u, bar->controls.size());
    CFakeCommandBar::Click(button);
    EXPECT_EQ(1, probe->clicks);
    EXPECT_EQ(S_OK, host.Disconnect());
    ExpectOutlookReleased();
}

// Explorer toolbars up to Outlook 2007, inspector toolbars (for received or
// sent mail) up to Outlook 2003; the add-in's disconnection takes them down
// and leaves the buttons.
TEST_F(CommandBarTest, ToolbarsPerOutlookVersionAndWindow)
{
    struct Case {
        const wchar_t* version;
        size_t explorerControls;
        size_t inspectorControls;
    };
    for (const Case& c : {Case{L"11.0.8303", 2, 3}, Case{L"12.0.4518.1014", 2, 0}, Case{L"14.0.7268.5000", 0, 0}}) {
        SCOPED_TRACE(testing::Message() << Quenzal::StringW(c.version).ToUtf8());
        outlook.explorerList.clear();
        outlook.inspectorList.clear();
        outlook.application->Value(L"Version") = c.version;
        CFakeRef explorer;
        CFakeRef inspector;
        CFakeRef composer;
        auto explorerBar = AddExplorer(explorer, 0);
        auto inspectorBar = AddInspector(inspector, true);
        ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
        auto composerBar = AddInspector(composer, false);
        outlook.inspectors->Events(Outlook::InspectorsEvents)
            .Fire(Outlook::NewInspector, {DispatchArgument(composer.Get())});
        EXPECT_EQ(c.explorerControls, explorerBar->controls.size());
        EXPECT_EQ(c.inspectorControls, inspectorBar->controls.size());
        EXPECT_EQ(0u, composerBar->controls.size());
        if (c.inspectorControls != 0) {
            CFakeObject& popup = *inspectorBar->controls[2];
            EXPECT_EQ(L"Attach Large File", Text(popup.Value(L"Caption")));
            EXPECT_EQ(0u, popup.GetSinkCount()); // a pop-up is no button
            EXPECT_FALSE(CFakeCommandBar::Click(inspectorBar->controls[0]));
            EXPECT_EQ('I', probe->lastWindow);
            EXPECT_EQ(0, probe->lastCommand);
        }
        EXPECT_EQ(S_OK, host.Disconnect());
        EXPECT_EQ(0u, explorer->GetSinkCount() + inspector->GetSinkCount());
        EXPECT_EQ(c.explorerControls, explorerBar->controls.size());
        for (const CFakeRef& control : explorerBar->controls)
            EXPECT_EQ(0u, control->GetSinkCount());
        ExpectOutlookReleased();
        ReloadAddIn();
        probe->commandBarToolbars = true;
    }
}

// No failure of a command, a window without command bars or a click without
// an action reaches Office.
TEST_F(CommandBarTest, FailuresStayInsideTheAddIn)
{
    probe->throwInClick = true;
    CFakeRef explorer;
    auto bar = AddExplorer(explorer, 0);
    CFakeRef bare = outlook.AddExplorer();
    bare->Property(L"CurrentFolder", static_cast<IDispatch*>(MakeFolder(0).Get()))
        .Property(L"CommandBars", static_cast<IDispatch*>(nullptr));
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
    EXPECT_EQ(4u, bare->GetSinkCount()); // a toolbar without buttons
    EXPECT_FALSE(CFakeCommandBar::Click(bar->controls[0]));
    EXPECT_EQ(1, probe->clicks);
    std::string log = AddInLog();
    EXPECT_NE(std::string::npos, log.find("command failed"));
    EXPECT_NE(std::string::npos, log.find("ERROR: Unable to retrieve command bars"));

    using namespace Quenzal::OutlookAddIn;
    QzlTest::CLogCapture capture;
    CFakeRef button = bar->AddControl(Office::ControlButton, L"Other");
    auto sink = CButtonEventSinkRef::Create(CButtonEventSink::Action());
    sink->Initialize(CDispatchObject(button.Get()));
    EXPECT_EQ(E_FAIL, RaisedComError([&] { sink->Initialize(CDispatchObject(button.Get())); })); // advised already
    EXPECT_FALSE(CFakeCommandBar::Click(button));
    EXPECT_TRUE(capture.Contains("bad_function_call"));
    sink->Uninitialize();
    EXPECT_EQ(0u, button->GetSinkCount());
}

#include "RibbonTestSupport.h"

#include <olectl.h>

using namespace QzlFake;

namespace {

constexpr const wchar_t* ExplorerRibbon = L"Microsoft.Outlook.Explorer";
constexpr const wchar_t* ComposeRibbon = L"Microsoft.Outlook.Mail.Compose";
constexpr const wchar_t* ReadRibbon = L"Microsoft.Outlook.Mail.Read";

std::wstring Text(const _variant_t& value)
{
    return value.vt == VT_BSTR && value.bstrVal != nullptr ? value.bstrVal : L"<no text>";
}

} // namespace

// Office asks every control of every window kind for its label, screen tip,
// super tip, enabled and visible state, its image and its pressed state, and
// clicks it; the add-in answers through its command ids.
TEST_F(RibbonTest, EveryControlAnswersInEachWindowKind)
{
    ConnectOutlook(L"16.0.0.5000", {ExplorerRibbon, ComposeRibbon, ReadRibbon});
    CFakeRef explorer = outlook.AddExplorer();
    CFakeRef inspector = outlook.AddInspector();
    struct Case {
        const wchar_t* ribbonId;
        const char* controlId;
        int command;
        const wchar_t* label;
        const wchar_t* tooltip;
    };
    const Case cases[] = {
        {ExplorerRibbon, "Quenzal.Test.Mark", 0, L"Mark as Spam", L"Classify message as Spam to the Quenzal Inbox Rampart"},
        {ExplorerRibbon, "Quenzal.Test.MarkMenu", 0, L"Mark as Spam",
         L"Classify message as Spam to the Quenzal Inbox Rampart"},
        {ExplorerRibbon, "Quenzal.Test.Flag", 2, L"Encrypt Message",
         L"Send the message securely using the Quenzal Sealed Mail Service"},
        {ExplorerRibbon, "Quenzal.Test.Link", 1, L"Attach Large File", L"Add link to large file"},
        {ComposeRibbon, "Quenzal.Test.Flag", 2, L"Encrypt Message",
         L"Send the message securely using the Quenzal Sealed Mail Service"},
        {ComposeRibbon, "Quenzal.Test.Link", 1, L"Attach Large File", L"Add link to large file"},
        {ReadRibbon, "Quenzal.Test.Mark", 0, L"Mark as Spam", L"Classify message as Spam to the Quenzal Inbox Rampart"},
        {ReadRibbon, "Quenzal.Test.Link", 1, L"Attach Large File", L"Add link to large file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.controlId);
        const TiXmlElement* element = ribbon->FindControl(c.ribbonId, c.controlId);
        ASSERT_NE(nullptr, element);
        bool toggle = strcmp(element->Value(), "toggleButton") == 0;
        IDispatch* window = c.ribbonId == ExplorerRibbon ? explorer.Get() : inspector.Get();
        _variant_t answer;
        EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, "getLabel", window, &answer));
        EXPECT_EQ(c.label, Text(answer));
        EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, "getScreentip", window, &answer));
        EXPECT_EQ(c.label, Text(answer));
        EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, "getSupertip", window, &answer));
        EXPECT_EQ(c.tooltip, Text(answer));
        for (const char* state : {"getEnabled", "getVisible"}) {
            EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, state, window, &answer));
            EXPECT_TRUE(answer.vt == VT_BOOL && answer.boolVal == VARIANT_TRUE) << state;
        }
        if (element->Attribute("getImage") != nullptr) {
            EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, "getImage", window, &answer));
            ASSERT_EQ(VT_DISPATCH, answer.vt);
            IPicture* picture = nullptr;
            ASSERT_EQ(S_OK, answer.pdispVal->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&picture)));
            SHORT type = PICTYPE_UNINITIALIZED;
            picture->get_Type(&type);
            EXPECT_EQ(PICTYPE_ICON, type);
            picture->Release();
        }
        if (toggle) {
            EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, "getPressed", window, &answer));
            EXPECT_TRUE(answer.vt == VT_BOOL && answer.boolVal == VARIANT_FALSE);
        }
        int clicks = probe->clicks;
        int toggles = probe->toggles;
        EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, "onAction", window, nullptr, true));
        EXPECT_EQ(clicks + 1, probe->clicks);
        EXPECT_EQ(c.command, probe->lastCommand);
        EXPECT_EQ(window == explorer.Get() ? 'E' : 'I', probe->lastWindow);
        EXPECT_EQ(toggles + (toggle ? 1 : 0), probe->toggles);
    }
    // The ribbon was handed to the add-in, which keeps it.
    EXPECT_LT(1u, ribbon->ribbonUi->GetReferenceCount());
}

TEST_F(RibbonTest, ClickGoesToTheWindowItCameFrom)
{
    ConnectOutlook(L"16.0.0.5000", {ExplorerRibbon});
    CFakeRef explorer = outlook.AddExplorer();
    CFakeRef inspector = outlook.AddInspector();
    CFakeRef other = CFakeObject::Create();
    auto click = [&](const wchar_t* callback, IDispatch* window, std::vector<_variant_t> more = {}) {
        std::vector<_variant_t> arguments = {
            _variant_t(static_cast<IDispatch*>(CFakeRibbonHost::MakeControl(L"quenzal.test.FLAG", window).Get()))};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return ribbon->Call(callback, arguments);
    };
    EXPECT_EQ(S_OK, click(L"OnRibbonButtonClicked", inspector.Get()));
    EXPECT_EQ('I', probe->lastWindow);
    EXPECT_EQ(S_OK, click(L"OnRibbonButtonClicked", explorer.Get()));
    EXPECT_EQ('E', probe->lastWindow);
    // A window that is neither is no command.
    EXPECT_EQ(S_OK, click(L"OnRibbonButtonClicked", other.Get()));
    EXPECT_EQ(2, probe->clicks);
    EXPECT_EQ(E_INVALIDARG, click(L"OnRibbonButtonClicked", nullptr));

    // Any pressed value but VARIANT_FALSE is pressed.
    _variant_t one;
    one.vt = VT_BOOL;
    one.boolVal = 1;
    EXPECT_EQ(S_OK, click(L"OnRibbonButtonToggled", inspector.Get(), {one}));
    EXPECT_TRUE(probe->lastPressed);
    EXPECT_EQ(S_OK, click(L"OnRibbonButtonToggled", inspector.Get(), {_variant_t(false)}));
    EXPECT_FALSE(probe->lastPressed);
    EXPECT_EQ(2, probe->toggles);

    // Not a control of the add-in, not a ribbon control at all.
    CFakeRef unknown = CFakeRibbonHost::MakeControl(L"Quenzal.Other", explorer.Get());
    EXPECT_EQ(E_FAIL, ribbon->Call(L"OnRibbonButtonClicked", {_variant_t(static_cast<IDispatch*>(unknown.Get()))}));
    EXPECT_EQ(E_INVALIDARG, ribbon->Call(L"OnRibbonButtonClicked", {_variant_t(static_cast<IDispatch*>(other.Get()))}));
    EXPECT_EQ(4, probe->clicks);
    EXPECT_NE(std::string::npos, AddInLog().find("Unable to get ribbon button ID from control"));

    // A command that fails, whatever it raises, is reported; Office sees a failure code.
    probe->throwInClick = true;
    EXPECT_EQ(E_FAIL, click(L"OnRibbonButtonClicked", explorer.Get()));
    EXPECT_NE(std::string::npos, AddInLog().find("command failed"));
}

// Every out-value is set on every path, also when the callback fails, so
// that Office never frees what it did not get.
TEST_F(RibbonTest, FailingCallbacksAnswerEmptyValues)
{
    probe->hiddenCommand = 1;
    ConnectOutlook(L"16.0.0.5000");
    IRibbonCallback* callbacks = nullptr;
    ASSERT_EQ(S_OK, host.GetAddIn()->QueryInterface(__uuidof(IRibbonCallback), reinterpret_cast<void**>(&callbacks)));
    CFakeRef explorer = outlook.AddExplorer();
    CFakeRef notAControl = CFakeObject::Create();
    CFakeRef broken = CFakeRibbonHost::MakeControl(L"Quenzal.Test.Broken", explorer.Get());
    CFakeRef link = CFakeRibbonHost::MakeControl(L"Quenzal.Test.Link", explorer.Get());
    CFakeRef unknown = CFakeRibbonHost::MakeControl(L"Quenzal.Other", explorer.Get());
    const auto garbage = reinterpret_cast<BSTR>(0x1);

    BSTR text = garbage;
    EXPECT_EQ(E_INVALIDARG, callbacks->GetRibbonButtonLabel(notAControl.Get(), &text));
    EXPECT_EQ(nullptr, text);
    text = garbage;
    EXPECT_EQ(E_POINTER, callbacks->GetRibbonButtonTooltip(nullptr, &text));
    EXPECT_EQ(nullptr, text);
    text = garbage;
    EXPECT_EQ(E_FAIL, callbacks->GetRibbonButtonTooltip(broken.Get(), &text));
    EXPECT_EQ(nullptr, text);
    text = garbage;
    EXPECT_EQ(S_OK, callbacks->GetRibbonMenuContent(link.Get(), &text));
    EXPECT_EQ(nullptr, text);
    // A message missing from the tables still makes a label.
    EXPECT_EQ(S_OK, callbacks->GetContextMenuLabel(broken.Get(), &text));
    EXPECT_STREQ(L"lid_9999", text);
    ::SysFreeString(text);

    IPictureDisp* image = reinterpret_cast<IPictureDisp*>(0x1);
    EXPECT_EQ(E_FAIL, callbacks->GetRibbonButtonImage(broken.Get(), &image));
    EXPECT_EQ(nullptr, image);
    image = reinterpret_cast<IPictureDisp*>(0x1);
    EXPECT_EQ(E_FAIL, callbacks->GetRibbonButtonImage(link.Get(), &image));
    EXPECT_EQ(nullptr, image);

    VARIANT_BOOL state = VARIANT_TRUE;
    EXPECT_EQ(S_OK, callbacks->GetRibbonButtonVisible(link.Get(), &state));
    EXPECT_EQ(VARIANT_FALSE, state);
    state = VARIANT_TRUE;
    EXPECT_EQ(E_FAIL, callbacks->GetRibbonButtonVisible(unknown.Get(), &state));
    EXPECT_EQ(VARIANT_FALSE, state);
    state = VARIANT_TRUE;
    EXPECT_EQ(S_OK, callbacks->GetRibbonButtonPressedState(link.Get(), &state));
    EXPECT_EQ(VARIANT_FALSE, state);
    EXPECT_EQ(E_POINTER, callbacks->GetRibbonButtonEnabled(notAControl.Get(), nullptr));
    // Office's own controls are enabled too.
    EXPECT_EQ(S_OK, callbacks->GetRibbonButtonEnabled(notAControl.Get(), &state));
    EXPECT_EQ(VARIANT_TRUE, state);

    std::string log = AddInLog();
    for (const char* reason : {"Unable to get button tooltip lid", "Unable to load ribbon button image",
                               "Unable to get ribbon button image resource ID"})
        EXPECT_NE(std::string::npos, log.find(reason)) << reason;

    // The ribbon of the last load is kept; an object that is no ribbon is refused.
    CFakeRef first = CFakeObject::Create({Office::RibbonUI});
    CFakeRef second = CFakeObject::Create({Office::RibbonUI});
    EXPECT_EQ(S_OK, callbacks->OnRibbonLoaded(first.Get()));
    EXPECT_EQ(2u, first->GetReferenceCount());
    EXPECT_EQ(S_OK, callbacks->OnRibbonLoaded(second.Get()));
    EXPECT_EQ(1u, first->GetReferenceCount());
    EXPECT_EQ(E_FAIL, callbacks->OnRibbonLoaded(notAControl.Get()));
    EXPECT_EQ(1u, second->GetReferenceCount());
    EXPECT_EQ(E_POINTER, callbacks->OnRibbonLoaded(nullptr));
    callbacks->Release();
}

#include "RibbonTestSupport.h"

using namespace QzlFake;

namespace {

constexpr const wchar_t* ExplorerRibbon = L"Microsoft.Outlook.Explorer";
constexpr const wchar_t* ComposeRibbon = L"Microsoft.Outlook.Mail.Compose";
constexpr const wchar_t* ReadRibbon = L"Microsoft.Outlook.Mail.Read";

std::wstring Text(const _variant_t& value)
{
    return value.vt == VT_BSTR && value.bstrVal != nullptr ? value.bstrVal : L"<no text>";
}

_variant_t Dispatch(const CFakeRef& object)
{
    return _variant_t(static_cast<IDispatch*>(object.Get()));
}

} // namespace

// Office asks every control of every window kind for its label, tips,
// enabled and visible state, image and pressed state, and clicks it; the
// add-in answers through its command ids and learns the window.
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
    const wchar_t* markTip = L"Classify message as Spam to the Quenzal Inbox Rampart";
    const wchar_t* flagTip = L"Send the message securely using the Quenzal Sealed Mail Service";
    const Case cases[] = {
        {ExplorerRibbon, "Quenzal.Test.Mark", 0, L"Mark as Spam", markTip},
        {ExplorerRibbon, "Quenzal.Test.MarkMenu", 0, L"Mark as Spam", markTip},
        {ExplorerRibbon, "Quenzal.Test.Flag", 2, L"Encrypt Message", flagTip},
        {ExplorerRibbon, "Quenzal.Test.Link", 1, L"Attach Large File", L"Add link to large file"},
        {ComposeRibbon, "Quenzal.Test.Flag", 2, L"Encrypt Message", flagTip},
        {ReadRibbon, "Quenzal.Test.Mark", 0, L"Mark as Spam", markTip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.controlId);
        IDispatch* window = c.ribbonId == ExplorerRibbon ? explorer.Get() : inspector.Get();
        auto ask = [&](const char* attribute) {
            _variant_t answer;
            EXPECT_EQ(S_OK, ribbon->CallControl(c.ribbonId, c.controlId, attribute, window, &answer)) << attribute;
            return answer;
        };
        EXPECT_EQ(c.label, Text(ask("getLabel")));
        EXPECT_EQ(c.label, Text(ask("getScreentip")));
        EXPECT_EQ(c.tooltip, Text(ask("getSupertip")));
        EXPECT_EQ(VARIANT_TRUE, ask("getEnabled").boolVal);
        EXPECT_EQ(VARIANT_TRUE, ask("getVisible").boolVal);
        const TiXmlElement* element = ribbon->FindControl(c.ribbonId, c.controlId);
        if (element->Attribute("getImage") != nullptr) {
            _variant_t image = ask("getImage");
            EXPECT_TRUE(image.vt == VT_DISPATCH && image.pdispVal != nullptr);
        }
        bool toggle = element->Attribute("getPressed") != nullptr;
        if (toggle) {
            EXPECT_EQ(VARIANT_FALSE, ask("getPressed").boolVal);
        }
        int toggles = probe->toggles;
        ask("onAction");
        EXPECT_EQ(c.command, probe->lastCommand);
        EXPECT_EQ(window == explorer.Get() ? 'E' : 'I', probe->lastWindow);
        EXPECT_EQ(toggles + (toggle ? 1 : 0), probe->toggles);
    }
    EXPECT_EQ(6, probe->clicks);
    // Any pressed value but VARIANT_FALSE is pressed; a window that is neither
    // explorer nor inspector is no command.
    _variant_t one(short(1));
    one.vt = VT_BOOL;
    CFakeRef flag = CFakeRibbonHost::MakeControl(L"quenzal.test.FLAG", inspector.Get());
    EXPECT_EQ(S_OK, ribbon->Call(L"OnRibbonButtonToggled", {Dispatch(flag), one}));
    EXPECT_TRUE(probe->lastPressed);
    flag->Value(L"Context") = static_cast<IDispatch*>(CFakeObject::Create().Get());
    EXPECT_EQ(S_OK, ribbon->Call(L"OnRibbonButtonClicked", {Dispatch(flag)}));
    EXPECT_EQ(7, probe->clicks);
    // The ribbon was handed to the add-in, which keeps it.
    EXPECT_LT(1u, ribbon->ribbonUi->GetReferenceCount());
}

// Every out-value is set on every path, also when the callback fails, so
// that Office never frees what it did not get; nothing a command raises
// reaches Office.
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

    using TextCallback = HRESULT (STDMETHODCALLTYPE IRibbonCallback::*)(IDispatch*, BSTR*);
    struct TextCase {
        TextCallback callback;
        IDispatch* control;
        HRESULT expected;
    };
    for (const TextCase& c : {TextCase{&IRibbonCallback::GetRibbonButtonLabel, notAControl.Get(), E_INVALIDARG},
                              TextCase{&IRibbonCallback::GetRibbonButtonTooltip, nullptr, E_POINTER},
                              TextCase{&IRibbonCallback::GetRibbonButtonTooltip, broken.Get(), E_FAIL},
                              TextCase{&IRibbonCallback::GetRibbonMenuContent, link.Get(), S_OK}}) {
        BSTR text = reinterpret_cast<BSTR>(0x1);
        EXPECT_EQ(c.expected, (callbacks->*c.callback)(c.control, &text));
        EXPECT_EQ(nullptr, text);
    }
    for (IDispatch* control : {broken.Get(), link.Get()}) {
        IPictureDisp* image = reinterpret_cast<IPictureDisp*>(0x1);
        EXPECT_EQ(E_FAIL, callbacks->GetRibbonButtonImage(control, &image));
        EXPECT_EQ(nullptr, image);
    }
    struct StateCase {
        IDispatch* control;
        HRESULT expected;
    };
    for (const StateCase& c : {StateCase{link.Get(), S_OK}, StateCase{unknown.Get(), E_FAIL}}) {
        VARIANT_BOOL visible = VARIANT_TRUE;
        EXPECT_EQ(c.expected, callbacks->GetRibbonButtonVisible(c.control, &visible));
        EXPECT_EQ(VARIANT_FALSE, visible);
    }
    std::string log = AddInLog();
    for (const char* reason : {"Unable to get button tooltip lid", "Unable to load ribbon button image",
                               "Unable to get ribbon button image resource ID"})
        EXPECT_NE(std::string::npos, log.find(reason)) << reason;

    // An object that is no ribbon is refused.
    EXPECT_EQ(E_FAIL, callbacks->OnRibbonLoaded(notAControl.Get()));

    // Clicks: not a ribbon control, not a command, no window, a failing command.
    CFakeRef windowless = CFakeRibbonHost::MakeControl(L"Quenzal.Test.Link", nullptr);
    for (IDispatch* control : {notAControl.Get(), unknown.Get(), windowless.Get()})
        EXPECT_NE(S_OK, ribbon->Call(L"OnRibbonButtonClicked", {_variant_t(control)}));
    EXPECT_EQ(0, probe->clicks);
    probe->throwInClick = true;
    EXPECT_EQ(E_FAIL, callbacks->OnRibbonButtonClicked(link.Get()));
    log = AddInLog();
    EXPECT_NE(std::string::npos, log.find("Unable to get ribbon button ID from control"));
    EXPECT_NE(std::string::npos, log.find("command failed"));
    callbacks->Release();
}

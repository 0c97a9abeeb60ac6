#include "RibbonTestSupport.h"

#include "OutlookAddInUtil.h"
#include "RibbonSupport.h"

using namespace QzlFake;

namespace {

constexpr const wchar_t* ExplorerRibbon = L"Microsoft.Outlook.Explorer";
constexpr const wchar_t* ComposeRibbon = L"Microsoft.Outlook.Mail.Compose";
constexpr const wchar_t* ReadRibbon = L"Microsoft.Outlook.Mail.Read";

std::string ExpectedXml(const char* file)
{
    return NormalizedXml(QzlTest::ReadWholeFile(Quenzal::StringW(L"OutlookAddIn/data/ribbon/") +
                                                 Quenzal::StringW::FromAnsi(file, CP_ACP)));
}

} // namespace

// Each window kind's document per Outlook version: the namespace, the tabs
// with the shared group, the contextual tab sets, the backstage, the context
// menus, and every element's attributes in case-insensitive order.
TEST_F(RibbonTest, DocumentOfEachRibbonKindPerOutlookVersion)
{
    struct Case {
        const wchar_t* version;
        const wchar_t* ribbonId;
        const char* expected;
    };
    const Case cases[] = {
        {L"12.0.4518.1014", ExplorerRibbon, "explorer-12.xml"},
        {L"14.0.7268.5000", ExplorerRibbon, "explorer-14.xml"},
        {L"16.0.0.5000", L"microsoft.outlook.EXPLORER", "explorer-16.xml"},
        {L"12.0.4518.1014", ComposeRibbon, "compose-12.xml"},
        {L"16.0.0.5000", ComposeRibbon, "compose-16.xml"},
        {L"16.0.0.5000", ReadRibbon, "read-16.xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ConnectOutlook(c.version, {c.ribbonId});
        EXPECT_EQ(ExpectedXml(c.expected), NormalizedXml(ribbon->GetXml(c.ribbonId)));
        Disconnect();
    }
}

TEST_F(RibbonTest, KindsWithoutButtonsGetNoDocument)
{
    ConnectOutlook(L"16.0.0.5000");
    for (int kind = 0; kind <= 20; ++kind) {
        std::wstring id = Quenzal::OutlookAddIn::GetRibbonId(kind);
        if (kind == 3 || kind == 5 || kind == 6)
            continue;
        SCOPED_TRACE(kind);
        EXPECT_EQ(S_OK, ribbon->Load(id));
        EXPECT_EQ("", ribbon->GetXml(id));
    }
    EXPECT_EQ(S_OK, ribbon->Load(L"Microsoft.Outlook.Unknown"));
    EXPECT_EQ("", ribbon->GetXml(L"Microsoft.Outlook.Unknown"));

    // Every out-value is set, also when the call fails.
    IRibbonExtensibility* extensibility = nullptr;
    ASSERT_EQ(S_OK, host.GetAddIn()->QueryInterface(__uuidof(IRibbonExtensibility),
                                                    reinterpret_cast<void**>(&extensibility)));
    BSTR xml = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(E_POINTER, extensibility->raw_GetCustomUI(nullptr, &xml));
    EXPECT_EQ(nullptr, xml);
    xml = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(S_OK, extensibility->raw_GetCustomUI(_bstr_t(L"Microsoft.Outlook.Task"), &xml));
    EXPECT_EQ(nullptr, xml);
    extensibility->Release();
}

// A group that comes out without buttons takes its tab, and the tabs and the
// ribbon when nothing else is left; the backstage stays.
TEST_F(RibbonTest, GroupsWithoutButtonsDisappear)
{
    probe->hideButtons = true;
    ConnectOutlook(L"16.0.0.5000", {ExplorerRibbon, ReadRibbon});
    EXPECT_EQ(ExpectedXml("explorer-16-hidden.xml"), NormalizedXml(ribbon->GetXml(ExplorerRibbon)));
    EXPECT_EQ("", ribbon->GetXml(ReadRibbon));
}

TEST(RibbonSupport, BuildersRefuseButtonsWithoutIdAndFindBackstageElements)
{
    using namespace Quenzal::OutlookAddIn;
    EXPECT_EQ(L"'id' attribute not found in ribbon element attributes",
              QzlTest::Raised([] { Ribbon::CreateToggleButton({{L"label", L"x"}}); }).GetDescription());
    // Looked up without letter case.
    EXPECT_EQ("<button ID=\"x\"/>\n", NormalizedXml(Ribbon::CreateButton({{L"ID", L"x"}}).CloseAndFormat()));

    struct Case {
        const wchar_t* id;
        int element;
    };
    for (const Case& c : {Case{L"Quenzal.NxoOutlookAddIn.logs", BackstageLogs}, Case{L"Quenzal.Other.STATUS", BackstageStatus},
                          Case{L"config", -1}, Case{L"Quenzal.NxoOutlookAddIn.", -1}, Case{L"a.unknown", -1}}) {
        QzlFake::CFakeRef control = QzlFake::CFakeRibbonHost::MakeControl(c.id, nullptr);
        EXPECT_EQ(c.element, Ribbon::GetBackstageElementFromControl(control.Get()));
    }
    EXPECT_EQ(E_POINTER, RaisedComError([] { Ribbon::GetBackstageElementFromControl(nullptr); }));
}

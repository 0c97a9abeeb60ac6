#include "RibbonTestSupport.h"

#include "AddInFamily.h"
#include "AddInPanel.h"
#include "Guid.h"
#include "Modules.h"
#include "Registry.h"

using namespace QzlFake;
using namespace Quenzal::OutlookAddIn;

namespace {

// A family member registered with COM under a new class id, its module at the given path.
std::unique_ptr<QzlTest::CComClassRegistration> RegisterMember(int index, const Quenzal::StringW& path)
{
    Quenzal::StringW classId = Quenzal::StringW::FromAnsi(Quenzal::Guid::ToString(Quenzal::CreateGuid()), CP_ACP);
    return std::make_unique<QzlTest::CComClassRegistration>(GetQuenzalAddInProgId(index), classId, path);
}

Quenzal::StringW ThisProgram()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

} // namespace

TEST(AddInFamily, TableOfTheThreeMembers)
{
    for (int index : {-1, 3}) {
        EXPECT_EQ(L"Unexpected case", QzlTest::Raised([&] { GetQuenzalAddInProgId(index); }).GetDescription());
        EXPECT_EQ(L"Unexpected case", QzlTest::Raised([&] { GetQuenzalAddInBitmapResourceId(index); }).GetDescription());
        EXPECT_EQ(L"", GetQuenzalAddInVersion(index)); // reported, never raised
    }
    // This program stands for member 1: its bitmap is here, member 0's is not.
    EXPECT_TRUE(LoadQuenzalAddInBitmap(1));
    EXPECT_FALSE(LoadQuenzalAddInBitmap(0));
}

// Members are found through their COM registration and Outlook's COM
// add-ins; the family shares one vertical box per tab only when every
// connected member is new enough to know it. (Members 1 and 2 only: the
// product's own registration belongs to the product's tests.)
TEST_F(RibbonTest, FamilyMembersFoundThroughTheirRegistration)
{
    auto older = RegisterMember(1, ThisProgram());
    auto current = RegisterMember(2, Quenzal::Os::GetModulePath(host.GetModule()));
    GUID classId = {};
    Quenzal::Guid::Parse(older->GetClassId(), classId);
    EXPECT_EQ(classId, GetQuenzalAddInClassId(1));
    EXPECT_EQ(ThisProgram(), GetQuenzalAddInServerPath(1));
    EXPECT_EQ(L"3.0.9.0", GetQuenzalAddInVersion(1));
    EXPECT_EQ(L"5.1.2.3", GetQuenzalAddInVersion(2));

    const wchar_t* explorerRibbon = L"Microsoft.Outlook.Explorer";
    ConnectOutlook(L"16.0.0.5000");
    auto vertical = [&] {
        EXPECT_EQ(S_OK, ribbon->Load(explorerRibbon));
        return ribbon->GetXml(explorerRibbon).find("boxStyle=\"vertical\"") != std::string::npos;
    };
    outlook.AddComAddIn(L"Quenzal.VrlOutlookAddIn");
    EXPECT_TRUE(vertical());
    CFakeRef ledger = outlook.AddComAddIn(L"Quenzal.LvtOutlookAddIn");
    EXPECT_FALSE(vertical());
    EXPECT_NE(std::string::npos,
              AddInLog().find("WARNING: Detected older version '3.0.9.0' of add-in 'Quenzal Ledger Vault'; unable to use "
                              "vertical groups"));
    ledger->Value(L"Connect") = false; // listed, switched off
    EXPECT_TRUE(vertical());

    current.reset();
    EXPECT_EQ(CO_E_CLASSSTRING, RaisedComError([] { GetQuenzalAddInClassId(2); }));
    EXPECT_FALSE(vertical());
    EXPECT_NE(std::string::npos, AddInLog().find("WARNING: Unable to determine version of add-in 'Quenzal Voice Relay'"));
}

// A panel per member on the options page: buttons for a member that is
// there, a disabled Options button and a note for one that is not.
TEST_F(AddInTest, PanelsShowEachMembersState)
{
    HWND page = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, page);
    IOutlookAddIn* addIn = nullptr;
    ASSERT_EQ(S_OK, host.GetAddIn()->QueryInterface(__uuidof(IOutlookAddIn), reinterpret_cast<void**>(&addIn)));
    const RECT area = {10, 10, 400, 300};
    CAddInPanel present(1, addIn, false);
    CAddInPanel disabled(2, nullptr, true);
    addIn->Release();
    present.Create(page, {10, 10}, area);
    disabled.Create(page, {10, 10 + CAddInPanel::Pitch}, area);

    RECT options = {};
    RECT viewLog = {};
    ::GetWindowRect(present.GetOptionsButton(), &options);
    ::GetWindowRect(present.GetViewLogButton(), &viewLog);
    EXPECT_EQ(CAddInPanel::ButtonWidth + 10, options.left - viewLog.left);
    wchar_t text[64] = {};
    ::GetWindowTextW(present.GetViewLogButton(), text, 64);
    EXPECT_STREQ(L"View Log...", text);
    EXPECT_TRUE(::IsWindowEnabled(present.GetOptionsButton()));
    EXPECT_EQ(nullptr, disabled.GetViewLogButton());
    EXPECT_FALSE(::IsWindowEnabled(disabled.GetOptionsButton()));
    EXPECT_EQ(L"5.1.2", present.GetVersion());

    // Drawn into a bitmap: the separator in the pen's colour, the member's icon.
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 500, 400);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ previous = ::SelectObject(dc, bitmap);
    HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    QzlTest::CLogCapture log;
    for (int paint = 0; paint < 2; ++paint) {
        present.Draw(dc, {10, 10}, area, pen);
        disabled.Draw(dc, {10, 10 + CAddInPanel::Pitch}, area, pen);
    }
    SIZE title = {};
    ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::GetTextExtentPoint32W(dc, L"Quenzal Ledger Vault", 20, &title);
    EXPECT_EQ(RGB(255, 0, 0), ::GetPixel(dc, area.right - 2, 10 + title.cy / 2));
    EXPECT_EQ(RGB(200, 80, 40), ::GetPixel(dc, 10 + 9 + 27, 10 + title.cy + 9 + 27));
    // Member 2's icon is not in this module: said once, not on every paint.
    EXPECT_EQ(1u, QzlTest::CountOf(log.Text(), "Unable to load logo resource: Quenzal Voice Relay"));
    ::SelectObject(dc, previous);
    ::DeleteObject(pen);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::DestroyWindow(page);
}

#include "DispatchObject.h"
#include "FakeObject.h"
#include "OutlookAddInUtil.h"

#include "DateTime.h"
#include "Registry.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;
using QzlFake::CFakeObject;
using QzlFake::CFakeRef;

namespace {

// The HRESULT and description of the CComError that body raises.
template <class F>
std::pair<HRESULT, StringW> RaisedComError(F&& body)
{
    try {
        body();
    } catch (const CComError& e) {
        return {e.GetHResult(), e.GetDescription()};
    }
    ADD_FAILURE() << "no COM error";
    return {S_OK, StringW()};
}

StringW ClickToRunKey(int version)
{
    return StringW::Format(L"Software\\Microsoft\\Office\\%d.0\\Common\\InstallRoot\\Virtual", version);
}

} // namespace

// The search stops at the first version that has the marker.
TEST(OutlookAddInUtilTest, ClickToRunMarkerIsFoundAndLogged)
{
    QzlTest::CLogCapture log;
    EXPECT_FALSE(IsOutlookClickToRun());
    for (int version : {15, 16})
        Os::SetRegistryString(Os::CreateSubkey(HKEY_LOCAL_MACHINE, ClickToRunKey(version).c_str()).Get(),
                              L"VirtualOutlook", StringW::Format(L"C:\\Office%d\\outlook.exe", version));
    EXPECT_TRUE(IsOutlookClickToRun());
    for (int version : {15, 16})
        Os::TryDeleteRegistryKey(HKEY_LOCAL_MACHINE, ClickToRunKey(version).c_str());
    EXPECT_TRUE(log.Contains("Outlook Click-to-Run found: Software\\Microsoft\\Office\\15.0\\Common\\InstallRoot"
                             "\\Virtual\\VirtualOutlook = \"C:\\Office15\\outlook.exe\""));
    EXPECT_FALSE(log.Contains("Office16"));
}

TEST(OutlookAddInUtilTest, NamesEveryConnectionMode)
{
    std::istringstream table(QzlTest::ReadWholeFile(L"OutlookAddIn/data/connection-modes.txt"));
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        ++rows;
        const size_t tab = line.find('\t');
        EXPECT_EQ(StringW::FromAnsi(line.substr(tab + 1), CP_UTF8), GetExchangeConnectionModeName(std::stol(line)))
            << line;
    }
    EXPECT_EQ(11, rows);
}

TEST(OutlookAddInUtilTest, NamesAndTexts)
{
    EXPECT_EQ(3, GetRibbonKind(L"microsoft.outlook.EXPLORER"));
    EXPECT_EQ(-1, GetRibbonKind(L"Microsoft.Outlook.Explorer.Extra"));
    EXPECT_EQ(L"Microsoft.Outlook.Task", GetRibbonId(20));
    AddRibbonId(L"Microsoft.Outlook.Test", 42);
    EXPECT_EQ(42, GetRibbonKind(L"MICROSOFT.OUTLOOK.TEST"));

    // Restrict filters always carry the time, midnight included.
    EXPECT_EQ(L"", FormatRestrictionDateTime(0.0));
    DATE midnight = 45000.0;
    EXPECT_NE(DateTime(midnight).ToString(false), FormatRestrictionDateTime(midnight));
    EXPECT_EQ(0u, FormatRestrictionDateTime(midnight).find(DateTime(midnight).ToString(false)));
}

TEST(OutlookAddInUtilTest, AttachmentFileNameOrEmpty)
{
    QzlTest::CLogCapture log;
    CFakeRef attachment = CFakeObject::Create();
    attachment->Property(L"FileName", L"report.pdf");
    EXPECT_EQ(L"report.pdf", TryGetAttachmentFilename(CDispatchObject(attachment.Get())));
    CFakeRef other = CFakeObject::Create();
    EXPECT_EQ(L"", TryGetAttachmentFilename(CDispatchObject(other.Get())));
    EXPECT_EQ(L"", TryGetAttachmentFilename(CDispatchObject()));
    EXPECT_EQ(2u, QzlTest::CountOf(log.Text(), "Quenzal::OutlookAddIn::TryGetAttachmentFilename"));
}

// Members by name: ids looked up once per object, arguments in declaration
// order, Outlook's failures as CComError naming the member.
TEST(DispatchObjectTest, CallsMembersByName)
{
    QzlTest::CLogCapture log;
    CFakeRef fake = CFakeObject::Create();
    fake->Property(L"Subject", L"Hello")
        .Method(L"Combine",
                [](const QzlFake::Values& a) { return _variant_t(static_cast<long>(a[0]) * 10 + static_cast<long>(a[1])); })
        .Method(L"Fail", [](const QzlFake::Values&) -> _variant_t { throw E_ACCESSDENIED; });
    CDispatchObject object(fake.Get());
    CDispatchObject copy = object;
    EXPECT_EQ(L"Hello", object.GetString(L"Subject"));
    copy.Put(L"subject", _variant_t(L"Changed"));
    EXPECT_EQ(L"Changed", copy.GetString(L"SUBJECT"));
    EXPECT_EQ(1, fake->GetNameLookupCount());
    EXPECT_EQ(12, object.GetLong(L"Combine", {_variant_t(1L), _variant_t(2L)}));

    auto [failure, description] = RaisedComError([&] { object.Call(L"Fail"); });
    EXPECT_EQ(E_ACCESSDENIED, failure);
    EXPECT_NE(std::wstring::npos, description.find(L"'Fail'"));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, RaisedComError([&] { object.Get(L"Missing"); }).first);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, RaisedComError([&] { object.GetDispatch(L"Subject"); }).first);
    EXPECT_EQ(E_POINTER, RaisedComError([] { CDispatchObject().Get(L"Subject"); }).first);
    EXPECT_TRUE(log.Contains("Throwing exception"));

    // Asking for an interface the object lacks gives the empty object.
    EXPECT_FALSE(CDispatchObject::Query(static_cast<IDispatch*>(fake.Get()), __uuidof(IClassFactory)));
    EXPECT_FALSE(object.Supports(__uuidof(IClassFactory)));
}

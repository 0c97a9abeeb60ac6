#include "AddInTestSupport.h"

#include "Os.h"
#include "Registry.h"

namespace {

Quenzal::StringW TestAddInPath()
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return Quenzal::Os::CombinePath(Quenzal::Os::GetDirectoryFromPath(exe), L"QzlTestAddIn.dll");
}

} // namespace

QzlFake::CFakeRef MakeMailItem(bool sent)
{
    QzlFake::CFakeRef item = QzlFake::CFakeObject::Create({QzlFake::Outlook::Iid(0x00063034)});
    item->Property(L"Sent", sent);
    return item;
}

QzlFake::CFakeRef MakeFolder(long defaultItemType)
{
    QzlFake::CFakeRef folder = QzlFake::CFakeObject::Create();
    folder->Property(L"DefaultItemType", defaultItemType);
    return folder;
}

AddInTest::AddInTest() : host(outlook, TestAddInPath(), CLSID_QzlTestAddIn, L"Quenzal.TestAddIn") {}

void AddInTest::SetUp()
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_logPath = QzlTest::UniqueTempPath(L"addin");
    ASSERT_NO_FATAL_FAILURE(ReloadAddIn());
}

void AddInTest::ReloadAddIn()
{
    ASSERT_NO_FATAL_FAILURE(host.Load());
    probe = host.GetExport<TestAddInProbe*()>("QzlTestAddInProbe")();
    probe->setLogPath(m_logPath.c_str());
}

void AddInTest::TearDown()
{
    host.Disconnect();
    host.Unload();
    ::DeleteFileW(m_logPath.c_str());
    ::CoUninitialize();
}

void AddInTest::ExpectOutlookReleased()
{
    EXPECT_EQ(0u, outlook.GetSinkCount());
    EXPECT_EQ(1u, outlook.application->GetReferenceCount());
    _variant_t object = outlook.FindComAddIn(L"Quenzal.TestAddIn")->Value(L"Object");
    EXPECT_TRUE(object.vt == VT_DISPATCH && object.pdispVal == nullptr);
    EXPECT_EQ(S_OK, host.Unload());
}

std::unique_ptr<QzlTest::CNamedTestLock> QzlTest::TakeProductTurn()
{
    return std::make_unique<CNamedTestLock>(L"Local\\QuenzalTest.NxoSettings");
}

bool QzlTest::PumpUntil(const std::function<bool()>& done)
{
    for (DWORD start = ::GetTickCount(); !done();) {
        if (::GetTickCount() - start > 60000)
            return false;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&message);
        ::Sleep(1);
    }
    return true;
}

#include "AddInTestSupport.h"

#include "SmartPointer.h"

using namespace QzlFake;

// Office finds the ribbon callbacks by name on the add-in's IDispatch, which
// the type library in the add-in's resources describes.
TEST_F(AddInTest, RibbonCallbacksAreCalledByNameThroughTheTypeLibrary)
{
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, host.GetAddIn()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    const wchar_t* names[] = {L"getribbonbuttonenabled", L"OnRibbonLoaded", L"GetBackstageElementLabel"};
    DISPID ids[3] = {};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(&names[i]), 1, 0, &ids[i]));
    EXPECT_NE(ids[0], ids[1]);
    LPOLESTR unknown = const_cast<LPOLESTR>(L"OnConnection");
    DISPID unknownId = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &unknownId));

    CFakeRef control = CFakeObject::Create();
    VARIANT argument = DispatchArgument(control.Get());
    DISPPARAMS parameters = {&argument, nullptr, 1, 0};
    _variant_t enabled;
    ASSERT_EQ(S_OK, dispatch->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &parameters, &enabled, nullptr, nullptr));
    EXPECT_EQ(VT_BOOL, enabled.vt);
    EXPECT_EQ(VARIANT_TRUE, enabled.boolVal);
    // A null control is refused, not dereferenced.
    argument.pdispVal = nullptr;
    EXPECT_NE(S_OK, dispatch->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &parameters, &enabled, nullptr, nullptr));
    dispatch->Release();
}

TEST_F(AddInTest, VersionGivesTheFirstThreeNumbersOfTheFileVersion)
{
    IOutlookAddIn* addIn = nullptr;
    ASSERT_EQ(S_OK, host.GetAddIn()->QueryInterface(__uuidof(IOutlookAddIn), reinterpret_cast<void**>(&addIn)));
    BSTR version = nullptr;
    EXPECT_EQ(S_OK, addIn->GetVersion(&version));
    EXPECT_STREQ(L"5.1.2", version);
    ::SysFreeString(version);
    EXPECT_EQ(E_POINTER, addIn->GetVersion(nullptr));
    addIn->Release();
}

// An unlock that nothing locked for holds nothing back.
TEST_F(AddInTest, ModuleStaysLoadedWhileAnObjectOrLockLives)
{
    EXPECT_EQ(S_FALSE, host.Unload()); // the add-in object lives
    auto getClassObject = host.GetExport<HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**)>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IDispatch, IID_IClassFactory,
                                                        reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, getClassObject(CLSID_QzlTestAddIn, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_OK, host.Disconnect()); // never connected: nothing to take down
    EXPECT_EQ(1, probe->getLockCount());
    EXPECT_EQ(S_FALSE, host.Unload());
    ASSERT_EQ(S_OK, getClassObject(CLSID_QzlTestAddIn, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(S_OK, host.Unload());
}

// Work on the thread pool keeps the module until its thread has left the
// module's code, also after the work's waiters woke.
TEST_F(AddInTest, ModuleStaysLoadedWhilePoolWorkRuns)
{
    EXPECT_EQ(S_OK, host.Disconnect());
    Quenzal::Os::CHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Quenzal::Os::CHandle completed(probe->queueLingeringWork(release.Get()));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(completed.Get(), 60000));
    EXPECT_EQ(S_FALSE, host.Unload());
    ::SetEvent(release.Get());
    for (int i = 0; i < 3000 && host.Unload() != S_OK; ++i)
        ::Sleep(10);
    EXPECT_EQ(nullptr, host.GetModule());
}

// On Outlook versions without the backstage the family's one options page
// is added, once for the whole family; a missing registration is repaired.
TEST_F(AddInTest, OptionsPageIsAddedOnceForTheFamily)
{
    auto unregistered = QzlTest::CComClassRegistration::TakeTurn(L"Quenzal.OutlookPropPage");
    outlook.application->Value(L"Version") = L"12.0.4518.1014";
    ASSERT_EQ(S_OK, host.Connect(ext_cm_Startup));
    std::vector<CFakeRef> pages;
    CFakeRef propertyPages = outlook.MakePropertyPages(pages);
    outlook.FireOptionsPagesAdd(propertyPages.Get());
    ASSERT_EQ(1u, pages.size());
    EXPECT_STREQ(L"Quenzal.OutlookPropPage", _bstr_t(pages[0]->Value(L"ProgID")));
    EXPECT_STREQ(L"Quenzal Networks", _bstr_t(pages[0]->Value(L"Title")));
    EXPECT_EQ(1, probe->registrations); // the page's class is not registered here

    // A page of another family member answers the page interface.
    pages[0] = CFakeObject::Create({__uuidof(IOutlookPropPage)});
    outlook.FireOptionsPagesAdd(propertyPages.Get());
    EXPECT_EQ(1u, pages.size());
    EXPECT_NE(std::string::npos, AddInLog().find("property page found in collection; aborting"));
}

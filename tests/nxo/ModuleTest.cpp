// The module as Windows and COM meet it: regsvr32 in the test prefix, the
// class objects and unloading.
#include "ComRegistrar.h"
#include "CreateProcess.h"
#include "OutlookPropPage.h"
#include "Path.h"
#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <algorithm>
#include <sstream>

using namespace Quenzal;
using Quenzal::OutlookAddIn::GuidToString;

namespace {

const wchar_t* const AddInsKey = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Quenzal.NxoOutlookAddIn";
const wchar_t* const DisabledItems16 = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\DisabledItems";

StringW ModulePath(const wchar_t* name = L"NxoOutlookAddIn.dll")
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return Os::CombinePath(Os::GetDirectoryFromPath(exe), name);
}

// What the module's type library declares: itself, the add-in's class, then the interfaces.
std::vector<GUID> ReadModuleIds()
{
    ITypeLib* library = nullptr;
    EXPECT_EQ(S_OK, ::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library));
    TLIBATTR* libraryAttributes = nullptr;
    library->GetLibAttr(&libraryAttributes);
    std::vector<GUID> ids{libraryAttributes->guid, GUID{}};
    library->ReleaseTLibAttr(libraryAttributes);
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ITypeInfo* info = nullptr;
        TYPEATTR* attributes = nullptr;
        library->GetTypeInfo(i, &info);
        info->GetTypeAttr(&attributes);
        if (attributes->typekind == TKIND_COCLASS)
            ids[1] = attributes->guid;
        else
            ids.push_back(attributes->guid);
        info->ReleaseTypeAttr(attributes);
        info->Release();
    }
    library->Release();
    return ids;
}

// Every key and value below the path, as text; nothing when it is absent.
void Dump(HKEY root, const std::wstring& path, std::wstring& out)
{
    Os::CRegistryKey key;
    if (!key.TryOpen(root, path.c_str(), KEY_READ))
        return;
    out += path + L"\n";
    wchar_t name[512];
    BYTE data[2048];
    DWORD length = 512, size = sizeof(data), type = 0;
    for (DWORD i = 0; ::RegEnumValueW(key.Get(), i, name, &length, nullptr, &type, data, &size) == 0; ++i) {
        auto text = reinterpret_cast<const wchar_t*>(data);
        out += path + L"|" + name + L"|" +
               (type == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data))
                                  : std::wstring(text, wcsnlen(text, size / 2))) + L"\n";
        length = 512, size = sizeof(data);
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0; ::RegEnumKeyW(key.Get(), i, name, 512) == 0; ++i)
        subkeys.push_back(path + L"\\" + name);
    for (const std::wstring& subkey : subkeys)
        Dump(root, subkey, out);
}

// What the module's classes and type library hold under HKEY_CLASSES_ROOT.
std::wstring ClassesSnapshot(const std::vector<GUID>& ids)
{
    std::wstring out;
    Dump(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidToString(ids.front()), out);
    for (const GUID& id : ids) {
        Dump(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidToString(id), out);
        Dump(HKEY_CLASSES_ROOT, L"Interface\\" + GuidToString(id), out);
    }
    Dump(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidToString(OutlookAddIn::CLSID_OutlookPropPage), out);
    for (const wchar_t* progId : {L"Quenzal.NxoOutlookAddIn", L"Quenzal.NxoOutlookAddIn.1", L"Quenzal.OutlookPropPage",
                                  L"Quenzal.OutlookPropPage.1"})
        Dump(HKEY_CLASSES_ROOT, progId, out);
    return out;
}

std::wstring Snapshot(const std::vector<GUID>& ids)
{
    std::wstring out = ClassesSnapshot(ids);
    Dump(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\Outlook", out);
    Dump(HKEY_CURRENT_USER, AddInsKey, out);
    return out;
}

// Other software's key below every key of the dump.
void AddForeignKeys(HKEY root, const std::wstring& dump)
{
    std::wistringstream lines(dump);
    for (std::wstring line; std::getline(lines, line);)
        if (line.find(L'|') == std::wstring::npos)
            Os::CreateSubkey(root, (line + L"\\Foreign").c_str());
}

DWORD RunRegsvr32(const wchar_t* options)
{
    Os::CHandle process = Os::CreateProcess(L"regsvr32.exe", options + (L" \"" + ModulePath() + L"\"")).Execute();
    DWORD code = 1;
    if (::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

// The prefix is left unregistered, also when the test fails half-way.
struct Unregister {
    ~Unregister() { RunRegsvr32(L"/s /u"); }
};

void SetDisabledItem(HKEY key, const wchar_t* name, const std::wstring& path)
{
    Os::SetRegistryDataW(key, name, REG_BINARY, std::string(reinterpret_cast<const char*>(path.data()), path.size() * 2));
}

} // namespace

// Registered twice and unregistered, the module leaves the registry as it
// found it, also when other software added keys below its own. Registered, it
// is found by ProgID and served from its file, has one machine-wide Outlook
// entry and no per-user one, and has cleared every record of it from
// Outlook's disabled items.
TEST(ModuleTest, RegistersWithOutlookAndUnregistersWithoutTrace)
{
    // The framework's tests register the options page class for a while; taken
    // first, as they take it before the others.
    QzlTest::CNamedTestLock pageClass(L"Local\\QuenzalTest.Class.Quenzal.OutlookPropPage");
    QzlTest::CNamedTestLock lock(L"Local\\QuenzalTest.OfficeDisabledItems");
    // No flow loads the add-in while it is registered: registered, it counts itself in the family.
    QzlTest::CNamedTestLock flows(L"Local\\QuenzalTest.NxoSettings");
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::vector<GUID> ids = ReadModuleIds();
    const std::wstring before = Snapshot(ids);
    ASSERT_EQ(std::wstring::npos, before.find(L"Addins\\Quenzal")) << "the test prefix has the add-in registered";
    Unregister unregister;
    QzlTest::CRegistryPathCleanup disabledCleanup(HKEY_CURRENT_USER, DisabledItems16);
    QzlTest::CRegistryPathCleanup userCleanup(HKEY_CURRENT_USER, AddInsKey);
    // Another add-in's entry: Outlook's key stays for it.
    const wchar_t* const otherAddIn = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Other.AddIn";
    QzlTest::CRegistryPathCleanup otherCleanup(HKEY_LOCAL_MACHINE, otherAddIn);
    ASSERT_FALSE(disabledCleanup.Existed());
    {
        Os::CRegKeyHandle disabled = Os::CreateSubkey(HKEY_CURRENT_USER, DisabledItems16);
        for (const wchar_t* name : {L"a", L"b", L"c"})
            SetDisabledItem(disabled.Get(), name, L"c:\\addins\\nxooutlookaddin.dll");
        SetDisabledItem(disabled.Get(), L"other", L"c:\\addins\\other.dll");
        Os::SetRegistryDword(Os::CreateSubkey(HKEY_CURRENT_USER, AddInsKey).Get(), L"LoadBehavior", 2);
        Os::CreateSubkey(HKEY_CURRENT_USER, (std::wstring(AddInsKey) + L"\\Foreign").c_str());
    }

    ASSERT_EQ(0u, RunRegsvr32(L"/s"));
    Os::CreateSubkey(HKEY_LOCAL_MACHINE, otherAddIn);
    ASSERT_EQ(0u, RunRegsvr32(L"/s"));
    std::wstring registered;
    Dump(HKEY_LOCAL_MACHINE, AddInsKey, registered);
    EXPECT_EQ(std::wstring(AddInsKey) + L"\n" + AddInsKey + L"|CommandLineSafe|0\n" + AddInsKey +
                  L"|FriendlyName|Quenzal Inbox Rampart Outlook Add-In\n" + AddInsKey + L"|LoadBehavior|3\n",
              registered);
    EXPECT_FALSE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, AddInsKey));
    std::wstring disabledLeft;
    Dump(HKEY_CURRENT_USER, DisabledItems16, disabledLeft);
    EXPECT_EQ(1u, std::count(disabledLeft.begin(), disabledLeft.end(), L'|') / 2) << disabledLeft;
    EXPECT_NE(std::wstring::npos, disabledLeft.find(L"|other|"));
    std::wstring server = L"CLSID\\" + GuidToString(ids[1]) + L"\\InprocServer32";
    EXPECT_EQ(L"Apartment", Os::TryGetRegistryString(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel"));
    // Only the add-in's class is marked programmable with the type library.
    const std::pair<GUID, bool> classes[] = {{ids[1], true}, {OutlookAddIn::CLSID_OutlookPropPage, false}};
    for (auto [id, programmable] : classes)
        for (const wchar_t* mark : {L"\\Programmable", L"\\TypeLib"})
            EXPECT_EQ(programmable,
                      QzlTest::RegistryKeyExists(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidToString(id) + mark).c_str()));

    // Outlook's way in: the ProgID, then the server the registry names.
    CLSID clsid{};
    ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"Quenzal.NxoOutlookAddIn", &clsid));
    EXPECT_EQ(ids[1], clsid);
    IDispatch* addIn = nullptr;
    ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&addIn)));
    addIn->Release();
    // The options page Outlook adds by ProgID, from the same file.
    ASSERT_EQ(S_OK, ::CLSIDFromProgID(OutlookAddIn::OutlookPropPageProgId, &clsid));
    EXPECT_EQ(OutlookAddIn::CLSID_OutlookPropPage, clsid);
    server = L"CLSID\\" + GuidToString(clsid) + L"\\InprocServer32";
    EXPECT_EQ(L"Both", Os::TryGetRegistryString(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel"));
    IDispatch* page = nullptr;
    ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&page)));
    page->Release();

    AddForeignKeys(HKEY_CLASSES_ROOT, ClassesSnapshot(ids));
    AddForeignKeys(HKEY_LOCAL_MACHINE, registered);
    ASSERT_EQ(0u, RunRegsvr32(L"/s /u"));
    EXPECT_TRUE(QzlTest::RegistryKeyExists(HKEY_LOCAL_MACHINE, otherAddIn));
    Os::DeleteRegistryKey(HKEY_LOCAL_MACHINE, otherAddIn);
    ASSERT_EQ(0u, RunRegsvr32(L"/s /u")) << "unregistering what is not registered";
    Os::DeleteRegistryValue(Os::CreateSubkey(HKEY_CURRENT_USER, DisabledItems16).Get(), L"other");
    EXPECT_EQ(before, Snapshot(ids));
    ::CoUninitialize();
}

// The class factory keeps the module loaded while it or anything it made
// lives, and while a client holds a server lock; other classes are refused.
TEST(ModuleTest, ServesItsClassObjectAndUnloadsWhenNothingHoldsIt)
{
    const std::vector<GUID> ids = ReadModuleIds();
    HMODULE module = ::LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(nullptr, module);
    auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow && ::GetProcAddress(module, "OpenLinkW"));
    // jsoncpp's classes, which the module exports for its users (Json::Value(), Json::Reader()).
    EXPECT_TRUE(::GetProcAddress(module, "_ZN4Json5ValueC1ENS_9ValueTypeE") &&
                ::GetProcAddress(module, "_ZN4Json6ReaderC1Ev"));

    void* none = &none;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(ids.front(), IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);
    IClassFactory* factory = nullptr;
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, getClassObject(ids[1], IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(reinterpret_cast<IUnknown*>(&none), IID_IUnknown,
                                                             reinterpret_cast<void**>(&object)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    object->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow()) << "the server lock keeps it";
    ASSERT_EQ(S_OK, getClassObject(ids[1], IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(S_OK, canUnloadNow());
    ::FreeLibrary(module);
}

// Outlook may load and free the module many times in one process; so may the
// framework's other add-ins.
TEST(ModuleTest, LoadedAndFreedManyTimesLeavesNothingBehind)
{
    for (const wchar_t* name : {L"NxoOutlookAddIn.dll", L"QzlTestAddIn.dll"}) {
        const auto before = QzlTest::ProcessLeftovers();
        for (int round = 0; round < 300; ++round) {
            HMODULE module = ::LoadLibraryW(ModulePath(name).c_str());
            ASSERT_NE(nullptr, module) << StringW(name).ToUtf8();
            ::FreeLibrary(module);
        }
        // Handles that earlier tests left to the pool may close meanwhile.
        const auto after = QzlTest::ProcessLeftovers();
        EXPECT_EQ(before.first, after.first) << StringW(name).ToUtf8();
        EXPECT_LE(after.second, before.second + 8) << StringW(name).ToUtf8();
    }
}

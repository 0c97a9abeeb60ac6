// The module as Windows and COM meet it: regsvr32 in the test prefix, the
// class objects and unloading, and the link opener behind OpenLinkW.
#include "File.h"
#include "LinkOpener.h"
#include "Path.h"
#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <map>
#include <memory>

using namespace Quenzal;

namespace {

const wchar_t* const AddInsKey = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Quenzal.NxoOutlookAddIn";
const wchar_t* const DisabledItems16 = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\DisabledItems";

StringW ModulePath()
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return Os::CombinePath(Os::GetDirectoryFromPath(exe), L"NxoOutlookAddIn.dll");
}

StringW ToText(const GUID& guid)
{
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

// The class and the interfaces the module's type library declares.
struct ModuleIds {
    GUID library{}, addIn{};
    std::vector<GUID> interfaces;
};

ModuleIds ReadModuleIds()
{
    ModuleIds ids;
    ITypeLib* library = nullptr;
    EXPECT_EQ(S_OK, ::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library));
    TLIBATTR* libraryAttributes = nullptr;
    library->GetLibAttr(&libraryAttributes);
    ids.library = libraryAttributes->guid;
    library->ReleaseTLibAttr(libraryAttributes);
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ITypeInfo* info = nullptr;
        library->GetTypeInfo(i, &info);
        TYPEATTR* attributes = nullptr;
        info->GetTypeAttr(&attributes);
        if (attributes->typekind == TKIND_COCLASS)
            ids.addIn = attributes->guid;
        else
            ids.interfaces.push_back(attributes->guid);
        info->ReleaseTypeAttr(attributes);
        info->Release();
    }
    library->Release();
    return ids;
}

// Every key, value and datum below the path, as text; empty when the key is absent.
void Dump(HKEY root, const std::wstring& path, std::wstring& out)
{
    Os::CRegKeyHandle key = Os::TryOpenSubkey(root, path.c_str());
    if (!key)
        return;
    out += path + L"\n";
    wchar_t name[512];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 512, size = sizeof(data), type = 0;
        if (::RegEnumValueW(key.Get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        out += StringW::Format(L"  %s=%u:", name, type) + std::wstring(reinterpret_cast<wchar_t*>(data), size / 2) +
               L"\n";
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 512;
        if (::RegEnumKeyExW(key.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    for (const std::wstring& subkey : subkeys)
        Dump(root, path + L"\\" + subkey, out);
}

std::wstring Snapshot(const ModuleIds& ids)
{
    std::wstring out;
    Dump(HKEY_CLASSES_ROOT, L"CLSID\\" + ToText(ids.addIn), out);
    Dump(HKEY_CLASSES_ROOT, L"TypeLib\\" + ToText(ids.library), out);
    for (const GUID& iid : ids.interfaces)
        Dump(HKEY_CLASSES_ROOT, L"Interface\\" + ToText(iid), out);
    for (const wchar_t* progId : {L"Quenzal.NxoOutlookAddIn", L"Quenzal.NxoOutlookAddIn.1"})
        Dump(HKEY_CLASSES_ROOT, progId, out);
    Dump(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office", out);
    Dump(HKEY_CURRENT_USER, AddInsKey, out);
    return out;
}

DWORD RunRegsvr32(const std::wstring& options)
{
    std::wstring command = L"regsvr32.exe /s " + options + L" \"" + ModulePath() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return ::GetLastError();
    Os::CHandle thread(process.hThread), child(process.hProcess);
    ::WaitForSingleObject(child.Get(), 60000);
    DWORD code = 1;
    ::GetExitCodeProcess(child.Get(), &code);
    return code;
}

// Whatever happens in the test, the module leaves the registry registered
// as it was found.
struct RegistrationRestore {
    bool wasRegistered;
    ~RegistrationRestore()
    {
        if (!wasRegistered)
            RunRegsvr32(L"/u");
    }
};

std::string Record(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), text.size() * sizeof(wchar_t));
}

} // namespace

// Registered twice and unregistered, the module leaves the registry as it
// found it; registered, it is found by ProgID and served from its file, has
// one machine-wide Outlook entry and no per-user one, and has cleared every
// record of it from Outlook's disabled items.
TEST(ModuleTest, RegistersWithOutlookAndUnregistersWithoutTrace)
{
    QzlTest::CNamedTestLock lock(L"Local\\QuenzalTest.ModuleRegistration");
    QzlTest::CNamedTestLock disabledLock(L"Local\\QuenzalTest.OfficeDisabledItems");
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const ModuleIds ids = ReadModuleIds();
    const std::wstring before = Snapshot(ids);
    RegistrationRestore restore{QzlTest::RegistryKeyExists(HKEY_CLASSES_ROOT, (L"CLSID\\" + ToText(ids.addIn)).c_str())};
    ASSERT_FALSE(restore.wasRegistered) << "the test prefix has the add-in registered already";

    QzlTest::CRegistryPathCleanup disabledCleanup(HKEY_CURRENT_USER, DisabledItems16);
    QzlTest::CRegistryPathCleanup userCleanup(HKEY_CURRENT_USER, AddInsKey);
    ASSERT_FALSE(disabledCleanup.Existed());
    Os::CRegKeyHandle disabled = Os::CreateSubkey(HKEY_CURRENT_USER, DisabledItems16);
    for (const wchar_t* name : {L"a", L"b", L"c"})
        Os::SetRegistryDataW(disabled.Get(), name, REG_BINARY, Record(L"c:\\addins\\nxooutlookaddin.dll"));
    Os::SetRegistryDataW(disabled.Get(), L"other", REG_BINARY, Record(L"c:\\addins\\other.dll"));
    Os::SetRegistryDword(Os::CreateSubkey(HKEY_CURRENT_USER, AddInsKey).Get(), L"LoadBehavior", 2);

    ASSERT_EQ(0u, RunRegsvr32(L""));
    ASSERT_EQ(0u, RunRegsvr32(L""));
    Os::CRegKeyHandle addIn = Os::TryOpenSubkey(HKEY_LOCAL_MACHINE, AddInsKey);
    ASSERT_TRUE(addIn);
    DWORD loadBehavior = 0, commandLineSafe = 9;
    EXPECT_TRUE(Os::GetRegistryDword(addIn.Get(), L"LoadBehavior", loadBehavior));
    EXPECT_TRUE(Os::GetRegistryDword(addIn.Get(), L"CommandLineSafe", commandLineSafe));
    EXPECT_EQ(3u, loadBehavior);
    EXPECT_EQ(0u, commandLineSafe);
    EXPECT_EQ(L"Quenzal Inbox Rampart Outlook Add-In", Os::TryGetStringValue(addIn.Get(), L"FriendlyName"));
    EXPECT_FALSE(QzlTest::RegistryKeyExists(HKEY_CURRENT_USER, AddInsKey));
    std::wstring classKey = L"CLSID\\" + ToText(ids.addIn);
    EXPECT_EQ(L"Apartment", Os::TryGetRegistryString(HKEY_CLASSES_ROOT, (classKey + L"\\InprocServer32").c_str(),
                                                      L"ThreadingModel"));
    EXPECT_EQ(ToText(ids.library), Os::TryGetRegistryString(HKEY_CLASSES_ROOT, (classKey + L"\\TypeLib").c_str(),
                                                             nullptr));
    EXPECT_EQ(L"Quenzal.NxoOutlookAddIn.1", Os::TryGetRegistryString(HKEY_CLASSES_ROOT,
                                                                    L"Quenzal.NxoOutlookAddIn\\CurVer", nullptr));
    Os::CRegKeyHandle disabledAfter = Os::TryOpenSubkey(HKEY_CURRENT_USER, DisabledItems16);
    DWORD type = 0;
    std::string data;
    for (const wchar_t* name : {L"a", L"b", L"c"})
        EXPECT_FALSE(Os::GetRegistryDataW(disabledAfter.Get(), name, type, data)) << "value " << name;
    EXPECT_TRUE(Os::GetRegistryDataW(disabledAfter.Get(), L"other", type, data));
    disabledAfter.Reset();

    // Outlook's way in: the ProgID, then the server the registry names.
    CLSID clsid{};
    ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"Quenzal.NxoOutlookAddIn", &clsid));
    EXPECT_EQ(ids.addIn, clsid);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, ::CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       reinterpret_cast<void**>(&factory)));
    IDispatch* addInObject = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&addInObject)));
    if (addInObject != nullptr)
        addInObject->Release();
    factory->Release();

    ASSERT_EQ(0u, RunRegsvr32(L"/u"));
    disabled.Reset();
    Os::DeleteRegistryValue(Os::CreateSubkey(HKEY_CURRENT_USER, DisabledItems16).Get(), L"other");
    EXPECT_EQ(before, Snapshot(ids));
    ::CoUninitialize();
}

// The class factory keeps the module loaded while it or anything it made
// lives, and while a client holds a server lock; other classes are refused.
TEST(ModuleTest, ServesItsClassObjectAndUnloadsWhenNothingHoldsIt)
{
    const ModuleIds ids = ReadModuleIds();
    HMODULE module = ::LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(nullptr, module);
    auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);
    EXPECT_NE(nullptr, ::GetProcAddress(module, "OpenLinkW"));

    void* none = &none;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(ids.library, IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, getClassObject(ids.addIn, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    IUnknown* object = nullptr;
    int outer = 0;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IUnknown,
                                                             reinterpret_cast<void**>(&object)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    object->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow()) << "the server lock keeps it";
    ASSERT_EQ(S_OK, getClassObject(ids.addIn, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(S_OK, canUnloadNow());
    ::FreeLibrary(module);
}

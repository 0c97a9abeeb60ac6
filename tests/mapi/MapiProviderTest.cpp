#include "FileSystem.h"
#include "Logging.h"
#include "MapiFunctions.h"
#include "MapiProvider.h"
#include "MapiTestSupport.h"
#include "Modules.h"
#include "Registry.h"
#include "RegistryTestSupport.h"
#include "RegistryValues.h"
#include "TestSupport.h"

#include <gmock/gmock.h>

#include <winternl.h>

using namespace Quenzal;
using testing::HasSubstr;

TEST(MapiProvider, BoundFunctionsReachTheProvider)
{
    QzlTestMapi::IControl* control = QzlTest::BindTestMapiProvider();
    ASSERT_NE(control, nullptr);
    long live = control->GetLiveAllocations();
    SPropValue values[1] = {{PR_SUBJECT_W, 0, {}}};
    values[0].Value.lpszW = const_cast<wchar_t*>(L"Quarterly report");
    IMAPIProp* message = control->CreatePropObject(values, 1);
    SRowSet* rows = nullptr;
    auto allocate = reinterpret_cast<LPMAPIALLOCATEBUFFER>(
        reinterpret_cast<void*>(::GetProcAddress(Mapi::GetMapiModule(), "MAPIAllocateBuffer")));
    ASSERT_EQ(allocate(CbNewSRowSet(1), reinterpret_cast<void**>(&rows)), S_OK);
    rows->cRows = 1;
    ASSERT_EQ(Mapi::HrGetOneProp(message, PR_SUBJECT_W, &rows->aRow[0].lpProps), S_OK);
    EXPECT_EQ(Mapi::PpropFindProp(rows->aRow[0].lpProps, 1, PR_SUBJECT_W), rows->aRow[0].lpProps);
    EXPECT_STREQ(rows->aRow[0].lpProps->Value.lpszW, L"Quarterly report");
    Mapi::FreeProws(rows);
    message->Release();
    EXPECT_EQ(control->GetLiveAllocations(), live);
    EXPECT_EQ(control->GetForeignFrees(), 0);
}

namespace {

const wchar_t MailClients[] = L"Software\\Clients\\Mail";
const wchar_t TestClient[] = L"Software\\Clients\\Mail\\QuenzalTestMail";
const wchar_t WineOverrides[] = L"Software\\Wine\\AppDefaults\\test_mapi.exe\\DllOverrides";

struct ClientValue {
    const wchar_t* name;
    DWORD type;
    StringW data; // a value of 260 characters is stored without a terminator
};

struct RouteCase {
    const char* name;
    std::vector<ClientValue> client;
    bool systemStub;                 // the provider as the system folder's mapi32.dll
    std::vector<const wchar_t*> loaded;
    bool msiComponent; // the stub knows the test client's component
    const wchar_t* bound;
};

const std::vector<RouteCase>& RouteCases()
{
    static const StringW dir = QzlTest::MapiProviderPath();
    // ".\" segments (and one "a\..\" for an odd count) make a path of 260 characters that names the same file.
    static const StringW padded = [] {
        StringW path = dir + (dir.size() % 2 != 0 ? L"\\a\\.." : L"");
        while (path.size() < 260 - 14)
            path += L"\\.";
        return path + L"\\QzlMailEx.dll";
    }();
    const ClientValue mailEx = {L"DllPathEx", REG_SZ, dir + L"\\QzlMailEx.dll"};
    const ClientValue mail = {L"DllPath", REG_SZ, dir + L"\\QzlMail.dll"};
    const ClientValue msiId = {L"MSIComponentID", REG_SZ, L"{QZL-TEST}"}, msiLcid = {L"MSIApplicationLCID", REG_SZ, L"1033"};
    static const std::vector<RouteCase> cases = {
        {"MapiRouteOlmapi32", {mailEx}, false, {L"msmapi32", L"olmapi32"}, false, L"olmapi32.dll"},
        {"MapiRouteMsmapi32", {mailEx}, false, {L"msmapi32"}, false, L"msmapi32.dll"},
        {"MapiRouteMsi", {msiId, msiLcid, mailEx, mail}, true, {}, true, L"QzlMsiMail.dll"},
        {"MapiRouteMsiUnknown", {msiId, msiLcid, mailEx, mail}, true, {}, false, L"QzlMailEx.dll"},
        {"MapiRouteDllPathEx", {mailEx, mail}, false, {}, false, L"QzlMailEx.dll"},
        {"MapiRouteExpanded", {{L"DllPathEx", REG_EXPAND_SZ, L"%QZL_MAPI_DIR%\\QzlMailEx.dll"}, mail}, false, {},
         false, L"QzlMailEx.dll"},
        {"MapiRouteUnterminated", {{L"DllPathEx", REG_SZ, padded}, mail}, false, {}, false, L"QzlMailEx.dll"},
        {"MapiRouteMissingFile", {{L"DllPathEx", REG_SZ, dir + L"\\Missing.dll"}, mail}, false, {}, false,
         L"QzlMail.dll"},
        {"MapiRouteTooLong", {{L"DllPathEx", REG_EXPAND_SZ, L"%QZL_MAPI_LONG%\\QzlMailEx.dll"}, mail}, false, {},
         false, L"QzlMail.dll"},
        {"MapiRouteNoExports", {{L"DllPathEx", REG_SZ, L"C:\\windows\\system32\\winemapi.dll"}, mail}, false, {},
         false, L"QzlMail.dll"},
        {"MapiRouteSystemFolder", {{L"DllPath", REG_SZ, L"C:\\windows\\system32\\winemapi.dll"}}, true, {}, false,
         L"mapi32.dll"},
    };
    return cases;
}

// The prefix as a route needs it, put back afterwards: the test client as the
// default mail client, and the provider as the system folder's mapi32.dll
// (Wine loads it only when told to prefer a native one).
class CRouteSetup {
public:
    explicit CRouteSetup(const RouteCase& route)
    {
        Os::SetRegistryString(Os::CreateSubkey(HKEY_LOCAL_MACHINE, MailClients).Get(), L"", L"QuenzalTestMail");
        Os::CRegKeyHandle client = Os::CreateSubkey(HKEY_LOCAL_MACHINE, TestClient);
        for (const ClientValue& value : route.client) {
            size_t length = value.data.size() + (value.data.size() == 260 ? 0 : 1);
            QzlTest::SetRawValue(client.Get(), value.name, value.type, value.data.c_str(),
                                 static_cast<DWORD>(length * sizeof(wchar_t)));
        }
        if (route.systemStub) {
            Os::SetRegistryString(Os::CreateSubkey(HKEY_CURRENT_USER, WineOverrides).Get(), L"mapi32",
                                  L"native,builtin");
            ::MoveFileExW(m_system.c_str(), (m_system + L".saved").c_str(), 0);
            EXPECT_TRUE(::CopyFileW(QzlTest::MapiProviderPath(L"olmapi32").c_str(), m_system.c_str(), FALSE));
        }
    }
    ~CRouteSetup() { ::MoveFileExW((m_system + L".saved").c_str(), m_system.c_str(), MOVEFILE_REPLACE_EXISTING); }

private:
    QzlTest::CRegistryPathCleanup m_client{HKEY_LOCAL_MACHINE, TestClient};
    QzlTest::CRegistryValueRestore m_default{HKEY_LOCAL_MACHINE, MailClients, L""};
    QzlTest::CRegistryPathCleanup m_overrides{HKEY_CURRENT_USER, WineOverrides};
    StringW m_system = L"C:\\windows\\system32\\mapi32.dll";
};

const bool RouteChildCasesRegistered = [] {
    for (const RouteCase& route : RouteCases())
        QzlTest::RegisterChildCase(route.name, [&route] {
            for (const wchar_t* name : route.loaded)
                ::LoadLibraryW(QzlTest::MapiProviderPath(name).c_str());
            // The MSI route's stub is the provider in the system folder: its
            // copy here learns the component before the search loads it.
            if (route.msiComponent)
                QzlTestMapi::GetControl(::LoadLibraryW(L"mapi32.dll"))
                    ->SetComponentPath("{QZL-TEST}", "1033",
                                       QzlTest::MapiProviderPath(L"QzlMsiMail").GetAnsi(CP_ACP).c_str());
            return Mapi::GetMapiModule() != nullptr ? 0 : 1;
        });
    return true;
}();

} // namespace

TEST(MapiProviderRoutes, EachRouteInItsOrder)
{
    QzlTest::CNamedTestLock lock(L"Local\\QuenzalTest.MapiProviderRoutes");
    StringW dir = QzlTest::MapiProviderPath();
    ::SetEnvironmentVariableW(L"QZL_MAPI_DIR", dir.c_str());
    ::SetEnvironmentVariableW(L"QZL_MAPI_LONG", (dir + StringW(150, L'.')).c_str());
    ASSERT_EQ(RouteCases()[6].client[0].data.size(), 260u);
    for (const RouteCase& route : RouteCases()) {
        SCOPED_TRACE(route.name);
        CRouteSetup setup(route);
        QzlTest::ChildResult result = QzlTest::RunChildCase(route.name);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_THAT(result.output, HasSubstr("MAPI provider bound: "));
        std::string ending = StringW(route.bound).ToUtf8();
        EXPECT_THAT(result.output, HasSubstr(ending.insert(0, 1, '\\').append("\r\n")));
    }
}

// A new prefix's default mail client (winemapi.dll) and Wine's mapi32.dll
// export none of the functions by their plain names: nothing is bound, each
// function gives its missing result, and the next call searches again.
QZL_CHILD_CASE(MapiNoProvider)
{
    Logging::EnableTraceLogging(true);
    SPropValue untouched = {};
    LPSPropValue value = &untouched;
    SRowSet rows = {1, {{0, 1, &untouched}}};
    IMAPISession* session = nullptr;
    Mapi::FreeProws(&rows);
    if (Mapi::HrGetOneProp(nullptr, PR_SUBJECT_W, &value) != MAPI_E_CALL_FAILED || value != &untouched ||
        Mapi::PpropFindProp(&untouched, 1, 0) != nullptr || Mapi::MAPIFreeBuffer(&untouched) != 0 ||
        Mapi::MAPILogonEx(0, nullptr, nullptr, 0, &session) != MAPI_E_CALL_FAILED || session != nullptr)
        return 1;
    ::LoadLibraryW(QzlTest::MapiProviderPath(L"olmapi32").c_str());
    return Mapi::HrGetOneProp(nullptr, PR_SUBJECT_W, &value) == MAPI_E_INVALID_PARAMETER ? 0 : 2;
}

TEST(MapiProviderRoutes, NothingServesInANewPrefix)
{
    QzlTest::CNamedTestLock lock(L"Local\\QuenzalTest.MapiProviderRoutes");
    QzlTest::ChildResult result = QzlTest::RunChildCase("MapiNoProvider");
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    EXPECT_THAT(result.output, HasSubstr("lacks MAPIFreeBuffer or HrGetOneProp: C:\\windows\\system32\\winemapi.dll"));
    EXPECT_THAT(result.output, HasSubstr("lacks MAPIFreeBuffer or HrGetOneProp: C:\\windows\\system32\\mapi32.dll"));
    EXPECT_THAT(result.output, HasSubstr("MAPI provider bound: " + QzlTest::MapiProviderPath(L"olmapi32").ToUtf8()));
}

// The full path of every module the loader maps while the search runs.
QZL_CHILD_CASE(MapiModulesLoaded)
{
    struct DllNotification {
        ULONG flags;
        const UNICODE_STRING* fullName;
    };
    using Callback = void(CALLBACK*)(ULONG, const DllNotification*, void*);
    using Register = LONG(NTAPI*)(ULONG, Callback, void*, void**);
    auto subscribe = reinterpret_cast<Register>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification")));
    void* cookie = nullptr;
    const Callback log = [](ULONG reason, const DllNotification* data, void*) {
        const StringW path(data->fullName->Buffer, data->fullName->Length / sizeof(wchar_t));
        if (reason == 1)
            Logging::Log(Logging::Warning, (L"Mapped: " + path).c_str());
    };
    if (subscribe == nullptr || subscribe(0, log, nullptr, &cookie) != 0)
        return 2;
    return Mapi::GetMapiModule() != nullptr ? 0 : 1;
}

TEST(MapiProviderRoutes, AStubPlantedBesideTheHostIsNeverLoaded)
{
    QzlTest::CNamedTestLock lock(L"Local\\QuenzalTest.MapiProviderRoutes");
    const RouteCase route = {"", {{L"MSIComponentID", REG_SZ, L"{QZL-TEST}"}, {L"MSIApplicationLCID", REG_SZ, L"1033"},
                                  {L"DllPath", REG_SZ, QzlTest::MapiProviderPath(L"QzlMail")}}, true, {}, false, L""};
    CRouteSetup setup(route);
    const StringW host = QzlTest::UniqueTempPath(L"qzlhost"), exe = host + L"\\test_mapi.exe";
    ASSERT_TRUE(::CreateDirectoryW(host.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(Os::GetModulePath(nullptr).c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(QzlTest::MapiProviderPath(L"olmapi32").c_str(), (host + L"\\mapi32.dll").c_str(), FALSE));
    QzlTest::ChildResult result = QzlTest::RunChildCase("MapiModulesLoaded", 60000, exe.c_str());
    Os::TryDeleteDirectory(host);
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    EXPECT_THAT(result.output, HasSubstr("Mapped: C:\\windows\\system32\\mapi32.dll"));
    EXPECT_THAT(result.output, testing::Not(HasSubstr("Mapped: " + host.ToUtf8())));
}

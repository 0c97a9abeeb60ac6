// The API client against the stand-in appliance: each operation's request as
// the appliance saw it, the success rules, the status of the configured
// appliance and the texts the user is shown.

#include "ApplianceStandIn.h"
#include "AsyncHttpRequestContext.h"
#include "ClientId.h"
#include "ComProgressDlg.h"
#include "CriticalSection.h"
#include "DialogUser.h"
#include "File.h"
#include "HttpRequest.h"
#include "LinkFile.h"
#include "Logging.h"
#include "ModuleLock.h"
#include "Localization.h"
#include "NetEncoding.h"
#include "NxoApiClient.h"
#include "NxoApiError.h"
#include "NxoClientConfig.h"
#include "NxoOutlookAddInConfig.h"
#include "NxoTestSupport.h"
#include "Os.h"
#include "Registry.h"
#include "RegistryValues.h"
#include "Socket.h"
#include "TestSupport.h"
#include "TiXmlUtil.h"
#include "Ui.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using namespace Quenzal;
using NxoTest::CAddInTurn;
using NxoTest::CApplianceStandIn;
using NxoTest::HeaderOf;

namespace {

void Wait(const CNxoApiClient::ContextPtr& context)
{
    ASSERT_TRUE(context);
    ASSERT_TRUE(Os::WaitForObject(context->GetCompletionEvent(), DateTimeSpan(0, 0, 1, 0, 0)));
}

StringW Status()
{
    return CAddInTurn::SettingsString(NxoSettings::NxoUriStatus);
}

std::string Target(const Json::Value& request)
{
    return request["target"].asString();
}

// The error a synchronous operation raised, with its text for the user.
template <class F>
std::pair<StringW, StringW> Failure(F&& operation)
{
    try {
        operation();
    } catch (const CNxoApiError& e) {
        return {e.GetDescription(), e.GetUserMessage()};
    } catch (const CException& e) {
        return {e.GetDescription(), e.IsUserMessage() ? e.GetDescription() : StringW()};
    }
    return {L"no failure", L""};
}

// A server that takes connections and never says a word.
std::wstring ListenSilently(Net::CSocket& server)
{
    server.Listen(Net::CIpAddress("127.0.0.1", 0), false, 1);
    sockaddr_in address{};
    int length = sizeof(address);
    ::getsockname(server.GetSocket(), reinterpret_cast<sockaddr*>(&address), &length);
    return L"https://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port));
}

} // namespace

TEST(NxoApiClient, ProbeConfirmationGivesTheAccountThatMarkingUses)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    const std::string clientId = App::GetClientId().ToAnsi();
    {
        CNxoApiClient client;
        EXPECT_EQ(Failure([&] { client.MarkMessage(appliance.Uri(), L"1", true); }).first, L"User not authenticated");
        EXPECT_EQ(Failure([&] { client.InitiateAuthenticationProbe(L"x", {}); }).first, L"No valid NXO URI configured");
        EXPECT_EQ(Failure([&] { client.CreateApiRequest(0, L"https://"); }).first, L"NXO URI is invalid: https://");
    }
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    config.SetNxoUri(CNxoOutlookAddInConfig::ParseNxoUri(appliance.Uri()), CAddInTurn::Identity);
    config.SetNxoUriStatus(L"500 Earlier failure");
    CNxoApiClient client;
    uint32_t probeStatus = 0;
    Wait(client.InitiateAuthenticationProbe(CAddInTurn::Identity, [&](const CNxoApiClient::ContextPtr& context) {
        probeStatus = context->GetStatusCode();
    }));
    EXPECT_EQ(probeStatus, 200u);
    EXPECT_EQ(Status(), L"") << "a success clears the status";
    auto probe = appliance.Seen("addin_auth_request.cgi").at(0);
    EXPECT_EQ(Target(probe), "/cgi-mod/addin_auth_request.cgi?client_id=" + clientId + "&user=user%40example.com");
    std::string headers;
    for (const char* name : {"X-Quenzal-Client-ID", "X-Quenzal-Client-Version", "X-Quenzal-Application-Version",
                             "Cache-Control", "Pragma", "Connection", "Authorization"})
        headers += HeaderOf(probe, name) + "|";
    EXPECT_EQ(headers, clientId + "|NxoOutlookAddIn/7.1.0.42|test_nxo/7.1.0.42 (x64)|no-cache|no-cache|close||");

    EXPECT_EQ(Failure([&] { client.VerifyAuthenticationProbe(CAddInTurn::Identity, L"wrong"); }),
              std::make_pair(StringW(L"403 Forbidden"), GetLocalizedMessage(5)));
    QzlTest::CLogCapture log;
    client.VerifyAuthenticationProbe(CAddInTurn::Identity, StringW(probe["token"].asString()));
    auto confirm = appliance.Seen("addin_auth_confirm.cgi").at(1);
    const std::string secret = confirm["query"][1][1].asString();
    EXPECT_EQ(secret.size(), 228u);
    EXPECT_EQ(secret.find('='), 227u);
    EXPECT_EQ(Target(confirm), "/cgi-mod/addin_auth_confirm.cgi?client_id=" + clientId + "&shared_secret=" +
                                   Net::UrlEncode(secret) + "&token=" + probe["token"].asString() +
                                   "&user=user%40example.com");
    EXPECT_EQ(CAddInTurn::SettingsString(NxoSettings::AccountKey).ToAnsi(), secret);
    EXPECT_EQ(CAddInTurn::SettingsString(NxoSettings::AccountName).ToAnsi(), "user@example.com===" + clientId);
    EXPECT_TRUE(config.IsAuthenticated());
    EXPECT_TRUE(log.Contains("shared_secret=********"));
    EXPECT_FALSE(log.Contains(secret.substr(0, 40)));

    // The new account at once, in Digest: challenged first, then answered.
    Wait(client.MarkMessage(L"", L"dbg-1", true));
    auto marks = appliance.Seen("mark.cgi");
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0]["status"].asInt() * 1000 + marks[1]["status"].asInt(), 401200);
    EXPECT_EQ(Target(marks[1]), "/cgi-mod/mark.cgi?id=dbg-1&Spam=Y");
    EXPECT_EQ(marks[1]["user"].asString(), "user@example.com===" + clientId);
    EXPECT_EQ(config.GetCounter(NxoSettings::SpamCount), 1u);
    EXPECT_EQ(client.CreateApiRequest(9, L"h")->FormatRequestTarget(), "/cgi-mod/");
}

// A stored client ID that a header cannot carry as it stands counts as
// missing: a new one takes its place and the requests go out with it. One
// that can be sent stays as it was set.
TEST(NxoApiClient, StoredClientIdThatCannotBeSentIsReplaced)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    const wchar_t* const path = L"Software\\Quenzal\\Trindle";
    QzlTest::CRegistryValueRestore restore(HKEY_CURRENT_USER, path, L"ClientId");
    CNxoOutlookAddInConfig::GetInstance().SetNxoUri(CNxoOutlookAddInConfig::ParseNxoUri(appliance.Uri()),
                                                    CAddInTurn::Identity);
    const std::wstring id = L"0123456789abcdef0123456789abcdef";
    for (const std::wstring& text : {id + L"\r\n", id + L"\tx", id + L"\u00e9", std::wstring(L"set {by} hand")}) {
        Os::SetRegistryString(Os::CreateSubkey(HKEY_CURRENT_USER, path).Get(), L"ClientId", text);
        CNxoApiClient client;
        const CNxoApiClient::ContextPtr probe = client.InitiateAuthenticationProbe(CAddInTurn::Identity, {});
        Wait(probe);
        EXPECT_EQ(probe->GetStatusCode(), 200u);
        const StringW now = App::TryGetClientId();
        EXPECT_EQ(now == text, text == L"set {by} hand") << now.ToUtf8();
        EXPECT_EQ(HeaderOf(appliance.Seen("addin_auth_request.cgi").back(), "X-Quenzal-Client-ID"), now.ToUtf8());
    }
}

TEST(NxoApiClient, MarkRecordsTheStatusOfTheConfiguredApplianceOnly)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    CNxoApiClient client;

    // Two requests queued together never share the wire.
    appliance.Switch("mark.cgi", "delay=0.3");
    auto first = client.MarkMessage(L"", L"a", false);
    Wait(client.MarkMessage(L"", L"b", false));
    Wait(first);
    auto marks = appliance.Seen("mark.cgi");
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_LE(marks[1]["end"].asDouble(), marks[2]["start"].asDouble());
    EXPECT_EQ(config.GetCounter(NxoSettings::NotSpamCount), 2u);

    appliance.Switch("mark.cgi", "delay=0&status=560&reason=Quota%20exceeded");
    Wait(client.MarkMessage(L"", L"c", true));
    EXPECT_EQ(Status(), L"560 Quota exceeded");
    EXPECT_EQ(config.GetCounter(NxoSettings::SpamCount), 0u);
    // The message's own appliance, named otherwise: its answers are not ours to record.
    appliance.Switch("mark.cgi", "status=200");
    Wait(client.MarkMessage(appliance.Uri("localhost"), L"d", true));
    marks = appliance.Seen("mark.cgi");
    EXPECT_EQ(Target(marks.back()), "/cgi-mod/mark.cgi?id=d&Spam=Y");
    // No answer made for the configured appliance: the other name challenges first.
    EXPECT_EQ(HeaderOf(marks[marks.size() - 2], "Authorization") + "|" + marks[marks.size() - 2]["status"].asString(),
              "|401");
    EXPECT_EQ(Status(), L"560 Quota exceeded");
    EXPECT_EQ(config.GetCounter(NxoSettings::SpamCount), 1u);

    appliance.Switch("mark.cgi", "reset=1");
    Wait(client.MarkMessage(L"", L"e", true));
    EXPECT_EQ(Status(), GetLocalizedMessage(319));
    // Canceled by the add-in's disconnection, a request says nothing of the appliance.
    config.SetNxoUriStatus(L"");
    appliance.Switch("mark.cgi", "reset=0&silent=1");
    marks = appliance.Seen("mark.cgi");
    auto canceled = client.MarkMessage(L"", L"e", true);
    for (int i = 0; i < 1500 && appliance.Seen("mark.cgi").size() == marks.size(); ++i)
        ::Sleep(20);
    Net::CAsyncHttpRequestContext::TerminateAsynchronousHttpRequests();
    Net::CAsyncHttpRequestContext::ResumeAsynchronousHttpRequests();
    Wait(canceled);
    EXPECT_EQ(Status(), L"");

    // Only Digest: a Basic challenge is never answered with these credentials.
    appliance.Switch("", "clear=1&challenge=basic");
    std::atomic<int> failures{0};
    client.SetAuthenticationFailureHandler([&](const std::shared_ptr<Net::CHttpResponse>&) { ++failures; });
    Wait(client.MarkMessage(L"", L"f", true));
    EXPECT_EQ(HeaderOf(appliance.Seen("mark.cgi").back(), "Authorization").rfind("Basic", 0), std::string::npos);
    EXPECT_EQ(Status(), L"401 Unauthorized");
    // A new nonce for every attempt: three answers, then the failure handler.
    appliance.Switch("", "clear=1&nonce=changing");
    const size_t before = appliance.Seen("mark.cgi").size();
    Wait(client.MarkMessage(L"", L"g", true));
    EXPECT_EQ(appliance.Seen("mark.cgi").size() - before, 4u);
    EXPECT_EQ(failures.load(), 2);
    EXPECT_EQ(config.GetCounter(NxoSettings::SpamCount), 1u);

    // Redirected to a server whose turn is held past the mark's time limit:
    // the appliance did not answer, whatever its redirection said.
    appliance.Switch("", "clear=1");
    appliance.Switch("mark.cgi", "redirect=localhost");
    appliance.Switch("get_info.cgi", "silent=1");
    client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, 3, 0));
    auto holding = client.SendRequest(client.CreateApiRequest(NxoApiRequestClientConfiguration,
                                                              appliance.Uri("localhost")),
                                      nullptr, nullptr, {});
    client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, 1, 0));
    Wait(client.MarkMessage(L"", L"h", true));
    EXPECT_EQ(Status(), GetLocalizedMessage(319));
    Wait(holding);
}

TEST(NxoApiClient, ServerThatNeverAnswersHoldsUpOnlyItsOwnRequestForTheTimeLimit)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    CApplianceStandIn silent;
    silent.Switch("", "silent=1");
    CNxoApiClient client;
    client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, 20, 0));
    const ULONGLONG start = ::GetTickCount64();
    auto held = client.MarkMessage(silent.Uri(), L"from-spam", true);
    for (int i = 0; i < 1500 && silent.Seen().empty(); ++i)
        ::Sleep(20);
    ASSERT_EQ(silent.Seen().size(), 1u) << "the server named in the mail holds the mark";
    // More marks behind it than the pool has threads (500) wait without one.
    std::vector<CNxoApiClient::ContextPtr> waiting;
    for (int i = 0; i < 600; ++i)
        waiting.push_back(client.MarkMessage(silent.Uri(), L"from-spam", true));

    Wait(client.MarkMessage(L"", L"ham", false));
    CNxoClientConfig config;
    client.GetClientConfiguration(config);
    EXPECT_EQ(config.GetMaxKvdFileSize(), 104857600u);
    // One whose time limit ends first gives up waiting while the mark holds the turn.
    client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, 1, 0));
    auto impatient = client.MarkMessage(silent.Uri(), L"from-spam", true);
    Wait(impatient);
    EXPECT_TRUE(Net::CAsyncHttpRequestContext::IsSocketError(impatient->GetException()));
    EXPECT_FALSE(Os::IsObjectSignaled(held->GetCompletionEvent())) << "the configured appliance did not wait";
    Wait(held);
    for (const auto& request : waiting)
        Wait(request);
    const double seconds = static_cast<double>(::GetTickCount64() - start) / 1000.0;
    EXPECT_GT(seconds, 18.0);
    EXPECT_LT(seconds, 60.0);
    EXPECT_TRUE(Net::CAsyncHttpRequestContext::IsSocketError(held->GetException()));

    // As many silent servers as marks: a few threads between them, none taken from the configured appliance.
    const auto threads = [] {
        const Os::CHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
        size_t count = 0;
        THREADENTRY32 entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry))
            count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
        return count;
    };
    const size_t before = threads();
    std::vector<Net::CSocket> servers(200);
    waiting.clear();
    client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, 20, 0));
    for (Net::CSocket& server : servers)
        waiting.push_back(client.MarkMessage(ListenSilently(server), L"from-spam", true));
    client.GetClientConfiguration(config);
    EXPECT_LT(threads(), before + 32);
    EXPECT_EQ(std::count_if(waiting.begin(), waiting.end(), [](const auto& mark) { return mark->IsComplete(); }), 0);
    for (const auto& request : waiting)
        Wait(request);
}

// Two waiting requests whose limits pass in one tick of the queue's timer,
// the second behind the first in its server's line: the first, named in mail
// and waiting for a thread, leaves, which puts the second on the wire. Each
// runs once, and the module's count of holders comes back to where it was.
TEST(NxoApiClient, RequestsWhoseLimitsPassTogetherRunOnceEach)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    CNxoApiClient client;
    long modules = Os::GetModuleLockCount();
    for (int i = 0; i < 50 && (::Sleep(20), Os::GetModuleLockCount()) != modules; ++i)
        modules = Os::GetModuleLockCount();
    // Silent servers named in mail hold every thread that such servers share.
    std::vector<Net::CSocket> servers(8);
    std::vector<CNxoApiClient::ContextPtr> requests;
    client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, 4, 0));
    for (Net::CSocket& server : servers)
        requests.push_back(client.MarkMessage(ListenSilently(server), L"held", true));
    client.SetRequestTimeLimit(DateTimeSpan(0, 0, 0, 1, 0));
    for (const ULONGLONG tick = ::GetTickCount64(); ::GetTickCount64() == tick;) {
    }
    for (int i = 0; i < 2; ++i)
        requests.push_back(client.CreateAsyncRequest(
            client.CreateApiRequest(NxoApiRequestMark, appliance.Uri("localhost")), nullptr, nullptr, {}));
    const QzlTest::CLogCapture log;
    client.SubmitAsyncRequest(requests[8]);
    // The server named in mail becomes the appliance.
    turn.Configure(appliance, "localhost");
    client.SubmitAsyncRequest(requests[9]);
    for (const auto& request : requests)
        Wait(request);
    EXPECT_EQ(QzlTest::CountOf(log.Text(), "gave up waiting for the requests before it: https://localhost:"), 2u);
    for (int i = 0; i < 750 && Os::GetModuleLockCount() != modules; ++i)
        ::Sleep(20);
    EXPECT_EQ(Os::GetModuleLockCount(), modules);
}

// An answer of the appliance configured before comes after the cache went
// to the new one: it adds nothing there and takes nothing away.
TEST(NxoApiClient, LateWhitelistAnswerOfTheOldApplianceLeavesTheNewOnesCache)
{
    CAddInTurn turn;
    CApplianceStandIn old, current;
    // Both know the account.
    turn.Configure(current);
    turn.Configure(old);
    old.Switch("whitelist.cgi", "delay=1.5");
    CNxoApiClient client;
    std::set<std::string> late{"late@example.com"}, fresh{"fresh@example.com"}, again{"late@example.com"};
    auto answer = client.WhitelistAddresses(late);
    turn.Configure(current);
    Wait(client.WhitelistAddresses(fresh));
    Wait(answer);
    EXPECT_EQ(QzlTest::ReadWholeFile(NxoTest::CDataFolderTurn::WhitelistPath()), "fresh@example.com\r\n");
    Wait(client.WhitelistAddresses(again));
}

TEST(NxoApiClient, WhitelistSendsFormDataAndCachesAcrossRestartsForOneAppliance)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    {
        CNxoApiClient client;
        std::set<std::string> addresses{"a+b@example.com", "x&y=z%@example.com", "plain@example.com"};
        Wait(client.WhitelistAddresses(addresses));
        auto sent = appliance.Seen("whitelist.cgi").back();
        EXPECT_EQ(sent["body"].asString(), "Addresses=a%2Bb@example.com,plain@example.com,x%26y%3Dz%25@example.com");
        EXPECT_EQ(sent["form"]["Addresses"][0].asString(), "a+b@example.com,plain@example.com,x&y=z%@example.com");
        EXPECT_EQ(sent["method"].asString() + " " + HeaderOf(sent, "Content-Type"),
                  "POST application/x-www-form-urlencoded");

        std::set<std::string> more{"A+B@Example.com", "new@example.com"};
        Wait(client.WhitelistAddresses(more));
        EXPECT_EQ(more, std::set<std::string>{"new@example.com"});
        appliance.Switch("whitelist.cgi", "status=500");
        std::set<std::string> refused{"refused@example.com"};
        Wait(client.WhitelistAddresses(refused));
    }
    EXPECT_EQ(QzlTest::ReadWholeFile(NxoTest::CDataFolderTurn::WhitelistPath()),
              "a+b@example.com\r\nplain@example.com\r\nx&y=z%@example.com\r\nnew@example.com\r\n");
    {
        CNxoApiClient restarted;
        QzlTest::CLogCapture log;
        std::set<std::string> cached{"plain@example.com", "NEW@example.com"};
        EXPECT_EQ(restarted.WhitelistAddresses(cached), nullptr);
        EXPECT_TRUE(log.Contains("All addresses in whitelist request are already whitelisted"));
    }
    // Another appliance has none of them yet.
    appliance.Switch("", "clear=1");
    turn.Configure(appliance, "localhost");
    CNxoApiClient client;
    std::set<std::string> again{"plain@example.com"};
    Wait(client.WhitelistAddresses(again));
    EXPECT_EQ(HeaderOf(appliance.Seen("whitelist.cgi").back(), "Host").rfind("localhost:", 0), 0u);
    EXPECT_EQ(QzlTest::ReadWholeFile(NxoTest::CDataFolderTurn::WhitelistPath()), "plain@example.com\r\n");
}

// Caching a large whitelist answer needs not the client's lock: held all the
// while, as a mark made on Outlook's thread meanwhile holds it, the caching
// ends all the same, so no such mark waits for it.
TEST(NxoApiClient, CachingAWhitelistAnswerHoldsUpNoRequest)
{
    struct CLockedClient : CNxoApiClient {
        Os::CCriticalSection& Lock() { return m_lock; }
    };
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    CLockedClient client;
    std::set<std::string> addresses;
    for (int i = 0; i < 20000; ++i)
        addresses.insert("held" + std::to_string(i) + "@example.com");
    std::set<std::string> again = addresses;
    auto whitelist = client.WhitelistAddresses(addresses);
    {
        Os::CCriticalSectionLock held(client.Lock());
        EXPECT_TRUE(Os::WaitForObject(whitelist->GetCompletionEvent(), DateTimeSpan(0, 0, 2, 0, 0)));
    }
    Wait(whitelist);
    EXPECT_EQ(client.WhitelistAddresses(again), nullptr) << "every address was cached";
}

TEST(NxoApiClient, ClientConfigurationSuccessRulesAndUserTexts)
{
    CAddInTurn turn;
    CApplianceStandIn appliance;
    turn.Configure(appliance);
    CNxoApiClient client;
    const StringW firmware = GetLocalizedMessage(376) + L"\r\n\r\n" + GetLocalizedMessage(245) + L"\r\n";
    struct Case {
        const char* switches;
        StringW description; // empty: succeeds with size
        StringW userText;
        uint64_t size;
    } cases[] = {
        {"", L"", L"", 104857600},
        {"gzip=1&type=none", L"", L"", 104857600},
        {"body=<info><max_kvd_file_size>12.5</max_kvd_file_size></info>", L"", L"", 12},
        {"body=<other/>", GetLocalizedMessage(318), GetLocalizedMessage(318), 0},
        {"body=<info><max_kvd_file_size>x</max_kvd_file_size></info>", GetLocalizedMessage(318),
         GetLocalizedMessage(318), 0},
        {"body=", L"200 OK", GetLocalizedMessage(318), 0},
        {"status=403", L"403 Forbidden", GetLocalizedMessage(5), 0},
        {"status=404", L"404 Not Found", firmware, 0},
        {"status=502", L"502 Bad Gateway", firmware, 0},
        {"status=560&reason=Disk%20full", L"560 Disk full", GetLocalizedMessage(318) + L":\r\n\r\nDisk full", 0},
        {"status=560&body=Disk%20full", L"560 UNIDENTIFIED ERROR", GetLocalizedMessage(318), 0},
        {"reset=1", L"Network error", GetLocalizedMessage(319), 0},
    };
    for (const Case& c : cases) {
        appliance.Switch("", "clear=1");
        if (*c.switches)
            appliance.Switch("get_info.cgi", c.switches);
        CNxoClientConfig config;
        auto failure = Failure([&] { client.GetClientConfiguration(config); });
        EXPECT_EQ(failure.first, c.description.empty() ? StringW(L"no failure") : c.description) << c.switches;
        EXPECT_EQ(failure.second, c.userText) << c.switches;
        EXPECT_EQ(config.GetMaxKvdFileSize(), c.size) << c.switches;
    }
    EXPECT_EQ(HeaderOf(appliance.Seen("get_info.cgi").back(), "Authorization").rfind("Digest ", 0), 0u);

    // The appliance's own words, in an error box over the owner.
    appliance.Switch("", "clear=1");
    appliance.Switch("get_info.cgi", "status=560&reason=Quota%20exceeded");
    wchar_t shown[512] = {};
    std::jthread user = NxoTest::AnswerMessageBox(shown);
    try {
        CNxoClientConfig config;
        client.GetClientConfiguration(config);
    } catch (const CNxoApiError& e) {
        e.ShowUserMessage(nullptr);
    }
    user.join();
    EXPECT_EQ(StringW(shown), GetLocalizedMessage(318) + L":\r\n\r\nQuota exceeded");
}

// Once set (in a child case), each allocation of less than a page ends where a
// page that may not be read begins, so that a read past its end faults.
std::atomic<bool> g_guardAllocations{false};
constexpr char GuardMark[16] = "qzl page guard";

void* operator new(std::size_t size)
{
    const size_t rounded = (size + 15) & ~size_t{15};
    auto* page = g_guardAllocations && rounded <= 4096 - sizeof(GuardMark)
                     ? static_cast<char*>(::VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
                     : nullptr;
    if (DWORD old; page != nullptr && ::VirtualProtect(page + 4096, 4096, PAGE_NOACCESS, &old)) {
        std::memcpy(page, GuardMark, sizeof(GuardMark));
        return page + 4096 - rounded;
    }
    if (void* block = std::malloc(size != 0 ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    auto* page = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(block) & ~uintptr_t{4095});
    if (block != nullptr && std::memcmp(page, GuardMark, sizeof(GuardMark)) == 0)
        ::VirtualFree(page, 0, MEM_RELEASE);
    else
        std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}

namespace {

std::string Repeated(const std::string& part, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += part;
    return text;
}

// XML from outside, read by each reader the add-in has for it.
struct HostileXml {
    const char* name;
    std::function<void(const std::string&)> read;
    std::string text;
    const wchar_t* refusal; // null: read as usual
};

const std::vector<HostileXml>& HostileXmlCases()
{
    const auto reader = [](const std::string& text) { ParseXmlDocument(text); };
    const auto guarded = [](const std::string& text) {
        g_guardAllocations = true;
        ParseXmlDocument(text);
    };
    // 47 bytes, whose copy with its NUL fills the end of a guarded page.
    const auto pageEnd = [](const std::string& head, const std::string& tail) {
        return head + std::string(47 - head.size() - tail.size(), 'x') + tail;
    };
    const auto answer = [](const std::string& text) { CNxoClientConfig config(text); };
    const auto link = [](const std::string& text) { Stubbing::GetPathFromLink(text); };
    const wchar_t* const deep = L"XML document nests its elements more than 256 deep";
    const std::string beside = "<r a='" + Repeated("<b>", 300) + "'><!--" + Repeated("<c>", 300) + "--><![CDATA[" +
                               Repeated("<d>", 300) + "]]></r>";
    static const std::vector<HostileXml> cases = {
        {"XmlDeepAnswer", answer, Repeated("<info>", 10000), deep},
        {"XmlDeepLink", link, "<AttachedLink>" + Repeated("<a>", 10000), deep},
        {"XmlDeepReader", reader, Repeated("<a>", 10000) + Repeated("</a>", 10000), deep},
        {"XmlDeepEmptyElements", reader, "<r>" + Repeated("<a/><a x='1' />", 10000) + "</r>", nullptr},
        {"XmlAtTheLimit", reader, Repeated("<a>", 256) + Repeated("</a>", 256), nullptr},
        {"XmlPastTheLimit", reader, Repeated("<a>", 257) + Repeated("</a>", 257), deep},
        {"XmlTagsInsideOtherNodes", reader, beside, nullptr},
        {"XmlEndsInLeadByte", guarded, pageEnd("<?xml version=\"1.0\"?><r>", "\xF0"),
         L"Error parsing XML document: Error reading Element value. (5)"},
        {"XmlAttributeEndsInLeadByte", guarded, pageEnd("<?xml version=\"1.0\"?><r a='", "\xC3"),
         L"Error parsing XML document: Error parsing Element. (3) at row 1, column 25"},
        {"XmlOversize", reader, "<r>" + std::string(1024 * 1024, 'x') + "</r>",
         L"XML document is larger than 1048576 bytes"},
    };
    return cases;
}

std::string Outcome(const wchar_t* refusal)
{
    return "Outcome: " + StringW(refusal != nullptr ? refusal : L"read").ToUtf8() + "\r\n";
}

// On a thread with a small stack (Outlook's user-interface thread has less
// than a test's), in a child process so that an overflow ends only that case.
const bool HostileXmlChildCasesRegistered = [] {
    for (const HostileXml& c : HostileXmlCases())
        QzlTest::RegisterChildCase(c.name, [&c] {
            auto run = [](void* context) -> DWORD {
                const HostileXml& c = *static_cast<const HostileXml*>(context);
                std::string outcome = Outcome(nullptr);
                try {
                    c.read(c.text);
                } catch (const CException& e) {
                    outcome = Outcome(e.GetDescription().c_str());
                }
                Logging::LogRawA(Logging::Warning, outcome.c_str());
                return 0;
            };
            Os::CHandle thread(::CreateThread(nullptr, 256 * 1024, run, const_cast<HostileXml*>(&c),
                                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
            return static_cast<int>(::WaitForSingleObject(thread.Get(), INFINITE));
        });
    return true;
}();

} // namespace

TEST(HostileXml, RefusedBeforeTinyXmlRecursesTooDeep)
{
    for (const HostileXml& c : HostileXmlCases()) {
        QzlTest::ChildResult result = QzlTest::RunChildCase(c.name);
        EXPECT_EQ(result.exitCode, 0u) << c.name;
        EXPECT_NE(result.output.find(Outcome(c.refusal)), std::string::npos) << c.name << "\n" << result.output;
    }
}

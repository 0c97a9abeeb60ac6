// The appliance API client against the stand-in appliance over TLS:
//
//   nxo_bench.exe <appliance URI> <account> <secret> <file> <curl seconds for the marks>
//
// 1. The upload of the file through CNxoApiClient::StoreKvdFile (thread pool,
//    appliance lock, progress notifier on a shown progress dialog), against
//    the network library's own upload of the same request on the calling
//    thread with a progress notifier (the same 4096-byte pieces), and
//    without one for information; then the peak working set.
// 2. 100 mark requests one after another, each on its own connection,
//    against a native curl making the same requests (timed by scripts/bench
//    just before).
// 3. The client configuration while 1,200 marks go to as many servers named
//    in mail that accept and never answer, against the same request alone
//    just before; the process's threads and the growth of its memory
//    meanwhile, at their highest until the marks have ended.
// 4. 50,000 addresses cached at once, as the answer to a whitelist request
//    caches them, against one write of the same lines to a file of its own
//    (the physical limit).
//
// The settings key of the build's Wine prefix is used for the appliance and
// the account, and removed again when it was not there before.

#include "BenchSupport.h"
#include "CachedWhitelist.h"
#include "ComProgressDlg.h"
#include "Exception.h"
#include "File.h"
#include "FileSystem.h"
#include "KvdUpload.h"
#include "Logging.h"
#include "Net.h"
#include "NxoApiClient.h"
#include "NxoClientConfig.h"
#include "NxoOutlookAddInConfig.h"
#include "Os.h"
#include "Path.h"
#include "RegistryKey.h"
#include "Socket.h"

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace Quenzal;
using QzlBench::LibraryUpload;
using QzlBench::Now;
using QzlBench::PeakWorkingSetMiB;

namespace {

constexpr int Rounds = 3;
constexpr int Marks = 100;
constexpr int SilentServers = 1200;
constexpr int WhitelistedAddresses = 50000;
const wchar_t* const SettingsPath = L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In";

// The best of the rounds, in MB/s of the file's bytes.
template <class F>
double BestRate(uint64_t bytes, F&& upload)
{
    double best = 1e30;
    for (int round = 0; round < Rounds; ++round) {
        double start = Now();
        upload();
        best = std::min(best, Now() - start);
    }
    return static_cast<double>(bytes) / 1e6 / best;
}

size_t ThreadCount()
{
    const Os::CHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry))
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
    return count;
}

// The process's address space in use (thread stacks included) and its working set, in MiB.
std::pair<double, double> MemoryMiB()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ::GlobalMemoryStatusEx(&status);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    constexpr double MiB = 1024.0 * 1024.0;
    return {static_cast<double>(status.ullTotalVirtual - status.ullAvailVirtual) / MiB,
            static_cast<double>(counters.WorkingSetSize) / MiB};
}

// Seconds; negative when the request failed.
double ClientConfigurationSeconds(CNxoApiClient& client)
{
    const double start = Now();
    try {
        CNxoClientConfig info;
        client.GetClientConfiguration(info);
    } catch (const CException&) {
        return start - Now();
    }
    return Now() - start;
}

// A time of ClientConfigurationSeconds as words: its seconds, or how long the request took to fail.
std::string TimeOrFailure(double seconds)
{
    char text[64];
    if (seconds < 0)
        std::snprintf(text, sizeof(text), "failed after %.2f s", -seconds);
    else
        std::snprintf(text, sizeof(text), "%6.2f s", seconds);
    return text;
}

void SilentServerFlood(CNxoApiClient& client)
{
    const double alone = ClientConfigurationSeconds(client);
    const size_t threadsBefore = ThreadCount();
    const auto memoryBefore = MemoryMiB();
    std::vector<Net::CSocket> servers(SilentServers);
    std::vector<CNxoApiClient::ContextPtr> marks;
    for (Net::CSocket& server : servers) {
        server.Listen(Net::CIpAddress("127.0.0.1", 0), false, 1);
        sockaddr_in address{};
        int length = sizeof(address);
        ::getsockname(server.GetSocket(), reinterpret_cast<sockaddr*>(&address), &length);
        marks.push_back(
            client.MarkMessage(L"https://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)), L"flood", true));
    }
    const double flooded = ClientConfigurationSeconds(client);
    size_t threads = ThreadCount();
    auto memory = MemoryMiB();
    for (const CNxoApiClient::ContextPtr& mark : marks)
        while (!Os::WaitForObject(mark->GetCompletionEvent(), DateTimeSpan(0, 0, 0, 0, 500))) {
            threads = std::max(threads, ThreadCount());
            const auto now = MemoryMiB();
            memory = {std::max(memory.first, now.first), std::max(memory.second, now.second)};
        }
    char ratio[64] = "no ratio: a request failed";
    if (flooded >= 0 && alone > 0)
        std::snprintf(ratio, sizeof(ratio), "ratio %6.1f", flooded / alone);
    std::printf("silent   %d servers named in mail: get_info %s  alone %s  %s  threads %zu (%zu before)  "
                "address space +%6.1f MiB  working set +%6.1f MiB\n",
                SilentServers, TimeOrFailure(flooded).c_str(), TimeOrFailure(alone).c_str(), ratio, threads,
                threadsBefore, memory.first - memoryBefore.first, memory.second - memoryBefore.second);
    // A get_info that failed took, for the goal, longer than any limit.
    QzlBench::PrintGoal("get_info beside 1,200 silent servers named in mail", flooded < 0 ? 1e9 : flooded, " s",
                        true, 5);
    QzlBench::PrintGoal("the process's threads meanwhile", static_cast<double>(threads), "", true, 64);
    QzlBench::PrintGoal("its working set's growth meanwhile", memory.second - memoryBefore.second, " MiB", true, 64);
}

// A file of the data folder, put back as it was.
class CKeptFile {
public:
    explicit CKeptFile(const StringW& path)
        : m_path(path), m_existed(Os::GetFileAttributes(path) != INVALID_FILE_ATTRIBUTES),
          m_contents(m_existed ? Os::ReadFileContents(path) : std::string())
    {
    }
    ~CKeptFile()
    {
        try {
            if (m_existed)
                Os::WriteFileContents(m_path, m_contents.data(), m_contents.size());
            else
                Os::TryDeleteFile(m_path);
        } catch (const CException&) {
            std::fprintf(stderr, "cannot put back %ls\n", m_path.c_str());
        }
    }

private:
    StringW m_path;
    bool m_existed;
    std::string m_contents;
};

// The cache's files are the data folder's own: what they held is put back.
void WhitelistCaching()
{
    std::set<std::string> addresses;
    for (int i = 0; i < WhitelistedAddresses; ++i)
        addresses.insert("bench" + std::to_string(i) + "@cache.example");
    std::string lines;
    for (const std::string& address : addresses)
        lines.append(address).append("\r\n");
    const StringW scratch = Os::GetTemporaryDirectory() + L"nxo_bench_whitelist.txt";
    double start = Now();
    Os::WriteFileContents(scratch, lines.data(), lines.size());
    const double reference = Now() - start;
    Os::TryDeleteFile(scratch);

    CCachedWhitelist cache;
    const CKeptFile keptList(cache.GetPath());
    const CKeptFile keptAppliance(Os::CombinePath(Os::GetDirectoryFromPath(cache.GetPath()), L"whitelist.appliance"));
    start = Now();
    const size_t cached = cache.AddAddresses(addresses);
    const double seconds = Now() - start;

    std::printf("whitelist %d addresses cached (%zu new): %6.3f s  one write of the same lines %6.3f s  ratio %6.1f\n",
                WhitelistedAddresses, cached, seconds, reference, reference > 0 ? seconds / reference : 0.0);
    QzlBench::PrintGoal("50,000 whitelisted addresses cached", seconds, " s", true, 0.5);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: nxo_bench <appliance URI> <account> <secret> <file> <curl seconds>\n");
        return 2;
    }
    const StringW uri{std::string(argv[1])};
    const StringW path{std::string(argv[4])};
    const double curlSeconds = std::atof(argv[5]);
    Logging::SetLogPath(Os::GetTemporaryDirectory() + L"nxo_bench.log");
    Net::InitializeSockets();
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Os::CRegistryKey existing;
    const bool hadSettings = existing.TryOpen(HKEY_CURRENT_USER, SettingsPath, KEY_READ);
    existing.Close();

    int result = 0;
    {
        CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
        config.SetNxoUri(CNxoOutlookAddInConfig::ParseNxoUri(uri), L"bench@example.com");
        config.SetAccountName(StringW(std::string(argv[2])));
        config.SetAccountKey(StringW(std::string(argv[3])));
        CNxoApiClient client;
        // The session learns the appliance's nonce here, so that no upload is
        // sent twice for a challenge.
        CNxoClientConfig info;
        client.GetClientConfiguration(info);

        const uint64_t bytes = Os::GetFileSizeByPath(path);
        CComProgressDlg dialog(L"Quenzal Inbox Rampart", 322, 1);
        KvdRequestInfo request{L"{00000000-0000-4000-8000-000000000001}", L"bench@example.com", {L"a@example.com"},
                               nullptr};
        try {
            dialog.Show(nullptr);
            request.ProgressDialog = dialog.GetDialog();
        } catch (const CException&) {
            std::printf("(no display: the upload's notifier runs without a progress dialog)\n");
        }
        double baseline = PeakWorkingSetMiB();
        double addIn = BestRate(bytes, [&] { client.StoreKvdFile(request, path, L"bench.bin"); });
        double addInPeak = PeakWorkingSetMiB();
        dialog.Close();
        double library = BestRate(bytes, [&] { LibraryUpload(client, request, path, true); });
        double plain = BestRate(bytes, [&] { LibraryUpload(client, request, path, false); });
        std::printf("upload   TLS %4.0f MiB: add-in %8.1f MB/s  library with notifier %8.1f MB/s  ratio %5.2f  "
                    "(library without notifier %8.1f MB/s)  peak working set %6.1f MiB (%5.1f MiB before)\n",
                    static_cast<double>(bytes) / (1024.0 * 1024.0), addIn, library, addIn / library, plain,
                    addInPeak, baseline);

        double start = Now();
        for (int i = 0; i < Marks; ++i) {
            auto context = client.MarkMessage(L"", std::to_wstring(i), true);
            Os::WaitForObject(context->GetCompletionEvent(), DateTimeSpan());
            if (!context->IsSuccessful()) {
                std::fprintf(stderr, "mark %d failed: %u\n", i, context->GetStatusCode());
                result = 1;
                break;
            }
        }
        double seconds = Now() - start;
        std::printf("marks    TLS %4d requests: add-in %6.2f s  curl %6.2f s  ratio %5.2f\n", Marks, seconds,
                    curlSeconds, seconds > 0 ? curlSeconds / seconds : 0.0);
        SilentServerFlood(client);
        WhitelistCaching();
    }
    if (!hadSettings)
        ::RegDeleteTreeW(HKEY_CURRENT_USER, SettingsPath);
    std::fflush(stdout);
    return result;
}

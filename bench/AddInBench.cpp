// The product DLL in the stand-in Outlook, as the user feels it:
//
//   addin_bench.exe
//
// 1. Start-up: OnConnection to OnStartupComplete, median of 5 runs, with a
//    configured account, next to the framework's test add-in, which does
//    nothing of its own, in the same run. Goal: under 10 ms.
// 2. Mark as spam of 100 selected messages: the time the user-interface
//    thread is busy (the click, then every message it dispatches for the
//    next 3 s), against a stand-in appliance that answers each request after
//    2 s, next to the same against one that answers at once. Goal: under
//    100 ms, and no wait on the network on that thread.
// 3. The send of a draft with a 256 MiB linked file through the stubbing
//    path (upload under the progress dialog, preamble, stub), against the
//    network library's own upload of the same file with a progress notifier
//    in the same run, nine of each, each send next to an upload (goal: the
//    median of the nine ratios at least 0.9), and without one for
//    information; then the peak working set (goal: under 64 MiB).
//
// Each figure with a goal ends in a "goal:" line for scripts/bench's summary.
//
// The send runs in a process of its own (addin_bench.exe stubbing), so that
// the peak working set printed is the send's, not that of the runs before it.
// The benchmark's log goes to addin_bench.log in the temporary folder, the
// framework's test add-in's to addin_bench_test_addin.log. Runs in the build's Wine prefix; the add-in's settings key
// is its own for the run and removed afterwards.

#include "AddInFlow.h"
#include "BenchSupport.h"
#include "TestAddIn.h"
#include "TestAddInProbe.h"

#include "CreateProcess.h"
#include "FakeAttachments.h"
#include "File.h"
#include "FileSystem.h"
#include "KvdUpload.h"
#include "Logging.h"
#include "Modules.h"
#include "NxoApiClient.h"
#include "NxoClientConfig.h"
#include "Stubbing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace NxoTest;
using namespace QzlFake;

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The loaded add-in is prepared before each connection.
double StartupMilliseconds(const std::function<CAddInHost&()>& host,
                           const std::function<void(CAddInHost&)>& prepare = [](CAddInHost&) {})
{
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        CAddInHost& loaded = host();
        loaded.Load();
        prepare(loaded);
        double start = QzlBench::Now();
        loaded.Connect();
        runs.push_back((QzlBench::Now() - start) * 1000);
        loaded.Disconnect();
        loaded.Unload();
    }
    return Median(runs);
}

// Busy time of this thread: the click, then each dispatched message.
double MarkBusyMilliseconds(CAddInFlow& flow, const std::vector<CFakeRef>& selection)
{
    double start = QzlBench::Now();
    flow.Click(L"Quenzal.TQ.Spam", selection);
    double busy = QzlBench::Now() - start;
    std::printf("    the click alone: the button's callback reads each message and queues its mark %8.2f ms\n", busy * 1000);
    double end = QzlBench::Now() + 3;
    while (QzlBench::Now() < end) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            double before = QzlBench::Now();
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
            busy += QzlBench::Now() - before;
        }
    }
    return busy * 1000;
}

// The busy time also holds each answer's handling on this thread (the
// message moved), so it grows with the answers that came within the 3 s.
double MarkHundred(const char* delay)
{
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    CAddInFlow::SetSetting(L"SpamAction", 1);
    if (delay != nullptr)
        flow.appliance.Switch("mark.cgi", std::string("delay=") + delay);
    flow.host->Connect();
    std::vector<CFakeRef> selection;
    for (int i = 0; i < 100; ++i)
        selection.push_back(flow.AddApplianceMail(Outlook::Inbox, L"Spam", "BENCH-" + std::to_string(i)));
    flow.PumpUntil([] { return false; }, 0.2);
    std::printf("  appliance answering %s:\n", delay != nullptr ? "after 2 s" : "at once");
    double busy = MarkBusyMilliseconds(flow, selection);
    std::printf("    marks answered within those 3 s, one at a time, each answer then handled on the thread: %zu of "
                "100\n",
                flow.AwaitSeen("mark.cgi", 0).size());
    std::printf("    busy in all: the click and every message the thread handled in the 3 s %8.2f ms\n", busy);
    return busy;
}

// The file is written a piece at a time so that its bytes are not counted
// in the working set.
void WriteBenchFile(const std::wstring& path, uint64_t size)
{
    Quenzal::Os::CHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string piece(1 << 20, '\0');
    for (uint64_t written = 0; written < size; written += piece.size()) {
        for (size_t i = 0; i < piece.size(); ++i)
            piece[i] = static_cast<char>((written + i) * 2654435761u >> 13);
        DWORD done = 0;
        ::WriteFile(file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &done, nullptr);
    }
}

// One send of the file, linked to a draft of its own.
double StubbingRate(CAddInFlow& flow, CNxoApiClient& client, const std::wstring& path, uint64_t size,
                    bool& stubbed)
{
    CFakeRef draft = flow.AddDraft(L"Bench");
    draft->Property(L"SenderEmailType", L"SMTP").Property(L"SenderEmailAddress", L"user@example.com");
    CFakeAttachments attachments(*draft, {L"colleague@example.net"});
    Quenzal::OutlookAddIn::CDispatchObject item(draft.Get());
    Quenzal::Stubbing::AttachLinkFile(item, path);
    const double start = QzlBench::Now();
    Quenzal::Stubbing::StubLinks(nullptr, item, client, size);
    const double rate = static_cast<double>(size) / 1e6 / (QzlBench::Now() - start);
    stubbed = stubbed && attachments.List().size() == 1 && attachments.List()[0].first == L"Linked Attachments.html";
    return rate;
}

// Nine rounds, S L P and P L S in turn (P: the library without a
// notifier), so that no side is always first on a fresh connection or a
// server that has just grown its buffers. A send is compared with the upload
// next to it: the machine's speed drifts over the minutes of the run and a
// single transfer may lose a third to a busy moment, which the ratios of
// neighbours and their median ride out. The peak working set is taken after
// the first send, before the library has uploaded anything.
void StubbingSend()
{
    constexpr uint64_t Size = 256ull << 20;
    constexpr int Rounds = 9;
    CAddInFlow flow;
    flow.turn.Configure(flow.appliance);
    const std::wstring path = Quenzal::Os::GetTemporaryDirectory() + L"addin_bench_linked.bin";
    WriteBenchFile(path, Size);
    CNxoApiClient client;
    // The session learns the appliance's nonce here, so that no upload is
    // sent twice for a challenge.
    CNxoClientConfig info;
    client.GetClientConfiguration(info);
    KvdRequestInfo request{L"{00000000-0000-4000-8000-000000000001}", L"user@example.com", {L"a@example.com"},
                           nullptr};
    const auto upload = [&](bool notify) {
        const double start = QzlBench::Now();
        QzlBench::LibraryUpload(client, request, path, notify);
        const double rate = static_cast<double>(Size) / 1e6 / (QzlBench::Now() - start);
        std::printf("    library upload %s %7.1f MB/s\n", notify ? "with notifier   " : "without notifier", rate);
        return rate;
    };

    const double before = QzlBench::PeakWorkingSetMiB();
    double peak = 0;
    std::vector<double> ratios;
    double plain = 0;
    bool stubbed = true;
    for (int round = 0; round < Rounds; ++round) {
        if (round % 2 == 1)
            plain = std::max(plain, upload(false));
        const double library = round % 2 == 1 ? upload(true) : 0;
        const double stubbing = StubbingRate(flow, client, path, Size, stubbed);
        if (peak == 0)
            peak = QzlBench::PeakWorkingSetMiB();
        std::printf("    stubbing send %8.1f MB/s\n", stubbing);
        ratios.push_back(stubbing / (round % 2 == 1 ? library : upload(true)));
        if (round % 2 == 0)
            plain = std::max(plain, upload(false));
    }
    Quenzal::Os::TryDeleteFile(path);
    std::sort(ratios.begin(), ratios.end());
    const double ratio = ratios[Rounds / 2];
    std::printf("  send / library upload with notifier next to it:");
    for (const double each : ratios)
        std::printf(" %.2f", each);
    std::printf("%s\n", stubbed ? "" : " (a message was NOT stubbed)");
    std::printf("  library upload without notifier, best of %d %8.1f MB/s (for information)\n", Rounds, plain);
    std::printf("  median ratio of the send to the library upload with notifier %.2f (goal >= 0.9)\n", ratio);
    std::printf("  peak working set %.1f MiB (%.1f MiB before the send; goal < 64 MiB)\n", peak, before);
    QzlBench::PrintGoal("stubbing send / library upload with notifier", stubbed ? ratio : 0.0, "", false, 0.9);
    QzlBench::PrintGoal("peak working set of the stubbing send", peak, " MiB", true, 64);
}

// This program again with "stubbing", its output in this one's; answers its exit code.
DWORD StubbingSendAlone()
{
    std::fflush(stdout);
    Quenzal::Os::CreateProcess send(Quenzal::Os::GetModulePath(nullptr), L"stubbing");
    send.InheritHandles = true;
    Quenzal::Os::CHandle process = send.Execute();
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    Quenzal::Logging::SetLogPath(Quenzal::Os::GetTemporaryDirectory() + L"addin_bench.log");
    if (argc > 1 && std::string(argv[1]) == "stubbing") {
        std::printf("Send with a 256 MiB linked file through the stubbing path:\n");
        StubbingSend();
        return 0;
    }
    std::printf("Start-up, OnConnection to OnStartupComplete, median of 5:\n");
    double product = 0;
    {
        CAddInFlow flow;
        flow.turn.Configure(flow.appliance);
        product = StartupMilliseconds([&]() -> CAddInHost& { return *flow.host; });
    }
    double reference = 0;
    {
        CFakeOutlook outlook;
        // A window open, as in the product's flow: Office asks both for its ribbon during start-up.
        outlook.AddExplorer();
        wchar_t exe[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring folder(exe, std::wstring(exe).rfind(L'\\') + 1);
        CAddInHost testAddIn(outlook, folder + L"QzlTestAddIn.dll", CLSID_QzlTestAddIn, L"Quenzal.TestAddIn");
        const std::wstring log = Quenzal::Os::GetTemporaryDirectory() + L"addin_bench_test_addin.log";
        reference = StartupMilliseconds([&]() -> CAddInHost& { return testAddIn; }, [&](CAddInHost& loaded) {
            loaded.GetExport<TestAddInProbe*()>("QzlTestAddInProbe")()->setLogPath(log.c_str());
        });
    }
    std::printf("  NxoOutlookAddIn.dll %8.2f ms (goal < 10 ms)\n", product);
    std::printf("  add-in doing nothing %7.2f ms\n", reference);
    std::printf("  ratio %.2f\n", reference > 0 ? product / reference : 0.0);

    std::printf("Mark as spam of 100 messages, user-interface thread busy for the click and the next 3 s:\n");
    double slow = MarkHundred("2");
    double quick = MarkHundred(nullptr);
    std::printf("  appliance answering after 2 s %8.2f ms (goal < 100 ms)\n", slow);
    std::printf("  appliance answering at once   %8.2f ms\n", quick);
    std::printf("  ratio %.2f\n", quick > 0 ? slow / quick : 0.0);
    QzlBench::PrintGoal("start-up of NxoOutlookAddIn.dll, median of 5", product, " ms", true, 10);
    QzlBench::PrintGoal("user-interface thread busy, 100 marks, appliance after 2 s", slow, " ms", true, 100);

    return static_cast<int>(StubbingSendAlone());
}

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
//
// Runs in the build's Wine prefix; the add-in's settings key is its own for
// the run and removed afterwards.

#include "AddInFlow.h"
#include "BenchSupport.h"
#include "TestAddIn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace NxoTest;
using namespace QzlFake;

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double StartupMilliseconds(const std::function<CAddInHost&()>& host)
{
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        CAddInHost& loaded = host();
        loaded.Load();
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
    std::printf("    the click itself %.2f ms\n", busy * 1000);
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
    double busy = MarkBusyMilliseconds(flow, selection);
    std::printf("    %zu of 100 marks answered within 3 s\n", flow.AwaitSeen("mark.cgi", 0).size());
    return busy;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
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
        wchar_t exe[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring folder(exe, std::wstring(exe).rfind(L'\\') + 1);
        CAddInHost testAddIn(outlook, folder + L"QzlTestAddIn.dll", CLSID_QzlTestAddIn, L"Quenzal.TestAddIn");
        reference = StartupMilliseconds([&]() -> CAddInHost& { return testAddIn; });
    }
    std::printf("  NxoOutlookAddIn.dll %8.2f ms (goal < 10 ms)\n", product);
    std::printf("  add-in doing nothing %7.2f ms\n", reference);
    std::printf("  ratio %.2f\n", reference > 0 ? product / reference : 0.0);

    std::printf("Mark as spam of 100 messages, user-interface thread busy:\n");
    double slow = MarkHundred("2");
    double quick = MarkHundred(nullptr);
    std::printf("  appliance answering after 2 s %8.2f ms (goal < 100 ms)\n", slow);
    std::printf("  appliance answering at once   %8.2f ms\n", quick);
    std::printf("  ratio %.2f\n", quick > 0 ? slow / quick : 0.0);
    return 0;
}

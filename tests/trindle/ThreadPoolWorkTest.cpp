#include "CreateProcess.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "Os.h"
#include "StructuredExceptionGuard.h"
#include "TestLibrary.h"
#include "TestSupport.h"
#include "ThreadPoolWork.h"

#include <gtest/gtest.h>

#include <comdef.h>

#include <atomic>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;

namespace {

// Long enough never to be reached by working code; a hang fails the test.
const DateTimeSpan Patience(0, 0, 4, 0, 0);

bool WaitFor(const CThreadPoolWork& work)
{
    return WaitForObject(work.GetCompletionEvent(), Patience);
}

// Records what happened, in order, from any thread.
class CJournal {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

StringW DescriptionOfCurrentThread()
{
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    auto get = reinterpret_cast<GetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    PWSTR text = nullptr;
    if (get == nullptr || FAILED(get(GetCurrentThread(), &text)))
        return L"<unsupported>";
    StringW result(text);
    LocalFree(text);
    return result;
}

std::shared_ptr<CThreadPoolWork> MakeWork(std::function<void()> body)
{
    auto work = std::make_shared<CThreadPoolWork>();
    work->SetWorkFunction(std::move(body));
    return work;
}

} // namespace

TEST(ThreadPoolWork, WorkThenHandlersInOrderOnThePoolThreadThenTheEvent)
{
    CLogCapture log;
    CJournal journal;
    std::atomic<DWORD> workThread{0};
    auto work = MakeWork([&] {
        workThread = GetCurrentThreadId();
        journal.Add("work");
    });
    CThreadPoolWork* raw = work.get();
    for (const char* name : {"first", "second", "third"}) {
        work->AddCompletionHandler([&, name, raw] {
            journal.Add(std::string(name) + (GetCurrentThreadId() == workThread ? " on pool" : " elsewhere") +
                        (raw->IsComplete() ? " after event" : " before event"));
        });
    }
    EXPECT_FALSE(work->IsComplete());
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitFor(*work));
    EXPECT_TRUE(work->IsComplete());
    EXPECT_FALSE(work->HasException());
    EXPECT_NO_THROW(work->RethrowException());
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"work", "first on pool before event",
                                                           "second on pool before event", "third on pool before event"}));
    EXPECT_NE(workThread.load(), GetCurrentThreadId());
    EXPECT_EQ(work->GetThreadId(), workThread.load());
    EXPECT_FALSE(work->GetStartTime().IsNull());
    // The runner writes its last line after the event; wait until it is there.
    std::string completed = StringW::Format(L"Completed thread pool work on thread 0x%x after ", workThread.load()).ToUtf8();
    for (int i = 0; i < 600 && !log.Contains(completed); ++i)
        Sleep(50);
    std::string text = log.Text();
    EXPECT_NE(text.find(StringW::Format(L"Beginning thread pool work on thread 0x%x\r\n", workThread.load()).ToUtf8()),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(completed), std::string::npos) << text;
}

TEST(ThreadPoolWork, ElapsedTimeOfWorkNotBegunIsZero)
{
    CThreadPoolWork work;
    EXPECT_TRUE(work.GetElapsedTime().IsZero());
    EXPECT_EQ(work.GetElapsedTime().ToString(), StringW(L"0ms"));
}

TEST(ThreadPoolWork, StdExceptionIsLoggedStoredAndRethrownToTheReader)
{
    CLogCapture log;
    std::atomic<bool> handlerRan{false};
    auto work = MakeWork([] { throw std::runtime_error("disk on fire"); });
    work->AddCompletionHandler([&] { handlerRan = true; });
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitFor(*work));
    EXPECT_TRUE(handlerRan);
    ASSERT_TRUE(work->HasException());
    try {
        work->RethrowException();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "disk on fire");
    }
    EXPECT_TRUE(log.Contains("ERROR: Caught unhandled std::exception (std::runtime_error): disk on fire\r\n"))
        << log.Text();
    work->ClearException();
    EXPECT_FALSE(work->HasException());
    EXPECT_NO_THROW(work->RethrowException());
}

TEST(ThreadPoolWork, EveryKindOfFailureIsCaught)
{
    struct Case {
        std::function<void()> body;
        std::string line;
    };
    std::vector<Case> cases = {
        {[] { QZL_THROW(L"QzlTest::Work", CWinError(5, L"the share")); },
         "ERROR: Caught unhandled exception: " + GetErrorText(5).ToUtf8() + ": the share\r\n"},
        {[] { throw _com_error(E_ACCESSDENIED); },
         "ERROR: Caught unhandled COM exception: " + GetErrorText(0x80070005).ToUtf8() + "\r\n"},
        {[] { throw 42; }, "ERROR: Caught unhandled exception (Unknown source)\r\n"},
        // No work function at all.
        {nullptr, "ERROR: Caught unhandled std::exception (std::bad_function_call): bad_function_call\r\n"},
    };
    for (const Case& c : cases) {
        CLogCapture log;
        auto work = MakeWork(c.body);
        QueueThreadPoolWork(work);
        ASSERT_TRUE(WaitFor(*work));
        EXPECT_TRUE(work->HasException());
        EXPECT_TRUE(log.Contains(c.line)) << log.Text();
    }
    auto work = MakeWork([] { QZL_THROW(L"QzlTest::Work", CWinError(5, L"the share")); });
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitFor(*work));
    // Each reader gets a copy of its own, of the same class, to format and change.
    for (int reader = 0; reader < 2; ++reader) {
        try {
            work->RethrowException();
            FAIL();
        } catch (CWinError& e) {
            EXPECT_EQ(e.GetErrorCode(), 5u);
            EXPECT_FALSE(e.IsUserMessage()) << reader;
            e.SetUserMessage(true);
        }
    }
    // A derivative that cannot copy itself keeps its class all the same.
    struct CUncopied : CException {};
    work = MakeWork([] { throw CUncopied(); });
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitFor(*work));
    EXPECT_THROW(work->RethrowException(), CUncopied);
}

namespace {

class CCountingWork : public CThreadPoolWork {
public:
    void OnExecutionStarting() override
    {
        ++starts;
        if (refuse)
            QZL_THROW(L"QzlTest::CCountingWork::OnExecutionStarting", CException(L"refused"));
        CThreadPoolWork::OnExecutionStarting();
    }
    std::atomic<int> starts{0};
    bool refuse = false;
};

} // namespace

TEST(ThreadPoolWork, AnItemRunsOnlyOnce)
{
    CHandle release = CreateManualResetEvent();
    auto work = std::make_shared<CCountingWork>();
    work->SetWorkFunction([&] { WaitForObject(release.Get(), Patience); });
    QueueThreadPoolWork(work);

    CLogCapture log;
    // Still running...
    EXPECT_THROW(QueueThreadPoolWork(work), CException);
    SetEvent(release.Get());
    ASSERT_TRUE(WaitFor(*work));
    // ...and complete.
    try {
        QueueThreadPoolWork(work);
        FAIL();
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), StringW(L"Thread pool work object being reused"));
    }
    EXPECT_EQ(work->starts.load(), 1);
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at ThreadPoolWork\\.cpp, "
                                                         "Quenzal::Os::QueueThreadPoolWork, line [0-9]+: Thread pool "
                                                         "work object being reused\r\n")))
        << log.Text();
}

TEST(ThreadPoolWork, RefusalWhileStartingQueuesNothing)
{
    auto work = std::make_shared<CCountingWork>();
    work->refuse = true;
    work->SetWorkFunction([] {});
    EXPECT_THROW(QueueThreadPoolWork(work), CException);
    // The pool would hold a reference of its own.
    EXPECT_EQ(work.use_count(), 1);
    EXPECT_FALSE(work->IsStarted());
    EXPECT_FALSE(work->IsComplete());
}

TEST(ThreadPoolWork, FailingHandlersDoNotStopTheOthers)
{
    CLogCapture log;
    std::atomic<bool> lastRan{false};
    auto work = MakeWork([] {});
    work->AddCompletionHandler([] { QZL_THROW(L"QzlTest::Handler", CException(L"first handler failed")); });
    work->AddCompletionHandler([] { throw std::logic_error("second handler failed"); });
    work->AddCompletionHandler([] { throw 7; });
    work->AddCompletionHandler([&] { lastRan = true; });
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitFor(*work));
    EXPECT_TRUE(lastRan);
    EXPECT_FALSE(work->HasException());
    std::string text = log.Text();
    const char* prefix = "EXCEPTION: Caught exception at ThreadPoolWork\\.cpp, "
                         "Quenzal::Os::IThreadPoolWork::OnExecutionCompleted, line [0-9]+: ";
    EXPECT_TRUE(std::regex_search(text, std::regex(std::string(prefix) + "first handler failed\r\n"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(std::string(prefix) + "std::logic_error: second handler failed\r\n")))
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(std::string(prefix) + "Unknown exception\r\n"))) << text;
}

namespace {

// A work item whose name cannot be made: the pool thread is named before the
// body runs.
class CNamelessWork : public CThreadPoolWork {
public:
    std::string GetName() const override
    {
        QZL_THROW(L"QzlTest::CNamelessWork::GetName", CException(L"no name for this work"));
    }
};

// A work item whose own completion step fails before the base completes it.
class CFailingCompletionWork : public CThreadPoolWork {
public:
    void OnExecutionCompleted() override { throw std::logic_error("completion went wrong"); }
};

} // namespace

TEST(ThreadPoolWork, AFailureToBeginIsStoredAndTheItemStillCompletes)
{
    CLogCapture log;
    std::atomic<bool> bodyRan{false}, handlerRan{false};
    auto work = std::make_shared<CNamelessWork>();
    work->SetWorkFunction([&] { bodyRan = true; });
    work->AddCompletionHandler([&] { handlerRan = true; });
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitFor(*work));
    EXPECT_FALSE(bodyRan);
    EXPECT_TRUE(handlerRan);
    ASSERT_TRUE(work->HasException());
    try {
        work->RethrowException();
        FAIL();
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), StringW(L"no name for this work"));
    }
    EXPECT_TRUE(log.Contains("ERROR: Caught unhandled exception: no name for this work\r\n")) << log.Text();
}

TEST(ThreadPoolWork, AFailingCompletionStillWakesTheWaiters)
{
    CLogCapture log;
    auto work = std::make_shared<CFailingCompletionWork>();
    work->SetWorkFunction([] {});
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitFor(*work));
    EXPECT_TRUE(work->IsComplete());
    // The runner goes on to its last line instead of ending the process.
    for (int i = 0; i < 600 && !log.Contains("Completed thread pool work on thread"); ++i)
        Sleep(50);
    std::string text = log.Text();
    EXPECT_TRUE(std::regex_search(text, std::regex("EXCEPTION: Caught exception at ThreadPoolWork\\.cpp, "
                                                   "Quenzal::Os::IThreadPoolWork::OnExecutionCompleted, line [0-9]+: "
                                                   "std::logic_error: completion went wrong\r\n")))
        << text;
    EXPECT_NE(text.find("Completed thread pool work on thread"), std::string::npos) << text;
}

TEST(ThreadPoolWork, HandlersAddedLateAreNeverLost)
{
    CJournal journal;
    CHandle added = CreateManualResetEvent();
    CHandle release = CreateManualResetEvent();
    auto work = std::make_shared<CThreadPoolWork>();
    CThreadPoolWork* raw = work.get();
    work->SetWorkFunction([&, raw] {
        // From the work itself, and from a handler: both still run, in order.
        raw->AddCompletionHandler([&, raw] {
            journal.Add("from work");
            raw->AddCompletionHandler([&] { journal.Add("from handler"); });
        });
        SetEvent(added.Get());
        WaitForObject(release.Get(), Patience);
    });
    QueueThreadPoolWork(work);
    ASSERT_TRUE(WaitForObject(added.Get(), Patience));
    work->AddCompletionHandler([&] { journal.Add("while running"); });
    SetEvent(release.Get());
    ASSERT_TRUE(WaitFor(*work));

    DWORD ranOn = 0;
    work->AddCompletionHandler([&] {
        ranOn = GetCurrentThreadId();
        journal.Add("after completion");
    });
    EXPECT_EQ(ranOn, GetCurrentThreadId());
    EXPECT_EQ(journal.Entries(),
              (std::vector<std::string>{"from work", "while running", "from handler", "after completion"}));
}

TEST(ThreadPoolWork, ManyItemsFromSeveralThreadsAllComplete)
{
    constexpr int Threads = 8;
    constexpr int ItemsPerThread = 60;
    std::atomic<int> bodies{0}, earlyHandlers{0}, lateHandlers{0}, incomplete{0};
    std::vector<std::thread> submitters;
    for (int t = 0; t < Threads; ++t) {
        submitters.emplace_back([&] {
            std::vector<std::shared_ptr<CThreadPoolWork>> items;
            for (int i = 0; i < ItemsPerThread; ++i) {
                auto work = MakeWork([&] { ++bodies; });
                work->AddCompletionHandler([&] { ++earlyHandlers; });
                QueueThreadPoolWork(work);
                // Races with the completion on the pool thread.
                work->AddCompletionHandler([&] { ++lateHandlers; });
                items.push_back(work);
            }
            for (auto& work : items)
                if (!WaitFor(*work))
                    ++incomplete;
        });
    }
    for (auto& t : submitters)
        t.join();
    EXPECT_EQ(incomplete.load(), 0);
    EXPECT_EQ(bodies.load(), Threads * ItemsPerThread);
    EXPECT_EQ(earlyHandlers.load(), Threads * ItemsPerThread);
    EXPECT_EQ(lateHandlers.load(), Threads * ItemsPerThread);
}

TEST(ThreadPoolWork, PoolThreadCarriesTheWorksName)
{
    StringW anonymous, named;
    auto first = MakeWork([&] { anonymous = DescriptionOfCurrentThread(); });
    QueueThreadPoolWork(first);
    ASSERT_TRUE(WaitFor(*first));
    auto second = MakeWork([&] { named = DescriptionOfCurrentThread(); });
    second->SetName(L"Qzl upload of a file");
    QueueThreadPoolWork(second);
    ASSERT_TRUE(WaitFor(*second));
    EXPECT_EQ(anonymous, StringW(L"Anonymous lambda"));
    EXPECT_EQ(named, StringW(L"Qzl upload of a file"));
    EXPECT_EQ(first->GetName(), "Anonymous lambda");
    EXPECT_EQ(second->GetName(), "Qzl upload of a file");
}

TEST(CancelableThreadPoolWork, CancelHandleFirstCancelsTheWork)
{
    CHandle stop = CreateManualResetEvent();
    CHandle userCancel = CreateManualResetEvent();
    auto work = std::make_shared<CCancelableThreadPoolWork>();
    CCancelableThreadPoolWork* raw = work.get();
    std::atomic<bool> sawCancel{false};
    work->SetCancelCallback([&] { SetEvent(stop.Get()); });
    work->SetWorkFunction([&, raw] {
        WaitForObject(stop.Get(), Patience);
        sawCancel = raw->IsCanceled();
    });
    QueueThreadPoolWork(work);
    std::thread user([&] { SetEvent(userCancel.Get()); });
    work->WaitForCompletionOrCancel(userCancel.Get());
    user.join();
    EXPECT_TRUE(work->IsCanceled());
    ASSERT_TRUE(WaitFor(*work));
    EXPECT_TRUE(sawCancel);
}

TEST(CancelableThreadPoolWork, CompletionFirstDoesNotCancel)
{
    CHandle never = CreateManualResetEvent();
    auto work = std::make_shared<CCancelableThreadPoolWork>();
    std::atomic<int> cancels{0};
    work->SetCancelCallback([&] { ++cancels; });
    work->SetWorkFunction([] {});
    QueueThreadPoolWork(work);
    work->WaitForCompletionOrCancel(never.Get());
    EXPECT_TRUE(work->IsComplete());
    EXPECT_FALSE(work->IsCanceled());
    EXPECT_EQ(cancels.load(), 0);
    // Cancel without a callback only marks the work.
    CCancelableThreadPoolWork plain;
    plain.Cancel();
    EXPECT_TRUE(plain.IsCanceled());
}

// A work item that faults: the crash filter must log, dump and end the process.
QZL_CHILD_CASE(access_violation_in_pool_work)
{
    auto work = MakeWork([] {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    });
    QueueThreadPoolWork(work);
    WaitForObject(work->GetCompletionEvent(), Patience);
    return 1;
}

namespace {

// Checks that the lines appear in this order and returns the text after the last.
void ExpectLinesInOrder(const std::string& text, const std::vector<std::string>& lines)
{
    size_t position = 0;
    for (const std::string& line : lines) {
        size_t found = text.find(line, position);
        ASSERT_NE(found, std::string::npos) << "missing after position " << position << ": " << line << "\n" << text;
        position = found + line.size();
    }
}

} // namespace

TEST(ThreadPoolCrash, AccessViolationIsLoggedDumpedAndEndsTheProcess)
{
    // Wine's dump writer asks the server for the unwind data of every function
    // of every module, one request at a time: about 20 s on an idle machine,
    // minutes beside a busy test run.
    QzlTest::ChildResult result = QzlTest::RunChildCase("access_violation_in_pool_work", Patience.ToWaitTimeout());
    EXPECT_EQ(result.exitCode, 0xC0000005u) << result.output;
    std::smatch thread;
    ASSERT_TRUE(std::regex_search(result.output, thread, std::regex("Beginning thread pool work on thread (0x[0-9a-f]+)")))
        << result.output;
    std::smatch dump;
    ASSERT_TRUE(std::regex_search(result.output, dump, std::regex("Minidump saved to disk at: ([^\r\n]*)\r\n")))
        << result.output;
    QzlTest::CTemporaryFile file(StringW::FromAnsi(dump[1], CP_UTF8));
    ExpectLinesInOrder(result.output, {"ERROR: QzlUnhandledExceptionFilter reached\r\n",
                                       "ERROR: Exception occurred in thread " + thread[1].str() +
                                           " (Exception: access violation)\r\n",
                                       "Minidump saved to disk at: " + dump[1].str() + "\r\n",
                                       "ERROR: Terminating process\r\n"});
    EXPECT_EQ(GetDirectoryFromPath(file.Path()), GetTemporaryDirectory());
    EXPECT_TRUE(std::regex_match(GetFileNameFromPath(file.Path()).ToUtf8(),
                                 std::regex("test_trindle\\.[0-9a-f]{32}\\.mdmp")));
    EXPECT_EQ(QzlTest::ReadWholeFile(file.Path()).substr(0, 4), "MDMP");
    EXPECT_EQ(result.output.find("Completed thread pool work"), std::string::npos);
}

TEST(ThreadPoolCrash, OnlyTheSystemsDebugHelpLibraryWritesTheDumpAndWithoutADumpTheProcessStillEnds)
{
    // A copy of this program beside a debug-help library that lacks the dump
    // function, which Wine is told to prefer to its own where it finds both.
    StringW folder = QzlTest::UniqueTempPath(L"qzlnodump");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    struct RemoveFolder {
        StringW path;
        ~RemoveFolder() { RemoveDirectoryW(path.c_str()); }
    } removeFolder{folder};
    StringW exeName = StringW::Format(L"qzlnodump_%lu.exe", GetCurrentProcessId());
    QzlTest::CTemporaryFile exe(folder + L"\\" + exeName);
    QzlTest::CTemporaryFile fake(folder + L"\\DBGHELP.DLL");
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    ASSERT_TRUE(CopyFileW(self, exe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(QzlTest::TestLibraryPath().c_str(), fake.c_str(), FALSE));
    StringW key = L"Software\\Wine\\AppDefaults\\" + exeName + L"\\DllOverrides";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"dbghelp", REG_SZ, L"native,builtin",
                              sizeof(L"native,builtin")),
              ERROR_SUCCESS);

    // The second run has no temporary folder to write the dump to.
    wchar_t temporary[MAX_PATH + 1] = {};
    DWORD temporaryLength = GetEnvironmentVariableW(L"TMP", temporary, MAX_PATH + 1);
    for (bool dumpFails : {false, true}) {
        SCOPED_TRACE(dumpFails);
        DWORD exitCode = 0;
        std::string text;
        {
            CLogCapture log;
            SetHandleInformation(Logging::GetLogHandle(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
            Os::CreateProcess launcher(exe.Path(), L"--qzl-child=access_violation_in_pool_work");
            launcher.SendOutputToLog = true;
            if (dumpFails)
                SetEnvironmentVariableW(L"TMP", (folder + L"\\missing").c_str());
            CHandle process = launcher.Execute();
            SetEnvironmentVariableW(L"TMP", temporaryLength != 0 ? temporary : nullptr);
            EXPECT_TRUE(WaitForObject(process.Get(), Patience));
            GetExitCodeProcess(process.Get(), &exitCode);
            text = log.Text();
        }
        EXPECT_EQ(exitCode, 0xC0000005u) << text;
        std::smatch dump;
        if (std::regex_search(text, dump, std::regex("Minidump saved to disk at: ([^\r\n]*)\r\n")))
            DeleteFileW(StringW::FromAnsi(dump[1], CP_UTF8).c_str());
        ExpectLinesInOrder(text, {"ERROR: QzlUnhandledExceptionFilter reached\r\n",
                                  dumpFails ? "ERROR: Unable to save minidump\r\n" : "Minidump saved to disk at: ",
                                  "ERROR: Terminating process\r\n"});
        EXPECT_EQ(text.find("MiniDumpWriteDump"), std::string::npos) << text;
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + exeName).c_str());
}

TEST(StructuredExceptionGuard, InnermostFilterDecidesFirstAndCppExceptionsPassEveryGuard)
{
    struct Seen {
        std::vector<std::string> filters;
    } seen;
    static constexpr StructuredExceptionFilter passOn = [](EXCEPTION_POINTERS*, void* context) -> LONG {
        if (context != nullptr)
            static_cast<Seen*>(context)->filters.push_back("inner");
        return EXCEPTION_CONTINUE_SEARCH;
    };
    static constexpr StructuredExceptionFilter takeOver = [](EXCEPTION_POINTERS* pointers, void* context) -> LONG {
        DWORD code = pointers->ExceptionRecord->ExceptionCode;
        static_cast<Seen*>(context)->filters.push_back(StringW::Format(L"outer %x", code).ToUtf8());
        return EXCEPTION_EXECUTE_HANDLER;
    };
    bool innerFinished = false;
    bool outerFinished = RunGuarded(
        [&] {
            RunGuarded([] { *static_cast<volatile int*>(nullptr) = 1; }, passOn, &seen);
            innerFinished = true;
        },
        takeOver, &seen);
    EXPECT_FALSE(outerFinished);
    EXPECT_FALSE(innerFinished);
    EXPECT_EQ(seen.filters, (std::vector<std::string>{"inner", "outer c0000005"}));

    seen.filters.clear();
    EXPECT_THROW(RunGuarded([] { RunGuarded([] { throw std::runtime_error("C++"); }, passOn); }, takeOver, &seen),
                 std::runtime_error);
    EXPECT_TRUE(RunGuarded([] {}, takeOver, &seen));
    EXPECT_TRUE(seen.filters.empty());
}

#include "MapiTestSupport.h"
#include "MessageHeaders.h"
#include "NewMailEventSink.h"
#include "TestSupport.h"

#include <atomic>
#include <set>
#include <thread>

using namespace Quenzal;
using namespace Quenzal::Mapi;
using QzlTestMapi::BinaryProp;
using QzlTestMapi::Prop;
using QzlTestMapi::PropRow;
using QzlTestMapi::TableNotification;

namespace {

// Entry ids, which are also the subjects; BinaryProp keeps pointers to them.
const std::string Ids[] = {"a", "b", "c", "d", "old"};
const ULONGLONG LongAgo = 0x01D5C03669C14000ULL;

PropRow Row(const std::string& entryId)
{
    return {BinaryProp(PR_ENTRYID, entryId)};
}

PropRow MessageRow(const std::string& entryId, ULONGLONG delivered)
{
    SPropValue time{PR_MESSAGE_DELIVERY_TIME, 0, {}};
    time.Value.ft = {static_cast<DWORD>(delivered), static_cast<DWORD>(delivered >> 32)};
    return {BinaryProp(PR_ENTRYID, entryId), Prop(PR_SUBJECT_A, entryId.c_str()), time};
}

class CWatchedSink : public CNewMailEventSink {
public:
    explicit CWatchedSink(std::atomic<bool>& destroyed) : m_destroyed(destroyed) {}
    ~CWatchedSink() override { m_destroyed = true; }
    using CNewMailEventSink::GetRememberedCount;

private:
    std::atomic<bool>& m_destroyed;
};

// The folder "Inbox" with the messages of Ids: "old" delivered long before
// the sink began watching, the others an hour after. The callback records
// the subjects and the thread; "b" is a probe.
class NewMailSink : public QzlTest::CMapiProviderTest {
protected:
    std::atomic<bool> destroyed{false};
    CWatchedSink* sink = new CWatchedSink(destroyed);
    IMAPIFolderPtr folder;
    ULARGE_INTEGER now{};
    std::set<std::string> probes{"b"};
    // Written on the provider's thread, read after WaitForNotifications.
    std::vector<std::string> subjects;
    DWORD thread = 0;

    void SetUp() override
    {
        CMapiProviderTest::SetUp();
        ::GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&now));
        std::vector<PropRow> messages;
        for (const std::string& id : Ids)
            messages.push_back(MessageRow(id, id == "old" ? LongAgo : now.QuadPart + 36000000000ULL));
        std::vector<SRow> rows = QzlTestMapi::Rows(messages);
        SPropValue name = Prop(PR_DISPLAY_NAME_W, L"Inbox");
        folder.Attach(control->CreateFolder(&name, 1, rows.data(), static_cast<ULONG>(rows.size())));
    }
    void TearDown() override
    {
        if (!destroyed) {
            sink->Uninitialize();
            sink->Release();
        }
        control->WaitForNotifications();
        EXPECT_TRUE(destroyed);
        folder = nullptr;
        CMapiProviderTest::TearDown();
    }
    void Initialize(std::function<void(const std::string&)> during = {})
    {
        sink->Initialize(folder, [this, during](IMessage* message) {
            std::string text = GetMessageSubject(message).ToAnsi();
            if (during)
                during(text);
            subjects.push_back(text);
            thread = ::GetCurrentThreadId();
            return probes.count(text) != 0;
        });
    }
    void Queue(std::vector<NOTIFICATION> notifications, bool duringAdvise = false)
    {
        control->NotifyTable(folder, notifications.data(), static_cast<ULONG>(notifications.size()), duringAdvise);
    }
    void Notify(std::vector<NOTIFICATION> notifications)
    {
        Queue(std::move(notifications));
        control->WaitForNotifications();
    }
};

} // namespace

// One call with several notifications, on the store's thread: every added
// row is handed over and the probe deleted for good; other events, and a row
// without entry id, are logged each on its own; an empty call does nothing.
TEST_F(NewMailSink, EveryNotificationOfACallIsHandled)
{
    Initialize();
    PropRow a = Row(Ids[0]), b = Row(Ids[1]), c = Row(Ids[2]), noEntryId = {Prop(PR_SUBJECT_A, "x")};
    NOTIFICATION other{};
    other.ulEventType = fnevObjectCreated;
    QzlTest::CLogCapture log;
    Notify({TableNotification(TABLE_ROW_ADDED, &a), TableNotification(TABLE_ROW_ADDED, &b),
            TableNotification(TABLE_ROW_MODIFIED, &a), other, TableNotification(TABLE_ROW_ADDED, &noEntryId),
            TableNotification(TABLE_ROW_ADDED, &c)});
    Notify({});
    EXPECT_EQ(subjects, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_NE(thread, ::GetCurrentThreadId());
    EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), 1);
    EXPECT_EQ(control->GetLastFlags("IMAPIFolder::DeleteMessages"), ULONG(DELETE_HARD_DELETE));
    EXPECT_TRUE(log.Contains("Caught exception at NewMailEventSink.cpp, Quenzal::Mapi::CNewMailEventSink::OnNotify, "));
    EXPECT_TRUE(log.Contains("CNewMailEventSink received unexpected notification for folder 'Inbox': fnevObjectCreated"));
    EXPECT_TRUE(log.Contains("Entry ID not found in TABLE_ROW_ADDED row properties"));
}

// Bulk changes on a folder of 20,000 older messages read only the window of
// recent deliveries, which finds what came without a row of its own; no
// message goes twice, and the entry ids kept stay within the window.
TEST_F(NewMailSink, BulkChangesReadOnlyTheWindowOfRecentDeliveries)
{
    std::vector<std::string> ids;
    ids.reserve(20301);
    std::vector<PropRow> messages;
    for (int i = 0; i < 20000; ++i)
        messages.push_back(MessageRow(ids.emplace_back("old-" + std::to_string(i)), LongAgo));
    messages.push_back(MessageRow(ids.emplace_back("late"), now.QuadPart + 7200 * 10000000ULL));
    std::vector<SRow> rows = QzlTestMapi::Rows(messages);
    folder.Attach(control->CreateFolder(nullptr, 0, rows.data(), static_cast<ULONG>(rows.size())));
    Initialize();
    for (int i = 0; i < 300; ++i) {
        PropRow arrived =
            MessageRow(ids.emplace_back("new-" + std::to_string(i)), now.QuadPart + (3600 + i) * 10'000'000ULL);
        control->DeliverMessage(folder, arrived.data(), static_cast<ULONG>(arrived.size()));
    }
    control->WaitForNotifications();
    EXPECT_LE(sink->GetRememberedCount(), 61u);
    long reads = control->GetCallCount("IMAPITable::QueryRows");
    for (int i = 0; i < 10; ++i)
        Notify({TableNotification(i % 2 ? TABLE_CHANGED : TABLE_RELOAD)});
    EXPECT_LE(control->GetCallCount("IMAPITable::QueryRows") - reads, 20);
    EXPECT_EQ(subjects.size(), 301u);
    EXPECT_EQ(subjects.back(), "late");
}

// A store that cannot restrict its tables has bulk changes read them whole,
// for the messages of the window alone, and says so once.
TEST_F(NewMailSink, BulkChangesReadAWholeTableThatCannotBeRestricted)
{
    control->SetResult("IMAPITable::Restrict", MAPI_E_NO_SUPPORT);
    QzlTest::CLogCapture log;
    Initialize();
    Notify({TableNotification(TABLE_CHANGED), TableNotification(TABLE_RELOAD)});
    EXPECT_EQ(subjects, (std::vector<std::string>{"a", "b", "c", "d"}));
    const std::string text = log.Text(), warning = "Contents table of folder 'Inbox' cannot be restricted";
    EXPECT_NE(text.find(warning), std::string::npos);
    EXPECT_EQ(text.find(warning), text.rfind(warning));
}

// Whatever step of deleting a probe fails, the next still runs; a delete
// that completed only partly did not delete.
TEST_F(NewMailSink, EveryStepOfDeletingAProbeRuns)
{
    struct Case {
        HRESULT hardDelete, setReadFlags;
        const char* line;
    } cases[] = {
        {MAPI_E_UNKNOWN_FLAGS, S_OK, "DeleteItems( DELETE_HARD_DELETE) failed with MAPI_E_UNKNOWN_FLAGS; marking as "
                                     "read and deleting without flag"},
        {MAPI_E_UNKNOWN_FLAGS, MAPI_E_NO_SUPPORT,
         "Caught exception at NewMailEventSink.cpp, Quenzal::Mapi::CNewMailEventSink::DeleteMessage, "},
        {MAPI_W_PARTIAL_COMPLETION, S_OK, "failed with MAPI_W_PARTIAL_COMPLETION; marking as read"},
        {MAPI_E_NO_SUPPORT, S_OK, "failed with MAPI_E_NO_SUPPORT; marking as read"},
        {MAPI_E_NO_ACCESS, S_OK, "failed with MAPI_E_NO_ACCESS; marking as read"},
        {MAPI_E_CALL_FAILED, S_OK, "failed with MAPI_E_CALL_FAILED; marking as read"},
    };
    Initialize();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        control->SetResult("IMAPIFolder::DeleteMessages DELETE_HARD_DELETE", cases[i].hardDelete);
        control->SetResult("IMAPIFolder::SetReadFlags", cases[i].setReadFlags);
        long deletes = control->GetCallCount("IMAPIFolder::DeleteMessages");
        const std::string id = *probes.insert("probe-" + std::to_string(i)).first;
        PropRow probe = MessageRow(id, now.QuadPart);
        QzlTest::CLogCapture log;
        control->DeliverMessage(folder, probe.data(), static_cast<ULONG>(probe.size()));
        control->WaitForNotifications();
        EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), deletes + 2);
        EXPECT_EQ(control->GetLastFlags("IMAPIFolder::SetReadFlags"), ULONG(SUPPRESS_RECEIPT));
        EXPECT_EQ(control->GetLastFlags("IMAPIFolder::DeleteMessages"), 0u);
        EXPECT_TRUE(log.Contains(cases[i].line));
    }
}

// A notification may come while the sink advises, and while its owner lets
// it go, from a store that holds only the advise reference meanwhile: the
// first finds the sink complete; for the second, Uninitialize waits until it
// is done. Called from within a notification, Uninitialize returns at once
// and nothing more is handed over; nor by one that comes after it.
TEST_F(NewMailSink, NotificationsWhileTheSinkComesAndGoes)
{
    control->HoldSinksWhileNotifying(false);
    PropRow a = Row(Ids[0]), b = Row(Ids[1]), c = Row(Ids[2]), d = Row(Ids[3]);
    Queue({TableNotification(TABLE_ROW_ADDED, &a)}, true);
    Os::CHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), leave(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Initialize([&](const std::string& subject) {
        if (subject == "b") {
            ::SetEvent(entered.Get());
            ::WaitForSingleObject(leave.Get(), 60000);
        }
    });
    EXPECT_EQ(subjects, (std::vector<std::string>{"a"}));
    // A second registration is refused: the first stays the only one.
    EXPECT_EQ(QzlTest::RaisedAs<CComError>([&] { Initialize(); }).first, E_FAIL);

    Queue({TableNotification(TABLE_ROW_ADDED, &b)});
    ASSERT_EQ(::WaitForSingleObject(entered.Get(), 60000), WAIT_OBJECT_0);
    std::atomic<bool> returned{false};
    std::thread owner([&] {
        sink->Uninitialize();
        returned = true;
        sink->Uninitialize();
        sink->Release();
    });
    ::Sleep(200);
    EXPECT_FALSE(returned);
    EXPECT_FALSE(destroyed);
    ::SetEvent(leave.Get());
    owner.join();
    control->WaitForNotifications();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(subjects, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), 1);
    EXPECT_EQ(control->GetCallCount("IMAPITable::Unadvise"), 1);

    std::atomic<bool> gone{false};
    sink = new CWatchedSink(gone);
    Initialize([&](const std::string&) { sink->Uninitialize(); });
    Notify({TableNotification(TABLE_ROW_ADDED, &c), TableNotification(TABLE_ROW_ADDED, &d)});
    EXPECT_EQ(subjects.back(), "c");
    sink->Release();
    EXPECT_TRUE(gone);

    // One still on its way when Uninitialize returned hands nothing over and
    // leaves the sink to go with the store's reference.
    std::atomic<bool> late{false};
    sink = new CWatchedSink(late);
    Initialize();
    NOTIFICATION onItsWay = TableNotification(TABLE_ROW_ADDED, &d);
    control->NotifyTableAfterUnadvise(folder, &onItsWay, 1);
    sink->Uninitialize();
    sink->Release();
    control->WaitForNotifications();
    EXPECT_TRUE(late);
    EXPECT_EQ(subjects.back(), "c");

    // A sink that cannot be advised holds nothing.
    std::atomic<bool> failed{false};
    sink = new CWatchedSink(failed);
    control->SetResult("IMAPITable::Advise", MAPI_E_NO_SUPPORT);
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { Initialize(); }).first, MAPI_E_NO_SUPPORT);
    sink->Release();
    EXPECT_TRUE(failed);
}

#include "MapiTestSupport.h"
#include "MessageHeaders.h"
#include "NewMailEventSink.h"
#include "TestSupport.h"

#include <atomic>
#include <set>

using namespace Quenzal;
using namespace Quenzal::Mapi;
using QzlTestMapi::BinaryProp;
using QzlTestMapi::Prop;
using QzlTestMapi::PropRow;
using QzlTestMapi::TableNotification;

namespace {

// Entry ids, which are also the subjects; BinaryProp keeps pointers to them.
const std::string Ids[] = {"a", "b", "c", "d", "old"};

PropRow Row(const std::string& entryId)
{
    return {BinaryProp(PR_ENTRYID, entryId)};
}

class CWatchedSink : public CNewMailEventSink {
public:
    explicit CWatchedSink(std::atomic<bool>& destroyed) : m_destroyed(destroyed) {}
    ~CWatchedSink() override { m_destroyed = true; }

private:
    std::atomic<bool>& m_destroyed;
};

// The folder "Inbox" with the messages of Ids: "old" delivered long before
// the sink began watching, the others an hour after. The callback records
// the subjects and the thread; "b" is a probe.
class NewMailSink : public QzlTest::CMapiProviderTest {
protected:
    std::atomic<bool> destroyed{false};
    CNewMailEventSink* sink = new CWatchedSink(destroyed);
    IMAPIFolderPtr folder;
    std::set<std::string> probes{"b"};
    // Written on the provider's thread, read after WaitForNotifications.
    std::vector<std::string> subjects;
    DWORD thread = 0;

    void SetUp() override
    {
        CMapiProviderTest::SetUp();
        ULARGE_INTEGER now{};
        ::GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&now));
        std::vector<PropRow> messages;
        for (const std::string& id : Ids) {
            SPropValue delivered{PR_MESSAGE_DELIVERY_TIME, 0, {}};
            ULARGE_INTEGER time{.QuadPart = id == "old" ? 0x01D5C03669C14000ULL : now.QuadPart + 36000000000ULL};
            delivered.Value.ft = {time.LowPart, time.HighPart};
            messages.push_back({BinaryProp(PR_ENTRYID, id), Prop(PR_SUBJECT_A, id.c_str()), delivered});
        }
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

// A bulk change makes the sink read the table for what arrived since it began
// watching and was not handed over yet.
TEST_F(NewMailSink, BulkChanges)
{
    Initialize();
    PropRow a = Row(Ids[0]);
    Notify({TableNotification(TABLE_ROW_ADDED, &a), TableNotification(TABLE_RELOAD)});
    Notify({TableNotification(TABLE_CHANGED)});
    EXPECT_EQ(subjects, (std::vector<std::string>{"a", "b", "c", "d"}));
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
    };
    probes = {"a", "b", "c"};
    Initialize();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        control->SetResult("IMAPIFolder::DeleteMessages DELETE_HARD_DELETE", cases[i].hardDelete);
        control->SetResult("IMAPIFolder::SetReadFlags", cases[i].setReadFlags);
        long deletes = control->GetCallCount("IMAPIFolder::DeleteMessages");
        PropRow probe = Row(Ids[i]);
        QzlTest::CLogCapture log;
        Notify({TableNotification(TABLE_ROW_ADDED, &probe)});
        EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), deletes + 2);
        EXPECT_EQ(control->GetLastFlags("IMAPIFolder::SetReadFlags"), ULONG(SUPPRESS_RECEIPT));
        EXPECT_EQ(control->GetLastFlags("IMAPIFolder::DeleteMessages"), 0u);
        EXPECT_TRUE(log.Contains(cases[i].line));
    }
}

// A notification may come while the sink advises, and while its owner lets
// it go: the first finds the sink complete, the second keeps what it needs
// until it is done, and the sink goes only after that.
TEST_F(NewMailSink, NotificationsWhileTheSinkComesAndGoes)
{
    PropRow a = Row(Ids[0]), b = Row(Ids[1]);
    Queue({TableNotification(TABLE_ROW_ADDED, &a)}, true);
    Os::CHandle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), leave(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Initialize([&](const std::string& subject) {
        if (subject == "b") {
            ::SetEvent(entered.Get());
            ::WaitForSingleObject(leave.Get(), 10000);
        }
    });
    EXPECT_EQ(subjects, (std::vector<std::string>{"a"}));

    Queue({TableNotification(TABLE_ROW_ADDED, &b)});
    ASSERT_EQ(::WaitForSingleObject(entered.Get(), 10000), WAIT_OBJECT_0);
    sink->Uninitialize();
    sink->Uninitialize();
    sink->Release();
    EXPECT_FALSE(destroyed);
    ::SetEvent(leave.Get());
    control->WaitForNotifications();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(subjects, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), 1);
    EXPECT_EQ(control->GetCallCount("IMAPITable::Unadvise"), 1);

    // A sink that cannot be advised holds nothing.
    std::atomic<bool> failed{false};
    sink = new CWatchedSink(failed);
    control->SetResult("IMAPITable::Advise", MAPI_E_NO_SUPPORT);
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { Initialize(); }).first, MAPI_E_NO_SUPPORT);
    sink->Release();
    EXPECT_TRUE(failed);
}

#include "MapiTestSupport.h"
#include "NewMailEventSink.h"
#include "TestSupport.h"

#include <atomic>
#include <mutex>

using namespace Quenzal;
using namespace Quenzal::Mapi;
using QzlTestMapi::BinaryProp;
using QzlTestMapi::Prop;
using QzlTestMapi::PropRow;
using QzlTestMapi::TableNotification;

namespace {

// A sink that tells when it is destroyed.
class CWatchedSink : public CNewMailEventSink {
public:
    explicit CWatchedSink(std::atomic<bool>& destroyed) : m_destroyed(destroyed) {}

protected:
    ~CWatchedSink() override { m_destroyed = true; }

private:
    std::atomic<bool>& m_destroyed;
};

// Entry ids, which are also the subjects; BinaryProp keeps pointers to them.
const std::string Ids[] = {"a", "b", "c", "d", "old"};

PropRow Row(const std::string& entryId)
{
    return {BinaryProp(PR_ENTRYID, entryId)};
}

FILETIME FileTime(ULONGLONG value)
{
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

class NewMailSink : public QzlTest::CMapiProviderTest {
protected:
    std::atomic<bool> destroyed{false};
    CNewMailEventSink* sink = new CWatchedSink(destroyed);
    IMAPIFolderPtr folder;
    // The subjects of the messages handed over, and the threads they came on.
    std::mutex lock;
    std::vector<std::string> subjects;
    std::vector<DWORD> threads;

    // The folder "Inbox" holding messages "a" to "d" (entry ids and subjects
    // alike); "old" was delivered before the sink began watching, the others
    // an hour after.
    void SetUp() override
    {
        CMapiProviderTest::SetUp();
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        ULONGLONG later = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime) + 36000000000ULL;
        std::vector<PropRow> messages;
        for (const std::string& id : Ids) {
            SPropValue delivered{PR_MESSAGE_DELIVERY_TIME, 0, {}};
            delivered.Value.ft = FileTime(id == "old" ? 0x01D5C03669C14000ULL : later);
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
    // The callback: records the message, after during() has seen it; "b" is a probe.
    void Initialize(std::function<void(const std::string&)> during = {})
    {
        sink->Initialize(folder, [this, during](IMessage* message) {
            LPSPropValue subject = nullptr;
            HRESULT hr = Mapi::HrGetOneProp(message, PR_SUBJECT_A, &subject);
            CMapiBuffer<SPropValue> held = TakeMapiBuffer(hr, subject);
            std::string text = held ? held.Get()->Value.lpszA : "?";
            if (during)
                during(text);
            std::lock_guard<std::mutex> guard(lock);
            subjects.push_back(text);
            threads.push_back(::GetCurrentThreadId());
            return text == "b";
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
    // How many of the folder's messages remain.
    size_t Remaining()
    {
        IMAPITable* table = nullptr;
        folder->GetContentsTable(0, &table);
        IMAPITablePtr held(table, false);
        LPSRowSet rows = nullptr;
        held->QueryRows(100, 0, &rows);
        CRowSet rowSet(rows);
        return rowSet.Get()->cRows;
    }
};

} // namespace

// One call with several notifications: every added row is handed over, on the
// store's thread; a probe is deleted for good; other events and bad rows are
// logged, each on its own, and the rows after them still count.
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
    EXPECT_NE(threads.at(0), ::GetCurrentThreadId());
    EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), 1);
    EXPECT_EQ(control->GetLastFlags("IMAPIFolder::DeleteMessages"), static_cast<ULONG>(DELETE_HARD_DELETE));
    EXPECT_EQ(Remaining(), 4u);
    EXPECT_TRUE(log.Contains("Caught exception at NewMailEventSink.cpp, Quenzal::Mapi::CNewMailEventSink::OnNotify, "));
    EXPECT_TRUE(log.Contains("CNewMailEventSink received unexpected notification for folder 'Inbox': fnevObjectCreated"));
    EXPECT_TRUE(log.Contains("Entry ID not found in TABLE_ROW_ADDED row properties"));
}

// A bulk change makes the sink read the table: what arrived since it began
// watching and was not handed over yet. A store without hard deletes gets the
// probe marked read without a receipt and deleted plainly.
TEST_F(NewMailSink, BulkChangesAndAStoreWithoutHardDeletes)
{
    control->SetResult("IMAPIFolder::DeleteMessages DELETE_HARD_DELETE", MAPI_E_UNKNOWN_FLAGS);
    Initialize();
    PropRow a = Row(Ids[0]);
    QzlTest::CLogCapture log;
    Notify({TableNotification(TABLE_ROW_ADDED, &a), TableNotification(TABLE_RELOAD)});
    Notify({TableNotification(TABLE_CHANGED)});
    EXPECT_EQ(subjects, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(control->GetLastFlags("IMAPIFolder::SetReadFlags"), static_cast<ULONG>(SUPPRESS_RECEIPT));
    EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), 2);
    EXPECT_EQ(control->GetLastFlags("IMAPIFolder::DeleteMessages"), 0u);
    EXPECT_EQ(Remaining(), 4u);
    EXPECT_TRUE(log.Contains("DeleteItems( DELETE_HARD_DELETE) failed with MAPI_E_UNKNOWN_FLAGS; marking as read and "
                             "deleting without flag"));
}

// A notification may come while the sink advises, and while its owner lets
// it go: the first finds the sink complete, the second keeps what it needs
// until it is done, and the sink goes only after that.
TEST_F(NewMailSink, NotificationsWhileTheSinkComesAndGoes)
{
    PropRow a = Row(Ids[0]), b = Row(Ids[1]);
    Queue({TableNotification(TABLE_ROW_ADDED, &a)}, true);
    HANDLE entered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr), leave = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Initialize([&](const std::string& subject) {
        if (subject == "b") {
            ::SetEvent(entered);
            ::WaitForSingleObject(leave, 10000);
        }
    });
    EXPECT_EQ(subjects, (std::vector<std::string>{"a"}));

    Queue({TableNotification(TABLE_ROW_ADDED, &b)});
    ASSERT_EQ(::WaitForSingleObject(entered, 10000), WAIT_OBJECT_0);
    sink->Uninitialize();
    sink->Uninitialize();
    sink->Release();
    EXPECT_FALSE(destroyed);
    ::SetEvent(leave);
    control->WaitForNotifications();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(subjects, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(control->GetCallCount("IMAPIFolder::DeleteMessages"), 1);
    EXPECT_EQ(control->GetCallCount("IMAPITable::Unadvise"), 1);
    ::CloseHandle(entered);
    ::CloseHandle(leave);

    // A sink that cannot be advised holds nothing.
    std::atomic<bool> failed{false};
    sink = new CWatchedSink(failed);
    control->SetResult("IMAPITable::Advise", MAPI_E_NO_SUPPORT);
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { Initialize(); }).first, MAPI_E_NO_SUPPORT);
    sink->Release();
    EXPECT_TRUE(failed);
}

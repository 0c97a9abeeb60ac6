#include "MapiErrorPolicy.h"
#include "MapiNames.h"
#include "MapiTestSupport.h"
#include "RegistryTestSupport.h"
#include "TestSupport.h"

#include <gmock/gmock.h>

#include <memory>

using namespace Quenzal;
using namespace Quenzal::Mapi;
using testing::HasSubstr;

TEST(MapiNames, NameResultsEventMasksAndTableEvents)
{
    for (const auto& [code, text] : std::initializer_list<std::pair<DWORD, const wchar_t*>>{
             {0x80004005, L"MAPI_E_CALL_FAILED [0x80004005]"}, {0x00040380, L"MAPI_W_ERRORS_RETURNED [0x40380]"},
             {0x8004060C, L"MAPI_E_STORE_FULL [0x8004060C]"}, {0x80040125, L"MAPI_E_RECONNECTED [0x80040125]"},
             {0x80040126, L"MAPI_E_OFFLINE [0x80040126]"},
             {0x81002746, L"MAPI: User is hidden in the GAL or mailbox does not exist [0x81002746]"}})
        EXPECT_EQ(GetErrorText(code), text);
    EXPECT_EQ(FormatNotificationEventMask(0x102), L"fnevNewMail | fnevTableModified");
    EXPECT_EQ(FormatNotificationEventMask(0xC0000401), L"fnevCriticalError | fnevReservedForMapi | fnevExtended");
    EXPECT_EQ(GetTableEventName(9), L"TABLE_RELOAD");
    EXPECT_EQ(GetTableEventName(10), L"Unknown table event: 10");
}

TEST(MapiError, ACopyOwnsTheExtendedRecord)
{
    MAPIERROR contextOnly = {0, nullptr, nullptr, 0, 5};
    EXPECT_EQ(CMapiError(MAPI_E_NOT_FOUND, &contextOnly, L"Inbox").GetDescription(),
              L"Failure during MAPI call: MAPI_E_NOT_FOUND [0x8004010F]: Inbox\r\n"
              L"Extended MAPI error information:\r\nContext: 5 (0x5)\r\n");
    std::wstring component = L"Store provider", text = L"Disk is full";
    MAPIERROR full = {1, text.data(), component.data(), static_cast<ULONG>(MAPI_E_NOT_ENOUGH_DISK), 0};
    auto original = std::make_unique<CMapiError>(MAPI_E_DISK_ERROR, &full);
    CMapiError copy(*original);
    original.reset();
    component.assign(40, L'x');
    text.assign(40, L'y');
    EXPECT_EQ(copy.GetDescription(), L"Failure during MAPI call: MAPI_E_DISK_ERROR [0x80040116]\r\n"
                                     L"Extended MAPI error information:\r\nComponent: Store provider\r\n"
                                     L"Error: Disk is full\r\nCode: MAPI_E_NOT_ENOUGH_DISK [0x8004010D]\r\n");
}

TEST(MapiErrorPolicy, FailuresRaiseWithTheRecordAndWarningsAreLoggedOnce)
{
    // As in the running add-in.
    ExitOnNetworkError() = ExitOnOutOfMemory() = false;
    IMAPISession* session = nullptr;
    QzlTestMapi::IControl* control = QzlTest::BindTestMapiProvider(&session);
    ASSERT_NE(session, nullptr);
    control->SetLastError(L"Test store", L"Mailbox is offline", MAPI_E_NETWORK_ERROR, 7);
    long live = control->GetLiveAllocations();
    StringW description = L"Failure during MAPI call: MAPI_E_NOT_FOUND [0x8004010F]\r\n"
                          L"Extended MAPI error information:\r\nComponent: Test store\r\nError: Mailbox is offline\r\n"
                          L"Context: 7 (0x7)\r\nCode: MAPI_E_NETWORK_ERROR [0x80040115]\r\n";
    QzlTest::CLogCapture log;
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>(
                  [&] { QZL_CHECK_MAPI_RESULT(L"MapiTest::Call", session, MAPI_E_NOT_FOUND); }),
              std::make_pair(MAPI_E_NOT_FOUND, description));
    EXPECT_TRUE(QzlTest::HasReportLine(log.Text(), "Throwing exception", "MapiErrorTest.cpp", "MapiTest::Call",
                                       description));
    for (HRESULT hr : {MAPI_E_NETWORK_ERROR, MAPI_E_NOT_ENOUGH_MEMORY, MAPI_E_CORRUPT_STORE})
        EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { QZL_CHECK_MAPI_RESULT(L"MapiTest::Call", nullptr, hr); }).first,
                  hr);

    QzlTest::CLogCapture quiet;
    QZL_CHECK_MAPI_GETPROPS_RESULT(L"MapiTest::GetProps", session, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(quiet.Text(), "");
    QZL_CHECK_MAPI_RESULT(L"MapiTest::Call", session, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(QzlTest::CountOf(quiet.Text(), "WARNING: "), 1u);
    EXPECT_THAT(quiet.Text(), HasSubstr("WARNING: Non-success condition during MAPI call: MAPI_W_ERRORS_RETURNED "
                                        "[0x40380]??Extended MAPI error information:??Component: Test store"));

    control->SetResult("IMAPISession::GetLastError", MAPI_E_NO_SUPPORT);
    EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { QZL_CHECK_MAPI_RESULT(L"MapiTest::Call", session, MAPI_E_BUSY); })
                  .second,
              L"Failure during MAPI call: MAPI_E_BUSY [0x8004010B]");
    session->Release();
    EXPECT_EQ(control->GetLiveAllocations(), live);
    EXPECT_EQ(control->GetForeignFrees(), 0);
    ExitOnNetworkError() = ExitOnOutOfMemory() = true;
}

namespace {

// Child cases: the result, and whether the case sets ExitOnCorruptStore.
const std::tuple<const char*, HRESULT, bool> ExitCases[] = {{"MapiExitOnNetworkError", MAPI_E_NETWORK_ERROR, false},
                                                            {"MapiExitOnOutOfMemory", MAPI_E_NOT_ENOUGH_MEMORY, false},
                                                            {"MapiExitOnCorruptStore", MAPI_E_CORRUPT_STORE, true}};

const bool ExitChildCasesRegistered = [] {
    for (const auto& [child, hr, corruptStore] : ExitCases)
        QzlTest::RegisterChildCase(child, [hr, corruptStore] {
            IMAPISession* session = nullptr;
            QzlTest::BindTestMapiProvider(&session)->SetLastError(L"Transport", nullptr, 0, 0);
            ExitOnCorruptStore() = corruptStore;
            QZL_CHECK_MAPI_RESULT(L"MapiTest::Exit", session, hr);
            return 0;
        });
    return true;
}();

} // namespace

TEST(MapiErrorPolicy, EachExitFlagEndsTheProcessWithItsResult)
{
    for (const auto& [child, hr, corruptStore] : ExitCases) {
        QzlTest::ChildResult result = QzlTest::RunChildCase(child);
        EXPECT_EQ(result.exitCode, static_cast<DWORD>(hr)) << child << result.output;
        StringW reason = GetErrorText(static_cast<DWORD>(hr));
        EXPECT_THAT(result.output, HasSubstr("ERROR: Failure during MAPI call: " + reason.ToUtf8() +
                                             "??Extended MAPI error information:??Component: Transport??\r\n"));
        EXPECT_TRUE(QzlTest::HasReportLine(result.output, "Exiting process", "MapiErrorTest.cpp", "MapiTest::Exit",
                                           reason));
    }
}

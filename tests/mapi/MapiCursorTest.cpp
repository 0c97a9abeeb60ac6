#include "MapiCursor.h"
#include "MapiPointers.h"
#include "MapiProps.h"
#include "MapiTestSupport.h"
#include "PropValue.h"
#include "TestSupport.h"

#include <gmock/gmock.h>

using namespace Quenzal;
using namespace Quenzal::Mapi;
using QzlTest::Prop;

namespace {

const CTagArray<2> SubjectAndEntryId = {2, {PR_SUBJECT_A, PR_ENTRYID}};

// A folder of count messages "Message <i>"; every tenth lacks its subject.
IMAPIFolderPtr MakeFolder(QzlTestMapi::IControl* control, ULONG count)
{
    std::vector<std::string> ids, subjects;
    for (ULONG i = 0; i < count; ++i) {
        ids.push_back("entry-" + std::to_string(i));
        subjects.push_back("Message " + std::to_string(i));
    }
    std::vector<QzlTest::PropRow> messages;
    for (ULONG i = 0; i < count; ++i) {
        messages.push_back({QzlTest::BinaryProp(PR_ENTRYID, ids[i])});
        if (i % 10 != 9)
            messages.back().push_back(Prop(PR_SUBJECT_A, subjects[i].c_str()));
    }
    std::vector<SRow> rows = QzlTest::Rows(messages);
    return IMAPIFolderPtr(control->CreateFolder(nullptr, 0, rows.data(), count), false);
}

IMAPITablePtr ContentsOf(const IMAPIFolderPtr& folder)
{
    LPMAPITABLE table = nullptr;
    EXPECT_EQ(folder->GetContentsTable(0, &table), S_OK);
    return IMAPITablePtr(table, false);
}

} // namespace

// Rows come in the table's order across batch ends; the end is the first
// empty batch; a row that lacks a column has a PT_ERROR value in its place.
TEST(MapiCursor, ReadsEveryRowAcrossBatchEnds)
{
    QzlTestMapi::IControl* control = QzlTest::BindTestMapiProvider();
    ASSERT_NE(control, nullptr);
    long live = control->GetLiveAllocations();
    for (ULONG count : {0u, 1u, 254u, 255u, 256u, 511u}) {
        SCOPED_TRACE(count);
        control->Reset();
        {
            IMAPIFolderPtr folder = MakeFolder(control, count);
            CMapiCursor cursor = QueryMapiTable(ContentsOf(folder).GetInterfacePtr(), SubjectAndEntryId.Get());
            ULONG read = 0;
            while (const SRow* row = cursor.GetNextRow()) {
                ASSERT_EQ(row->cValues, 2u);
                Value subject = PropValueToValue(&row->lpProps[0]);
                if (read % 10 == 9)
                    EXPECT_EQ(row->lpProps[0].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_SUBJECT_A)));
                else
                    EXPECT_EQ(subject.GetStringA(), "Message " + std::to_string(read));
                EXPECT_EQ(PropValueToValue(&row->lpProps[1]).GetBinary(), "entry-" + std::to_string(read));
                ++read;
            }
            EXPECT_EQ(read, count);
            EXPECT_EQ(cursor.GetNextRow(), nullptr);
            EXPECT_EQ(control->GetCallCount("IMAPITable::SetColumns"), 1);
            // One more call for the empty batch, and one for the call after the end.
            EXPECT_EQ(control->GetCallCount("IMAPITable::QueryRows"), static_cast<long>((count + 254) / 255 + 2));
        }
        EXPECT_EQ(control->GetLiveAllocations(), live);
    }
    EXPECT_EQ(control->GetLiveObjects(), 0);
    EXPECT_EQ(control->GetForeignFrees(), 0);
}

// Warnings are logged and their rows used, also an empty row set at the end;
// a failure raises and leaves nothing allocated.
TEST(MapiCursor, WarningsAndFailuresOfTheTable)
{
    QzlTestMapi::IControl* control = QzlTest::BindTestMapiProvider();
    ASSERT_NE(control, nullptr);
    long live = control->GetLiveAllocations();
    {
        QzlTest::CLogCapture log;
        IMAPIFolderPtr folder = MakeFolder(control, 3);
        control->SetResult("IMAPITable::QueryRows", MAPI_W_POSITION_CHANGED);
        CMapiCursor cursor = QueryMapiTable(ContentsOf(folder).GetInterfacePtr(), nullptr);
        int rows = 0;
        while (cursor.GetNextRow() != nullptr)
            ++rows;
        EXPECT_EQ(rows, 3);
        EXPECT_EQ(control->GetCallCount("IMAPITable::SetColumns"), 0);
        EXPECT_EQ(QzlTest::CountOf(log.Text(), "Non-success condition during MAPI call: MAPI_W_POSITION_CHANGED"), 2u);

        control->SetResult("IMAPITable::QueryRows", MAPI_E_NO_ACCESS);
        CMapiCursor failing = QueryMapiTable(ContentsOf(folder).GetInterfacePtr(), SubjectAndEntryId.Get());
        EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { failing.GetNextRow(); }).first, MAPI_E_NO_ACCESS);
        EXPECT_TRUE(log.Contains("Throwing exception at MapiCursor.cpp, Quenzal::Mapi::CMapiCursor::GetNextRow"));
        control->SetResult("IMAPITable::SetColumns", MAPI_E_BUSY);
        IMAPITablePtr busy = ContentsOf(folder);
        auto query = [&] { QueryMapiTable(busy.GetInterfacePtr(), SubjectAndEntryId.Get()); };
        EXPECT_EQ(QzlTest::RaisedAs<CMapiError>(query).first, MAPI_E_BUSY);
    }
    EXPECT_EQ(control->GetLiveAllocations(), live);
    EXPECT_EQ(control->GetLiveObjects(), 0);
}

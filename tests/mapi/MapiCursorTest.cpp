#include "MapiCursor.h"
#include "MapiProps.h"
#include "MapiTestSupport.h"
#include "PropValue.h"
#include "TestSupport.h"

using namespace Quenzal;
using namespace Quenzal::Mapi;

// Rows come in the table's order across batch ends, and the first empty batch
// ends the table (an empty folder at once); a row that lacks a column has a
// PT_ERROR value in its place. Warnings are logged and their rows used; a
// failure raises. Every row set is freed and the table released.
TEST(MapiCursor, ReadsTablesInBatches)
{
    QzlTestMapi::IControl* control = QzlTest::BindTestMapiProvider();
    ASSERT_NE(control, nullptr);
    const CTagArray<2> columns = {2, {PR_SUBJECT_A, PR_ENTRYID}};
    long live = control->GetLiveAllocations();
    for (ULONG count : {0u, 1u, 255u, 256u, 511u}) {
        SCOPED_TRACE(count);
        control->Reset();
        QzlTest::CLogCapture log;
        // Every tenth message lacks its subject; the 511 are read with warnings.
        std::vector<std::string> ids, subjects;
        std::vector<QzlTestMapi::PropRow> messages;
        for (ULONG i = 0; i < count; ++i) {
            ids.push_back("entry-" + std::to_string(i));
            subjects.push_back("Message " + std::to_string(i));
        }
        for (ULONG i = 0; i < count; ++i) {
            messages.push_back({QzlTestMapi::BinaryProp(PR_ENTRYID, ids[i])});
            if (i % 10 != 9)
                messages.back().push_back(QzlTestMapi::Prop(PR_SUBJECT_A, subjects[i].c_str()));
        }
        IMAPIFolderPtr folder(control->CreateFolder(messages), false);
        LPMAPITABLE table = nullptr;
        ASSERT_EQ(folder->GetContentsTable(0, &table), S_OK);
        CMapiCursor cursor = QueryMapiTable(table, count == 1 ? nullptr : columns.Get());
        table->Release();
        if (count == 511)
            control->SetResult("IMAPITable::QueryRows", MAPI_W_POSITION_CHANGED);
        ULONG read = 0;
        for (; const SRow* row = cursor.GetNextRow(); ++read) {
            Value subject = PropValueToValue(Mapi::PpropFindProp(row->lpProps, row->cValues, PR_SUBJECT_A));
            EXPECT_EQ(subject.GetStringA(), read % 10 == 9 ? "" : subjects[read]);
            EXPECT_EQ(PropValueToValue(Mapi::PpropFindProp(row->lpProps, row->cValues, PR_ENTRYID)).GetBinary(),
                      ids[read]);
        }
        EXPECT_EQ(read, count);
        EXPECT_EQ(cursor.GetNextRow(), nullptr);
        EXPECT_EQ(control->GetCallCount("IMAPITable::SetColumns"), count == 1 ? 0 : 1);
        EXPECT_EQ(control->GetCallCount("IMAPITable::QueryRows"), static_cast<long>((count + 254) / 255 + 2));
        EXPECT_EQ(QzlTest::CountOf(log.Text(), "MAPI_W_POSITION_CHANGED"), count == 511 ? 5u : 0u);
        if (count == 511) {
            control->SetResult("IMAPITable::QueryRows", MAPI_E_NO_ACCESS);
            EXPECT_EQ(QzlTest::RaisedAs<CMapiError>([&] { cursor.GetNextRow(); }).first, MAPI_E_NO_ACCESS);
            EXPECT_TRUE(log.Contains("Throwing exception at MapiCursor.cpp, Quenzal::Mapi::CMapiCursor::GetNextRow"));
        }
    }
    EXPECT_EQ(control->GetLiveAllocations(), live);
    EXPECT_EQ(control->GetLiveObjects(), 0);
    EXPECT_EQ(control->GetForeignFrees(), 0);
}

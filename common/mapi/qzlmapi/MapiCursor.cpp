#include "MapiCursor.h"

#include "MapiErrorPolicy.h"

namespace Quenzal::Mapi {

const SRow* CMapiCursor::GetNextRow()
{
    if (m_rows && m_nextIndex >= m_rows.Get()->cRows) {
        m_rows.Close();
        m_nextIndex = 0;
    }
    if (!m_rows) {
        LPSRowSet rows = nullptr;
        HRESULT hr = m_table->QueryRows(m_batchSize, 0, &rows);
        m_rows = TakeRowSet(hr, rows);
        QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::CMapiCursor::GetNextRow", m_table, hr);
    }
    // A warning may come with no row set at all: that ends the table too.
    if (!m_rows || m_rows.Get()->cRows == 0)
        return nullptr;
    return &m_rows.Get()->aRow[m_nextIndex++];
}

CMapiCursor QueryMapiTable(IMAPITable* table, const SPropTagArray* columns)
{
    if (columns != nullptr)
        QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::QueryMapiTable", table,
                              table->SetColumns(const_cast<LPSPropTagArray>(columns), TBL_BATCH));
    return CMapiCursor(table);
}

} // namespace Quenzal::Mapi

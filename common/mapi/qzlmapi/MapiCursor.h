#pragma once
// A forward-only cursor over a MAPI table, read in batches of 255 rows.

#include "MapiPointers.h"

namespace Quenzal::Mapi {

class CMapiCursor {
public:
    // Holds a reference of its own to the table.
    explicit CMapiCursor(IMAPITable* table) : m_table(table) {}
    CMapiCursor(const CMapiCursor&) = delete;
    CMapiCursor& operator=(const CMapiCursor&) = delete;

    // The next row, or null at the end of the table. A row lives in the
    // current batch: it dies at the call that fetches the next one.
    const SRow* GetNextRow();

private:
    IMAPITablePtr m_table;
    ULONG m_batchSize = 255;
    CRowSet m_rows;
    ULONG m_nextIndex = 0;
};

// Sets the columns when they are given (TBL_BATCH: the table may defer the
// work to the first read); no restriction and no sort order, so rows come in
// the table's own order.
CMapiCursor QueryMapiTable(IMAPITable* table, const SPropTagArray* columns);

} // namespace Quenzal::Mapi

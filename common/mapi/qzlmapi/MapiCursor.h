#pragma once
// A forward-only cursor over a MAPI table, read in batches of 255 rows.

#include "MapiPointers.h"

#include "MapiHeaders.h"

namespace Quenzal::Mapi {

class CMapiCursor {
public:
    explicit CMapiCursor(IMAPITable* table);
    ~CMapiCursor();
    CMapiCursor(const CMapiCursor&) = delete;
    CMapiCursor& operator=(const CMapiCursor&) = delete;
    CMapiCursor(CMapiCursor&& other) noexcept;
    CMapiCursor& operator=(CMapiCursor&&) = delete;

    // The next row, or null at the end of the table. A row lives in the
    // current batch: it dies at the call that fetches the next one.
    const SRow* GetNextRow();

private:
    IMAPITablePtr m_table;
    ULONG m_batchSize = 255;
    CRowSet m_rows;
    ULONG m_nextIndex = 0;
};

// Sets the columns (as one batch) when they are given; rows then come in the
// table's own order.
CMapiCursor QueryMapiTable(IMAPITable* table, const SPropTagArray* columns);

} // namespace Quenzal::Mapi

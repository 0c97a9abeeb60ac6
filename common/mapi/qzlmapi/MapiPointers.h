#pragma once
// Owning holders for what MAPI hands out besides buffers (CMapiBuffer,
// MapiError.h): interfaces, the same holder type com_cast gives, and row sets.

#include "MapiError.h"

#include <comdef.h>

namespace Quenzal::Mapi {

template <class I>
using CInterfacePtr = _com_ptr_t<_com_IIID<I, &__uuidof(I)>>;
using IMAPISessionPtr = CInterfacePtr<IMAPISession>;
using IMAPITablePtr = CInterfacePtr<IMAPITable>;
using IMailUserPtr = CInterfacePtr<IMailUser>;
using IMessagePtr = CInterfacePtr<IMessage>;
using IMAPIFolderPtr = CInterfacePtr<IMAPIFolder>;

// A row set and the values of its rows go together through FreeProws.
struct RowSetDestructor {
    static bool IsValid(LPSRowSet rows) { return rows != nullptr; }
    static void Destroy(LPSRowSet rows) { Mapi::FreeProws(rows); }
};
using CRowSet = SmartPointer<LPSRowSet, RowSetDestructor>;

// A row set taken as TakeMapiBuffer (MapiError.h) takes a buffer.
inline CRowSet TakeRowSet(HRESULT hr, LPSRowSet rows)
{
    return CRowSet(SUCCEEDED(hr) ? rows : nullptr);
}

} // namespace Quenzal::Mapi

#pragma once
// Owning holders for what MAPI hands out: interfaces (the same holder type
// com_cast gives), row sets, and buffers taken only from a call that worked.

#include "MapiError.h"

#include <comdef.h>

namespace Quenzal::Mapi {

template <class I>
using CInterfacePtr = _com_ptr_t<_com_IIID<I, &__uuidof(I)>>;
using IMAPIPropPtr = CInterfacePtr<IMAPIProp>;
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

// What a MAPI call left in an out pointer belongs to the caller only when
// the call succeeded; after a failure it may be anything and is not freed.
// Hand the call a pointer that is null before it.
template <class T>
CMapiBuffer<T> TakeMapiBuffer(HRESULT hr, T* buffer)
{
    return CMapiBuffer<T>(SUCCEEDED(hr) ? buffer : nullptr);
}
inline CRowSet TakeRowSet(HRESULT hr, LPSRowSet rows)
{
    return CRowSet(SUCCEEDED(hr) ? rows : nullptr);
}

} // namespace Quenzal::Mapi

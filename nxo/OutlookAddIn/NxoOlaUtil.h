#pragma once
// Small bridges between Outlook's objects and the MAPI layer that the
// add-in's features share.

#include "DispatchObject.h"
#include "ErrorReport.h"
#include "MapiHeaders.h"

#include <comdef.h>

// The MAPI object behind an Outlook item or folder (its MAPIOBJECT) as the
// interface I; raises CComError when it has none of that kind.
template <class I>
_com_ptr_t<_com_IIID<I, &__uuidof(I)>> GetMapiObject(const Quenzal::OutlookAddIn::CDispatchObject& object)
{
    _com_ptr_t<_com_IIID<I, &__uuidof(I)>> result;
    _variant_t value = object.Get(L"MAPIOBJECT");
    IUnknown* unknown = value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH ? value.punkVal : nullptr;
    HRESULT hr = unknown != nullptr ? unknown->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&result))
                                    : E_POINTER;
    QZL_CHECK_COM_RESULT(L"GetMapiObject", hr);
    return result;
}

// The item as a mail item; empty when it is another kind of item.
Quenzal::OutlookAddIn::CDispatchObject AsMailItem(IDispatch* item);

// Outlook's default folders by number.
enum OutlookDefaultFolder : long {
    olFolderDeletedItems = 3,
    olFolderSentMail = 5,
    olFolderInbox = 6,
    olFolderContacts = 10,
    olFolderJunk = 23,
};

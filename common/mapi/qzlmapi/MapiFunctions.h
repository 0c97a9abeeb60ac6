#pragma once
// MAPI's flat functions, reached through the bound provider (MapiProvider.h).
// Each looks its export up once per binding; when there is no provider or no
// such export it gives the result noted below and leaves its outputs alone.

#include "MapiHeaders.h"

namespace Quenzal::Mapi {

// 0x80004005 (MAPI_E_CALL_FAILED) when missing.
HRESULT HrGetOneProp(LPMAPIPROP object, ULONG propertyTag, LPSPropValue* value);
// Null when missing.
LPSPropValue PpropFindProp(LPSPropValue values, ULONG count, ULONG propertyTag);
// Nothing is freed when missing.
void FreeProws(LPSRowSet rows);
// 0, and nothing is freed, when missing.
ULONG MAPIFreeBuffer(LPVOID buffer);
// 0x80004005 (MAPI_E_CALL_FAILED) when missing.
HRESULT MAPILogonEx(ULONG_PTR uiParam, LPTSTR profileName, LPTSTR password, ULONG flags, LPMAPISESSION* session);

} // namespace Quenzal::Mapi

#pragma once
// The MAPI error policy: how the result of every Extended MAPI call is
// judged at its call site. Three results can end the process, each while its
// flag is set; other failures raise CMapiError, warnings are logged and the
// call counts as successful.
//
//   QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::QueryMapiTable", table, table->SetColumns(columns, TBL_BATCH));

#include "MapiError.h"

#include <functional>

namespace Quenzal::Mapi {

// The exit-policy flags. A library default of true ends the process on the
// result; the add-in's connection clears the first two before MAPI is used.
bool& ExitOnNetworkError(); // MAPI_E_NETWORK_ERROR, true at load
bool& ExitOnOutOfMemory();  // 0x8007000E, true at load
bool& ExitOnCorruptStore(); // MAPI_E_CORRUPT_STORE, false at load

enum class MapiCallKind {
    Ordinary,
    // IMAPIProp::GetProps: MAPI_W_ERRORS_RETURNED is plain success, the
    // missing properties come back as PT_ERROR values.
    GetProps,
};

// Where the call was made, for the report lines.
struct MapiCallSite {
    const char* file;
    const wchar_t* function;
    int line;
};

// Applies the policy to a result other than S_OK; lastError fetches the
// called object's extended error when the policy needs it.
void JudgeMapiResult(HRESULT hr, const std::function<CMapiErrorBuffer()>& lastError, MapiCallKind kind,
                     const MapiCallSite& site);

// The object is the one whose method returned hr (a pointer, a holder, or
// nullptr when none is at hand).
template <class Object>
void CheckMapiResult(HRESULT hr, const Object& object, MapiCallKind kind, const MapiCallSite& site)
{
    if (hr != S_OK)
        JudgeMapiResult(hr, [&] { return GetMapiLastError(hr, object); }, kind, site);
}

} // namespace Quenzal::Mapi

#define QZL_CHECK_MAPI_RESULT(function, object, hr)                                                         \
    ::Quenzal::Mapi::CheckMapiResult((hr), (object), ::Quenzal::Mapi::MapiCallKind::Ordinary,              \
                                     ::Quenzal::Mapi::MapiCallSite{__FILE__, function, __LINE__})
#define QZL_CHECK_MAPI_GETPROPS_RESULT(function, object, hr)                                                \
    ::Quenzal::Mapi::CheckMapiResult((hr), (object), ::Quenzal::Mapi::MapiCallKind::GetProps,              \
                                     ::Quenzal::Mapi::MapiCallSite{__FILE__, function, __LINE__})

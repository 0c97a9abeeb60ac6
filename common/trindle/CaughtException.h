#pragma once
// The last guard at a boundary that no exception may cross (COM entry points,
// window procedures, event handlers, callbacks): whatever is being handled is
// reported as caught, and the caller learns which HRESULT to answer with.

#include "ErrorReport.h"

#include <string>
#include <typeinfo>

namespace Quenzal {

// Call only inside a catch clause. A CException answers its own GetHResult,
// a failed allocation E_OUTOFMEMORY, anything else E_FAIL. Never throws.
HRESULT ReportCaughtException(const char* file, const wchar_t* function, int line) noexcept;
// The C++ name of a type (GCC's type_info names are mangled).
std::string TypeName(const std::type_info& type);

} // namespace Quenzal

// try { ...; return S_OK; } QZL_CATCH_RETURN(L"Quenzal::Qualified::Name")
#define QZL_CATCH_RETURN(function) \
    catch (...) { return ::Quenzal::ReportCaughtException(__FILE__, function, __LINE__); }
// try { ... } QZL_CATCH_REPORT(L"Quenzal::Qualified::Name"), for places that answer nothing.
#define QZL_CATCH_REPORT(function) \
    catch (...) { (void)::Quenzal::ReportCaughtException(__FILE__, function, __LINE__); }

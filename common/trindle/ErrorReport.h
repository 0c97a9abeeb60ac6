#pragma once
// The report line written at every raise, handled catch and fatal exit:
// "<event> at <file>, <function>, line <n>: <description>".
// GCC's __FUNCTION__ is the bare name: sites pass QZL_FUNCTION (FunctionName.h),
// or by hand a name the code does not carry (the public entry point a helper
// reports for).

#include "Exception.h"
#include "FunctionName.h"

namespace Quenzal {

// The last component of a source path, extension included.
StringW SourceFileName(const char* path);
StringW FormatReportLine(const wchar_t* event, const char* file, const wchar_t* function, int line,
                         const std::wstring& description);
void ReportException(const wchar_t* event, const char* file, const wchar_t* function, int line,
                     const std::wstring& description);

// A failing HRESULT raises CComError; a success other than S_OK is only
// logged as a warning ("Non-success condition during COM call").
void CheckComResult(HRESULT hr, const char* file, const wchar_t* function, int line);
// Logs a success code other than S_OK as "Non-success condition during COM call".
void ReportNonSuccess(HRESULT hr, const char* file, const wchar_t* function, int line);

template <class E>
[[noreturn]] void ThrowReported(const E& e, const char* file, const wchar_t* function, int line)
{
    ReportException(L"Throwing exception", file, function, line, e.GetDescription());
    throw e;
}

} // namespace Quenzal

// QZL_THROW(QZL_FUNCTION, Quenzal::CWinError());
#define QZL_THROW(function, exception) ::Quenzal::ThrowReported((exception), __FILE__, function, __LINE__)
// QZL_CHECK_COM_RESULT(QZL_FUNCTION, ::CoCreateGuid(&guid));
#define QZL_CHECK_COM_RESULT(function, hr) ::Quenzal::CheckComResult((hr), __FILE__, function, __LINE__)
#define QZL_REPORT_NON_SUCCESS(function, hr) ::Quenzal::ReportNonSuccess((hr), __FILE__, function, __LINE__)
// Logs "Caught exception" for a caught CException.
#define QZL_REPORT_CAUGHT(function, e) \
    ::Quenzal::ReportException(L"Caught exception", __FILE__, function, __LINE__, (e).GetDescription())

#include "CaughtException.h"

#include <comdef.h>
#include <cxxabi.h>

#include <cstdlib>
#include <new>
#include <typeinfo>

namespace Quenzal {

std::string TypeName(const std::type_info& type)
{
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && readable != nullptr ? readable : type.name();
    std::free(readable);
    return name;
}

namespace {

StringW Describe(const std::exception& e)
{
    return StringW(TypeName(typeid(e)) + ": " + e.what());
}

HRESULT Report(const char* file, const wchar_t* function, int line)
{
    try {
        throw;
    } catch (const CException& e) {
        ReportException(L"Caught exception", file, function, line, e.GetDescription());
        return e.GetHResult();
    } catch (const std::bad_alloc& e) {
        ReportException(L"Caught exception", file, function, line, Describe(e));
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        ReportException(L"Caught exception", file, function, line, Describe(e));
        return E_FAIL;
    } catch (const _com_error& e) {
        ReportException(L"Caught exception", file, function, line, GetErrorText(static_cast<DWORD>(e.Error())));
        return FAILED(e.Error()) ? e.Error() : E_FAIL;
    } catch (...) {
        ReportException(L"Caught exception", file, function, line, L"Unknown exception");
        return E_FAIL;
    }
}

} // namespace

HRESULT ReportCaughtException(const char* file, const wchar_t* function, int line) noexcept
{
    try {
        return Report(file, function, line);
    } catch (...) {
        // Reporting itself failed (no memory for the text): the answer still stands.
        return E_FAIL;
    }
}

} // namespace Quenzal

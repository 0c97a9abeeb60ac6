#pragma once
// MAPI's extended error record, the texts that describe a MAPI result, and
// the exception a failed MAPI call raises.

#include "Exception.h"
#include "MapiFunctions.h"
#include "SmartPointer.h"

#include <cstddef>

namespace Quenzal::Mapi {

// Memory MAPI handed out, freed through the bound provider.
struct MapiBufferDestructor {
    template <class T>
    static bool IsValid(T* buffer)
    {
        return buffer != nullptr;
    }
    static void Destroy(void* buffer) { Mapi::MAPIFreeBuffer(buffer); }
};
template <class T>
using CMapiBuffer = SmartPointer<T*, MapiBufferDestructor>;
using CMapiErrorBuffer = CMapiBuffer<MAPIERROR>;

// What a MAPI call left in an out pointer belongs to the caller only when
// the call succeeded; after a failure it may be anything and is not freed.
// Hand the call a pointer that is null before it.
template <class T>
CMapiBuffer<T> TakeMapiBuffer(HRESULT hr, T* buffer)
{
    return CMapiBuffer<T>(SUCCEEDED(hr) ? buffer : nullptr);
}

// An owning copy of a MAPIERROR. The text pointers point into the record's
// own strings (or are null), also after a copy, so a copy never refers to
// the record it came from.
struct MapiErrorInfo {
    ULONG version = 0;
    const wchar_t* error = nullptr;
    const wchar_t* component = nullptr;
    ULONG lowLevelError = 0;
    ULONG context = 0;
    StringW ownedError;
    StringW ownedComponent;

    MapiErrorInfo() = default;
    // The texts are wide: the layer asks for them with MAPI_UNICODE.
    explicit MapiErrorInfo(const MAPIERROR& record);
    MapiErrorInfo(const MapiErrorInfo& other);
    MapiErrorInfo& operator=(const MapiErrorInfo& other);

    void Assign(const MAPIERROR& record);
    void Assign(const MapiErrorInfo& other);

private:
    void Assign(ULONG version, const wchar_t* error, const wchar_t* component, ULONG lowLevelError, ULONG context);
};

class CMapiError : public CComError {
public:
    // The record is copied; a null buffer leaves it empty.
    CMapiError(HRESULT hr, const MAPIERROR* error, const wchar_t* context = nullptr);
    CMapiError(const CMapiError& other) = default;
    CMapiError& operator=(const CMapiError& other) = default;

    StringW GetDescription() const override;
    std::exception_ptr Clone() const override { return std::make_exception_ptr(*this); }
    const MapiErrorInfo& GetErrorInfo() const { return m_info; }

private:
    MapiErrorInfo m_info;
};

// "Extended MAPI error information:" and a line for each field present, or
// empty when none is.
StringW FormatMapiErrorInfo(const MapiErrorInfo& info);
// "Failure during MAPI call: " (negative) or "Non-success condition during
// MAPI call: ", the result's name and code, the context, then the block.
StringW FormatMapiErrorDescription(HRESULT hr, const std::wstring& context, const std::wstring& block);
StringW FormatMapiErrorMessage(HRESULT hr, const std::wstring& context, const MAPIERROR* error);

// The extended error of the object whose method returned hr (a session, a
// table or a property object), asked for with MAPI_UNICODE; empty when
// there is no object or the object has none to give. Never raises.
inline CMapiErrorBuffer GetMapiLastError(HRESULT, std::nullptr_t)
{
    return {};
}
template <class I>
CMapiErrorBuffer GetMapiLastError(HRESULT hr, I* object)
{
    if (object == nullptr)
        return {};
    LPMAPIERROR error = nullptr;
    HRESULT result = object->GetLastError(hr, MAPI_UNICODE, &error);
    return TakeMapiBuffer(result, error);
}
// The same for an interface holder.
template <class P>
    requires requires(const P& holder) { holder.GetInterfacePtr(); }
CMapiErrorBuffer GetMapiLastError(HRESULT hr, const P& holder)
{
    return GetMapiLastError(hr, holder.GetInterfacePtr());
}

} // namespace Quenzal::Mapi

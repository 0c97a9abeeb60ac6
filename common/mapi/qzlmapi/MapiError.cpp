#include "MapiError.h"

#include "MapiNames.h"

namespace Quenzal::Mapi {
namespace {

// Result names are part of every description, from the first MAPI call on.
const bool g_mapiErrorNamesRegistered = (RegisterMapiErrorNames(), true);

} // namespace

MapiErrorInfo::MapiErrorInfo(const MAPIERROR& record)
{
    Assign(record);
}

MapiErrorInfo::MapiErrorInfo(const MapiErrorInfo& other)
{
    Assign(other);
}

MapiErrorInfo& MapiErrorInfo::operator=(const MapiErrorInfo& other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

void MapiErrorInfo::Assign(const MAPIERROR& record)
{
    Assign(record.ulVersion, reinterpret_cast<const wchar_t*>(record.lpszError),
           reinterpret_cast<const wchar_t*>(record.lpszComponent), record.ulLowLevelError, record.ulContext);
}

void MapiErrorInfo::Assign(const MapiErrorInfo& other)
{
    Assign(other.version, other.error, other.component, other.lowLevelError, other.context);
}

void MapiErrorInfo::Assign(ULONG newVersion, const wchar_t* newError, const wchar_t* newComponent,
                           ULONG newLowLevelError, ULONG newContext)
{
    version = newVersion;
    lowLevelError = newLowLevelError;
    context = newContext;
    ownedError = newError;
    error = newError != nullptr ? ownedError.c_str() : nullptr;
    ownedComponent = newComponent;
    component = newComponent != nullptr ? ownedComponent.c_str() : nullptr;
}

CMapiError::CMapiError(HRESULT hr, const MAPIERROR* error, const wchar_t* context) : CComError(hr, context)
{
    if (error != nullptr)
        m_info.Assign(*error);
}

StringW CMapiError::GetDescription() const
{
    return FormatMapiErrorDescription(m_hr, m_context, FormatMapiErrorInfo(m_info));
}

StringW FormatMapiErrorInfo(const MapiErrorInfo& info)
{
    StringW lines;
    if (info.component != nullptr)
        lines.AppendFormatLine(L"Component: %s", info.component);
    if (info.error != nullptr)
        lines.AppendFormatLine(L"Error: %s", info.error);
    if (info.context != 0)
        lines.AppendFormatLine(L"Context: %u (0x%X)", info.context, info.context);
    if (info.lowLevelError != 0)
        lines.AppendFormatLine(L"Code: %s", GetErrorText(info.lowLevelError).c_str());
    return lines.empty() ? lines : L"Extended MAPI error information:\r\n" + lines;
}

StringW FormatMapiErrorDescription(HRESULT hr, const std::wstring& context, const std::wstring& block)
{
    StringW text(hr < 0 ? L"Failure during MAPI call: " : L"Non-success condition during MAPI call: ");
    text.append(GetErrorText(static_cast<DWORD>(hr)));
    text = CombineMessage(text, context);
    if (!block.empty())
        text.AppendLineBreak().append(block);
    return text;
}

StringW FormatMapiErrorMessage(HRESULT hr, const std::wstring& context, const MAPIERROR* error)
{
    return FormatMapiErrorDescription(hr, context,
                                      error != nullptr ? FormatMapiErrorInfo(MapiErrorInfo(*error)) : StringW());
}

} // namespace Quenzal::Mapi

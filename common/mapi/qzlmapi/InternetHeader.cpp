#include "InternetHeader.h"

#include "ErrorReport.h"

#include <vector>

namespace Quenzal::Mapi {

CMapiBuffer<SPropTagArray> GetInternetHeaderTags(IMAPIProp* message, std::span<const StringW> names,
                                                 const MapiCallSite& site)
{
    GUID propertySet = PS_INTERNET_HEADERS;
    std::vector<StringW> copies(names.begin(), names.end());
    std::vector<MAPINAMEID> ids(names.size());
    std::vector<LPMAPINAMEID> pointers(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        ids[i].lpguid = &propertySet;
        ids[i].ulKind = MNID_STRING;
        ids[i].Kind.lpwstrName = copies[i].data();
        pointers[i] = &ids[i];
    }
    LPSPropTagArray tags = nullptr;
    HRESULT hr = message->GetIDsFromNames(static_cast<ULONG>(names.size()), pointers.data(), MAPI_CREATE, &tags);
    CMapiBuffer<SPropTagArray> result = TakeMapiBuffer(hr, tags);
    CheckMapiResult(hr, message, MapiCallKind::Ordinary, site);
    if (!result || result.Get()->cValues != names.size())
        ThrowReported(CComError(E_FAIL), site.file, site.function, site.line);
    return result;
}

ULONG ResolveInternetHeader(IMAPIProp* message, const StringW& name)
{
    CMapiBuffer<SPropTagArray> tags = GetInternetHeaderTags(
        message, {&name, 1}, MapiCallSite{__FILE__, L"Quenzal::Mapi::ResolveInternetHeader", __LINE__});
    if (PROP_TYPE(tags.Get()->aulPropTag[0]) == PT_ERROR)
        QZL_THROW(L"Quenzal::Mapi::ResolveInternetHeader", CComError(E_FAIL));
    // Only the id is kept: whatever type the store reported, the value is wide text.
    return PROP_TAG(PT_UNICODE, PROP_ID(tags.Get()->aulPropTag[0]));
}

void AddCustomHeader(IMAPIProp* message, const StringW& name, const StringW& value)
{
    SPropValue property{};
    property.ulPropTag = ResolveInternetHeader(message, name);
    StringW text(value);
    property.Value.lpszW = text.data();
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = message->SetProps(1, &property, &problems);
    CMapiBuffer<SPropProblemArray> problemArray = TakeMapiBuffer(hr, problems);
    QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::AddCustomHeader", message, hr);
    if (problemArray && problemArray.Get()->cProblem > 0) {
        SCODE scode = problemArray.Get()->aProblem[0].scode;
        CMapiErrorBuffer error = GetMapiLastError(scode, message);
        QZL_THROW(L"Quenzal::Mapi::AddCustomHeader", CMapiError(scode, error.Get(), name.c_str()));
    }
}

void RemoveCustomHeader(IMAPIProp* message, const StringW& name)
{
    SizedSPropTagArray(1, tags) = {1, {ResolveInternetHeader(message, name)}};
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = message->DeleteProps(reinterpret_cast<LPSPropTagArray>(&tags), &problems);
    CMapiBuffer<SPropProblemArray> problemArray = TakeMapiBuffer(hr, problems);
    QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::RemoveCustomHeader", message, hr);
}

} // namespace Quenzal::Mapi

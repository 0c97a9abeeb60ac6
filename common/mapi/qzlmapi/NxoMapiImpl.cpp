#include "NxoMapiImpl.h"

#include "NxoMapi.h"

#include "Net.h"
#include "com_cast.h"

namespace Quenzal::Mapi {

bool HasString8Value(const SPropValue* value)
{
    return value != nullptr && PROP_TYPE(value->ulPropTag) == PT_STRING8 && value->Value.lpszA != nullptr;
}

bool IsSmtpAddressType(const char* type)
{
    return type != nullptr && _stricmp(type, "SMTP") == 0;
}

bool IsSmtpProxyAddress(const char* text)
{
    return text != nullptr && _strnicmp(text, "SMTP:", 5) == 0;
}

const char* SkipSmtpProxyPrefix(const char* text)
{
    return text + 5;
}

bool IsEmailAddressA(const char* address)
{
    return Net::IsEmailAddress(StringW(address, StringW::npos));
}

std::string ToSmtpAddress(const char* type, const char* address, const SBinary* entryId)
{
    if (type == nullptr || address == nullptr)
        return {};
    if (IsSmtpAddressType(type) && IsEmailAddressA(address))
        return StringW(address, StringW::npos).ToAnsi();
    if (entryId == nullptr)
        return {};
    auto id = reinterpret_cast<const ENTRYID*>(entryId->lpb);
    if (_stricmp(type, "EX") != 0)
        return GetSmtpAddressFromUserEntryId(entryId->cb, id);
    std::string smtpAddress;
    if (FindCachedSmtpAddress(address, smtpAddress))
        return smtpAddress;
    // Resolved outside the lock: the address book may take its time, and a
    // second thread resolving the same address meanwhile stores the same.
    smtpAddress = GetSmtpAddressFromUserEntryId(entryId->cb, id);
    if (!smtpAddress.empty())
        CacheSmtpAddress(address, smtpAddress);
    return smtpAddress;
}

CMapiBuffer<SPropTagArray> ResolveContactNamedProps(IMAPIProp* contact)
{
    static const LONG ids[] = {0x8082, 0x8083, 0x8092, 0x8093, 0x80A2, 0x80A3};
    constexpr ULONG count = sizeof(ids) / sizeof(ids[0]);
    GUID propertySet = PSETID_Address;
    MAPINAMEID names[count];
    LPMAPINAMEID namePointers[count];
    for (ULONG i = 0; i < count; ++i) {
        names[i].lpguid = &propertySet;
        names[i].ulKind = MNID_ID;
        names[i].Kind.lID = ids[i];
        namePointers[i] = &names[i];
    }
    LPSPropTagArray tags = nullptr;
    HRESULT hr = contact->GetIDsFromNames(count, namePointers, MAPI_CREATE, &tags);
    CMapiBuffer<SPropTagArray> result = TakeMapiBuffer(hr, tags);
    QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::ResolveContactNamedProps", contact, hr);
    return result;
}

std::string FindSmtpProxyAddress(const SPropValue* proxies)
{
    if (proxies == nullptr || proxies->ulPropTag != PR_EMS_AB_PROXY_ADDRESSES_A ||
        proxies->Value.MVszA.lppszA == nullptr)
        return {};
    for (ULONG i = 0; i < proxies->Value.MVszA.cValues; ++i) {
        const char* proxy = proxies->Value.MVszA.lppszA[i];
        if (IsSmtpProxyAddress(proxy) && IsEmailAddressA(SkipSmtpProxyPrefix(proxy)))
            return SkipSmtpProxyPrefix(proxy);
    }
    return {};
}

IMailUserPtr OpenMailUser(IMAPISession* session, ULONG size, const ENTRYID* entryId, const MapiCallSite& site)
{
    ULONG objectType = 0;
    IUnknown* object = nullptr;
    HRESULT hr = session->OpenEntry(size, const_cast<LPENTRYID>(entryId), nullptr, 0, &objectType, &object);
    CInterfacePtr<IUnknown> entry(SUCCEEDED(hr) ? object : nullptr, false);
    CheckMapiResult(hr, session, MapiCallKind::Ordinary, site);
    return com_cast<IMailUser>(entry.GetInterfacePtr());
}

} // namespace Quenzal::Mapi

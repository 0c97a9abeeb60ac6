#include "NxoMapi.h"

#include "MapiCursor.h"
#include "MapiProps.h"
#include "NxoMapiImpl.h"

#include "ErrorReport.h"
#include "Net.h"

namespace Quenzal::Mapi {
namespace {

// Pairs of (address type, address) values, inserted when they give an SMTP
// address; a missing or mistyped value skips its pair.
void InsertAddressPairs(SmtpAddressSet& addresses, const CPropValues& values)
{
    for (ULONG i = 0; i + 1 < values.GetCount(); i += 2) {
        const SPropValue* type = values.At(i);
        const SPropValue* address = values.At(i + 1);
        if (!HasString8Value(type) || !HasString8Value(address))
            continue;
        std::string smtpAddress = ToSmtpAddress(type->Value.lpszA, address->Value.lpszA, nullptr);
        if (!smtpAddress.empty())
            addresses.insert(std::move(smtpAddress));
    }
}

// The properties of an address-book entry that can hold its SMTP address.
const CTagArray<4> AddressTags = {4,
                                  {PR_SMTP_ADDRESS_A, PR_ADDRTYPE_A, PR_EMAIL_ADDRESS_A, PR_EMS_AB_PROXY_ADDRESSES_A}};

} // namespace

SmtpAddressSet GetContactSmtpAddresses(IMAPIProp* contact)
{
    CMapiBuffer<SPropTagArray> tags = ResolveContactNamedProps(contact);
    CPropValues values = QZL_GET_MAPI_PROPS(L"Quenzal::Mapi::GetContactSmtpAddresses", contact, tags.Get(), 0);
    tags.Close();
    SmtpAddressSet addresses;
    InsertAddressPairs(addresses, values);
    return addresses;
}

SmtpAddressSet GetMessageSmtpRecipients(IMessage* message)
{
    static const CTagArray<2> columns = {2, {PR_ADDRTYPE_A, PR_EMAIL_ADDRESS_A}};
    LPMAPITABLE recipients = nullptr;
    HRESULT hr = message->GetRecipientTable(0, &recipients);
    IMAPITablePtr table(SUCCEEDED(hr) ? recipients : nullptr, false);
    QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::GetMessageSmtpRecipients", message, hr);
    CMapiCursor cursor = QueryMapiTable(table.GetInterfacePtr(), columns.Get());
    SmtpAddressSet addresses;
    while (const SRow* row = cursor.GetNextRow()) {
        if (row->cValues < 2 || row->lpProps == nullptr)
            continue;
        const SPropValue* type = &row->lpProps[0];
        const SPropValue* address = &row->lpProps[1];
        if (HasString8Value(type) && IsSmtpAddressType(type->Value.lpszA) && HasString8Value(address) &&
            IsEmailAddressA(address->Value.lpszA))
            addresses.insert(address->Value.lpszA);
    }
    return addresses;
}

SmtpAddressSet GetMessageSmtpSenders(IMAPIProp* message)
{
    static const CTagArray<4> tags = {4,
                                      {PR_SENDER_ADDRTYPE_A, PR_SENDER_EMAIL_ADDRESS_A, PR_SENT_REPRESENTING_ADDRTYPE_A,
                                       PR_SENT_REPRESENTING_EMAIL_ADDRESS_A}};
    CPropValues values = QZL_GET_MAPI_PROPS(L"Quenzal::Mapi::GetMessageSmtpSenders", message, tags.Get(), 0);
    SmtpAddressSet addresses;
    InsertAddressPairs(addresses, values);
    return addresses;
}

StringW GetMessageReceivedBySmtpAddress(IMAPIProp* message)
{
    static const wchar_t function[] = L"Quenzal::Mapi::GetMessageReceivedBySmtpAddress";
    static const CTagArray<3> tags = {
        3,
        {PR_RECEIVED_BY_ADDRTYPE_A, PR_RECEIVED_BY_EMAIL_ADDRESS_A, PR_RECEIVED_BY_ENTRYID}};
    CPropValues values = QZL_GET_MAPI_PROPS(function, message, tags.Get(), 0);
    const SPropValue* type = values.At(0);
    const SPropValue* address = values.At(1);
    const SPropValue* entryId = values.At(2);
    if (!HasString8Value(type) || !HasString8Value(address) || entryId == nullptr ||
        PROP_TYPE(entryId->ulPropTag) != PT_BINARY || entryId->Value.bin.cb == 0 || entryId->Value.bin.lpb == nullptr)
        QZL_THROW(function, CException(L"Unable to determine the recipient of this message: properties not found"));
    std::string smtpAddress = ToSmtpAddress(type->Value.lpszA, address->Value.lpszA, &entryId->Value.bin);
    if (smtpAddress.empty())
        QZL_THROW(function, CException(StringW::Format(
                                L"Unable to determine the recipient of this message (unable to resolve %s)",
                                StringW(address->Value.lpszA, StringW::npos).c_str())));
    return StringW(smtpAddress);
}

StringW GetUserSmtpAddress()
{
    static const wchar_t function[] = L"Quenzal::Mapi::GetUserSmtpAddress";
    StringW cached = GetCachedUserSmtpAddress();
    if (!cached.empty())
        return cached;
    IMAPISessionPtr session = GetMapiSession().Get();
    if (!session)
        QZL_THROW(function, CException(L"MAPI session not initialized"));
    ULONG size = 0;
    LPENTRYID identity = nullptr;
    HRESULT hr = session->QueryIdentity(&size, &identity);
    CMapiBuffer<ENTRYID> identityHolder = TakeMapiBuffer(hr, identity);
    QZL_CHECK_MAPI_RESULT(function, session, hr);
    IMailUserPtr user = OpenMailUser(session.GetInterfacePtr(), size, identity, {__FILE__, function, __LINE__});
    CPropValues values = QZL_GET_MAPI_PROPS(function, user.GetInterfacePtr(), AddressTags.Get(), 0);

    std::string found;
    for (ULONG i = 0; i < values.GetCount() && found.empty(); ++i) {
        const SPropValue& value = *values.At(i);
        switch (value.ulPropTag) {
        case PR_SMTP_ADDRESS_A:
            if (IsEmailAddressA(value.Value.lpszA))
                found = value.Value.lpszA;
            break;
        case PR_ADDRTYPE_A:
            if (const SPropValue* email = Mapi::PpropFindProp(values.Get(), values.GetCount(), PR_EMAIL_ADDRESS_A)) {
                SBinary entryId = {size, reinterpret_cast<LPBYTE>(identity)};
                found = ToSmtpAddress(value.Value.lpszA, email->Value.lpszA, &entryId);
            }
            break;
        case PR_EMS_AB_PROXY_ADDRESSES_A:
            found = FindSmtpProxyAddress(&value);
            break;
        default:
            break;
        }
    }
    if (found.empty())
        QZL_THROW(function, CException(L"Unable to determine user's default SMTP address"));
    return CacheUserSmtpAddress(StringW(found));
}

std::string GetSmtpAddressFromUserEntryId(ULONG size, const ENTRYID* entryId)
{
    static const wchar_t function[] = L"Quenzal::Mapi::GetSmtpAddressFromUserEntryId";
    IMAPISessionPtr session = GetMapiSession().Get();
    if (!session)
        QZL_THROW(function, CException(L"MAPI session not initialized"));
    IMailUserPtr user = OpenMailUser(session.GetInterfacePtr(), size, entryId, {__FILE__, function, __LINE__});
    CPropValues values = QZL_GET_MAPI_PROPS(function, user.GetInterfacePtr(), AddressTags.Get(), 0);
    const SPropValue* smtpAddress = values.At(0);
    const SPropValue* type = values.At(1);
    const SPropValue* email = values.At(2);
    if (HasString8Value(smtpAddress) && IsEmailAddressA(smtpAddress->Value.lpszA))
        return smtpAddress->Value.lpszA;
    if (HasString8Value(type) && IsSmtpAddressType(type->Value.lpszA) && HasString8Value(email) &&
        IsEmailAddressA(email->Value.lpszA))
        return email->Value.lpszA;
    return FindSmtpProxyAddress(values.At(3));
}

StringW GetSmtpAddressFromUserEntryIdW(const std::string& entryId)
{
    auto id = entryId.empty() ? nullptr : reinterpret_cast<const ENTRYID*>(entryId.data());
    return StringW(GetSmtpAddressFromUserEntryId(static_cast<ULONG>(entryId.size()), id));
}

} // namespace Quenzal::Mapi

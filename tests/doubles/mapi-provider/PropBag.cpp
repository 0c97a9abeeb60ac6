// The property bag behind every object of the provider, and named properties.
#include "Provider.h"

#include <cstring>

namespace QzlTestMapi {
namespace {

bool IsString(ULONG type)
{
    return type == PT_STRING8 || type == PT_UNICODE;
}

// The type a value of storedType is handed out as for a request of
// requestedType; PT_ERROR when it cannot be.
ULONG TypeFor(ULONG requestedType, ULONG storedType, ULONG flags)
{
    if (requestedType == PT_UNSPECIFIED)
        return IsString(storedType) ? ((flags & MAPI_UNICODE) != 0 ? PT_UNICODE : PT_STRING8) : storedType;
    if (requestedType == storedType || (IsString(requestedType) && IsString(storedType)))
        return requestedType;
    return PT_ERROR;
}

} // namespace

CPropBag::CPropBag(const SPropValue* values, ULONG count) : m_count(count)
{
    MAPIAllocateBuffer(sizeof(SPropValue) * (count + 1), reinterpret_cast<void**>(&m_values));
    for (ULONG i = 0; i < count; ++i)
        CopyPropValue(m_values[i], values[i], m_values);
}

CPropBag::~CPropBag()
{
    MAPIFreeBuffer(m_values);
}

bool CPropBag::CopyValue(ULONG tag, ULONG flags, SPropValue& target, void* parent) const
{
    const SPropValue* stored = nullptr;
    for (ULONG i = 0; i < m_count && stored == nullptr; ++i) {
        if (PROP_ID(m_values[i].ulPropTag) == PROP_ID(tag))
            stored = &m_values[i];
    }
    ULONG type = stored != nullptr ? TypeFor(PROP_TYPE(tag), PROP_TYPE(stored->ulPropTag), flags) : PT_ERROR;
    if (type == PT_ERROR) {
        target.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
        target.Value.err = MAPI_E_NOT_FOUND;
        return false;
    }
    SPropValue source = *stored;
    std::string narrow;
    std::wstring wide;
    if (type != PROP_TYPE(stored->ulPropTag) && type == PT_STRING8) {
        int size = ::WideCharToMultiByte(CP_ACP, 0, stored->Value.lpszW, -1, nullptr, 0, nullptr, nullptr);
        narrow.resize(size > 0 ? size : 1);
        ::WideCharToMultiByte(CP_ACP, 0, stored->Value.lpszW, -1, narrow.data(), size, nullptr, nullptr);
        source.Value.lpszA = narrow.data();
    } else if (type != PROP_TYPE(stored->ulPropTag) && type == PT_UNICODE) {
        int size = ::MultiByteToWideChar(CP_ACP, 0, stored->Value.lpszA, -1, nullptr, 0);
        wide.resize(size > 0 ? size : 1);
        ::MultiByteToWideChar(CP_ACP, 0, stored->Value.lpszA, -1, wide.data(), size);
        source.Value.lpszW = wide.data();
    }
    source.ulPropTag = PROP_TAG(type, PROP_ID(stored->ulPropTag));
    return SUCCEEDED(CopyPropValue(target, source, parent));
}

HRESULT CPropBag::GetProps(const SPropTagArray* tags, ULONG flags, ULONG* count, LPSPropValue* values) const
{
    if (count == nullptr || values == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    ULONG wanted = tags != nullptr ? tags->cValues : m_count;
    LPSPropValue result = nullptr;
    if (FAILED(MAPIAllocateBuffer(sizeof(SPropValue) * (wanted + 1), reinterpret_cast<void**>(&result))))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    bool missing = false;
    for (ULONG i = 0; i < wanted; ++i) {
        ULONG tag = tags != nullptr ? tags->aulPropTag[i] : PROP_TAG(PT_UNSPECIFIED, PROP_ID(m_values[i].ulPropTag));
        missing |= !CopyValue(tag, flags, result[i], result);
    }
    *count = wanted;
    *values = result;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

bool CPropBag::HasEntryId(ULONG size, const ENTRYID* entryId) const
{
    for (ULONG i = 0; i < m_count; ++i) {
        const SPropValue& value = m_values[i];
        if (value.ulPropTag == PR_ENTRYID)
            return value.Value.bin.cb == size && entryId != nullptr && memcmp(value.Value.bin.lpb, entryId, size) == 0;
    }
    return false;
}

std::vector<PropBagPtr> NewPropBags(const SRow* rows, ULONG count)
{
    std::vector<PropBagPtr> bags;
    for (ULONG i = 0; rows != nullptr && i < count; ++i)
        bags.push_back(std::make_shared<const CPropBag>(rows[i].lpProps, rows[i].cValues));
    return bags;
}

PropBagPtr FindEntry(const std::vector<PropBagPtr>& bags, ULONG size, const ENTRYID* entryId)
{
    for (const PropBagPtr& bag : bags) {
        if (bag->HasEntryId(size, entryId))
            return bag;
    }
    return nullptr;
}

// Unknown names without MAPI_CREATE come back as PT_ERROR tags, with
// MAPI_W_ERRORS_RETURNED; the others as PT_UNSPECIFIED tags.
HRESULT ResolveNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags)
{
    if (names == nullptr || tags == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    LPSPropTagArray result = nullptr;
    if (FAILED(MAPIAllocateBuffer(CbNewSPropTagArray(count), reinterpret_cast<void**>(&result))))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    result->cValues = count;
    bool missing = false;
    for (ULONG i = 0; i < count; ++i) {
        ULONG id = names[i] != nullptr ? NamedPropertyId(*names[i], (flags & MAPI_CREATE) != 0) : 0;
        result->aulPropTag[i] = id != 0 ? PROP_TAG(PT_UNSPECIFIED, id) : PROP_TAG(PT_ERROR, 0);
        missing |= id == 0;
    }
    *tags = result;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

} // namespace QzlTestMapi

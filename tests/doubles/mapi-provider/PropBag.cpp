// The property bag behind every object of the provider, and named properties.
#include "Provider.h"

#include <algorithm>
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

CPropBag::CPropBag(const std::vector<SPropValue>& values) : CPropBag(values.data(), static_cast<ULONG>(values.size()))
{
}

CPropBag::CPropBag(const CPropBag& base, const SPropValue* changes, ULONG count)
    : CPropBag([&] {
          std::vector<SPropValue> merged(changes, changes + count);
          for (ULONG i = 0; i < base.m_count; ++i) {
              ULONG id = PROP_ID(base.m_values[i].ulPropTag);
              if (std::none_of(changes, changes + count, [id](const SPropValue& v) { return PROP_ID(v.ulPropTag) == id; }))
                  merged.push_back(base.m_values[i]);
          }
          std::erase_if(merged, [](const SPropValue& v) { return PROP_TYPE(v.ulPropTag) == PT_ERROR; });
          return merged;
      }())
{
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

const SPropValue* CPropBag::Find(ULONG tag) const
{
    const SPropValue* begin = m_values;
    const SPropValue* end = begin + m_count;
    const SPropValue* found = std::find_if(begin, end, [tag](const SPropValue& v) { return v.ulPropTag == tag; });
    return found != end ? found : nullptr;
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
// MAPI_W_ERRORS_RETURNED; the others with the type set for named tags
// (PT_UNSPECIFIED unless a test chose another).
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
        result->aulPropTag[i] = id != 0 ? PROP_TAG(NamedPropertyType(), id) : PROP_TAG(PT_ERROR, 0);
        missing |= id == 0;
    }
    *tags = result;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT SetBagProps(PropBagPtr& bag, ULONG count, const SPropValue* values, LPSPropProblemArray* problems)
{
    if (values == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    std::vector<SPropValue> written;
    std::vector<SPropProblem> refused;
    for (ULONG i = 0; i < count; ++i) {
        SCODE problem = PropertyProblem(PROP_ID(values[i].ulPropTag));
        if (problem == S_OK)
            written.push_back(values[i]);
        else
            refused.push_back({i, values[i].ulPropTag, problem});
    }
    bag = std::make_shared<const CPropBag>(*bag, written.data(), static_cast<ULONG>(written.size()));
    if (problems == nullptr)
        return S_OK;
    *problems = nullptr;
    if (refused.empty())
        return S_OK;
    auto count32 = static_cast<ULONG>(refused.size());
    if (FAILED(MAPIAllocateBuffer(CbNewSPropProblemArray(count32), reinterpret_cast<void**>(problems))))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    (*problems)->cProblem = count32;
    std::copy(refused.begin(), refused.end(), (*problems)->aProblem);
    return S_OK;
}

HRESULT OpenBagProperty(const CPropBag& bag, ULONG tag, LPCIID iid, LPUNKNOWN* object)
{
    if (iid == nullptr || object == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    if (*iid != __uuidof(IStream) || (PROP_TYPE(tag) != PT_STRING8 && PROP_TYPE(tag) != PT_BINARY))
        return MAPI_E_NO_SUPPORT;
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue value = nullptr;
    if (FAILED(bag.GetProps(reinterpret_cast<const SPropTagArray*>(&tags), 0, &count, &value)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    std::string bytes;
    if (PROP_TYPE(value->ulPropTag) == PT_STRING8)
        bytes = value->Value.lpszA;
    else if (PROP_TYPE(value->ulPropTag) == PT_BINARY)
        bytes.assign(reinterpret_cast<const char*>(value->Value.bin.lpb), value->Value.bin.cb);
    bool found = PROP_TYPE(value->ulPropTag) != PT_ERROR;
    MAPIFreeBuffer(value);
    if (!found)
        return MAPI_E_NOT_FOUND;
    IStream* stream = nullptr;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (FAILED(hr))
        return hr;
    LARGE_INTEGER start{};
    hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    if (SUCCEEDED(hr))
        hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        stream->Release();
        return hr;
    }
    *object = stream;
    return hr;
}

} // namespace QzlTestMapi

// A property object over a table of values: the property bag that messages,
// folders and address entries of the provider are made from.
#include "Provider.h"

namespace QzlTestMapi {
namespace {

class CPropObjectStubs : public IMAPIProp {
public:
    QZL_TEST_MAPI_STUBS(MAPI_IMAPIPROP_METHODS)
};

class CPropObject : public CObject<CPropObjectStubs, IMAPIProp> {
public:
    CPropObject(const SPropValue* values, ULONG count) : m_count(count)
    {
        MAPIAllocateBuffer(sizeof(SPropValue) * (count + 1), reinterpret_cast<void**>(&m_values));
        for (ULONG i = 0; i < count; ++i)
            CopyPropValue(m_values[i], values[i], m_values);
    }

    STDMETHODIMP GetLastError(HRESULT, ULONG flags, LPMAPIERROR* error) override
    {
        return ProvideLastError("IMAPIProp::GetLastError", flags, error);
    }

    // Missing properties come back as PT_ERROR values with MAPI_W_ERRORS_RETURNED.
    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override
    {
        HRESULT hr = CallResult("IMAPIProp::GetProps");
        if (FAILED(hr))
            return hr;
        if (count == nullptr || values == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        ULONG wanted = tags != nullptr ? tags->cValues : m_count;
        LPSPropValue result = nullptr;
        if (FAILED(MAPIAllocateBuffer(sizeof(SPropValue) * (wanted + 1), reinterpret_cast<void**>(&result))))
            return MAPI_E_NOT_ENOUGH_MEMORY;
        bool missing = false;
        for (ULONG i = 0; i < wanted; ++i) {
            ULONG tag = tags != nullptr ? tags->aulPropTag[i] : m_values[i].ulPropTag;
            if (LPSPropValue found = PpropFindProp(m_values, m_count, tag)) {
                CopyPropValue(result[i], *found, result);
            } else {
                result[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
                result[i].Value.err = MAPI_E_NOT_FOUND;
                missing = true;
            }
        }
        *count = wanted;
        *values = result;
        return missing && hr == S_OK ? MAPI_W_ERRORS_RETURNED : hr;
    }

protected:
    ~CPropObject() override { MAPIFreeBuffer(m_values); }

private:
    LPSPropValue m_values = nullptr;
    ULONG m_count;
};

} // namespace

IMAPIProp* NewPropObject(const SPropValue* values, ULONG count)
{
    return new CPropObject(values, count);
}

} // namespace QzlTestMapi

#pragma once
// IMAPIProp::GetProps under the MAPI error policy, its values held until
// the holder goes.

#include "MapiErrorPolicy.h"
#include "MapiPointers.h"

namespace Quenzal::Mapi {

// A fixed list of property tags laid out as an SPropTagArray:
//   static const CTagArray<2> columns = {2, {PR_ADDRTYPE_A, PR_EMAIL_ADDRESS_A}};
template <ULONG Count>
struct CTagArray {
    ULONG cValues;
    ULONG aulPropTag[Count];
    const SPropTagArray* Get() const { return reinterpret_cast<const SPropTagArray*>(this); }
};

// The values in the order of the tags asked for; a missing property is a
// PT_ERROR value (MAPI_W_ERRORS_RETURNED counts as success).
class CPropValues {
public:
    // Null past the end.
    const SPropValue* At(ULONG index) const { return index < m_count ? m_values.Get() + index : nullptr; }
    ULONG GetCount() const { return m_count; }
    LPSPropValue Get() const { return m_values.Get(); }

private:
    friend CPropValues GetPropsAt(IMAPIProp*, const SPropTagArray*, ULONG, const MapiCallSite&);
    CMapiBuffer<SPropValue> m_values;
    ULONG m_count = 0;
};

CPropValues GetPropsAt(IMAPIProp* object, const SPropTagArray* tags, ULONG flags, const MapiCallSite& site);

} // namespace Quenzal::Mapi

// QZL_GET_MAPI_PROPS(L"Quenzal::Mapi::GetMessageSmtpSenders", message, tags, 0)
#define QZL_GET_MAPI_PROPS(function, object, tags, flags) \
    ::Quenzal::Mapi::GetPropsAt((object), (tags), (flags), ::Quenzal::Mapi::MapiCallSite{__FILE__, function, __LINE__})

#include "MapiProps.h"

namespace Quenzal::Mapi {

CPropValues GetPropsAt(IMAPIProp* object, const SPropTagArray* tags, ULONG flags, const MapiCallSite& site)
{
    CPropValues result;
    LPSPropValue values = nullptr;
    ULONG count = 0;
    HRESULT hr = object->GetProps(const_cast<LPSPropTagArray>(tags), flags, &count, &values);
    result.m_values = TakeMapiBuffer(hr, values);
    CheckMapiResult(hr, object, MapiCallKind::GetProps, site);
    result.m_count = result.m_values ? count : 0;
    return result;
}

} // namespace Quenzal::Mapi

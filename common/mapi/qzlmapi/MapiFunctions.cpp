#include "MapiFunctions.h"

#include "MapiProvider.h"

#include <atomic>

namespace Quenzal::Mapi {
namespace {

// One export of the provider, cached with the binding sequence it was looked
// up at. Only lookups in a bound provider are cached, so racing callers can
// only ever store the same address.
template <class Function>
class CMapiExport {
public:
    explicit constexpr CMapiExport(const char* name) : m_name(name) {}

    Function Get()
    {
        LONG sequence = GetMapiBindingSequence();
        if (m_sequence.load(std::memory_order_acquire) == sequence && GetBoundMapiModule() != nullptr)
            return m_address.load(std::memory_order_relaxed);
        HMODULE module = GetMapiModule();
        if (module == nullptr)
            return nullptr;
        auto address = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, m_name)));
        m_address.store(address, std::memory_order_relaxed);
        m_sequence.store(sequence, std::memory_order_release);
        return address;
    }

private:
    const char* m_name;
    std::atomic<Function> m_address{nullptr};
    // No sequence is negative: nothing is cached at first.
    std::atomic<LONG> m_sequence{-1};
};

CMapiExport<decltype(&::HrGetOneProp)> g_hrGetOneProp("HrGetOneProp");
CMapiExport<decltype(&::PpropFindProp)> g_ppropFindProp("PpropFindProp");
CMapiExport<decltype(&::FreeProws)> g_freeProws("FreeProws");
CMapiExport<LPMAPIFREEBUFFER> g_mapiFreeBuffer("MAPIFreeBuffer");
CMapiExport<LPMAPILOGONEX> g_mapiLogonEx("MAPILogonEx");

} // namespace

HRESULT HrGetOneProp(LPMAPIPROP object, ULONG propertyTag, LPSPropValue* value)
{
    auto function = g_hrGetOneProp.Get();
    return function != nullptr ? function(object, propertyTag, value) : MAPI_E_CALL_FAILED;
}

LPSPropValue PpropFindProp(LPSPropValue values, ULONG count, ULONG propertyTag)
{
    auto function = g_ppropFindProp.Get();
    return function != nullptr ? function(values, count, propertyTag) : nullptr;
}

void FreeProws(LPSRowSet rows)
{
    if (auto function = g_freeProws.Get())
        function(rows);
}

ULONG MAPIFreeBuffer(LPVOID buffer)
{
    auto function = g_mapiFreeBuffer.Get();
    return function != nullptr ? function(buffer) : 0;
}

HRESULT MAPILogonEx(ULONG_PTR uiParam, LPTSTR profileName, LPTSTR password, ULONG flags, LPMAPISESSION* session)
{
    auto function = g_mapiLogonEx.Get();
    return function != nullptr ? function(uiParam, profileName, password, flags, session) : MAPI_E_CALL_FAILED;
}

} // namespace Quenzal::Mapi

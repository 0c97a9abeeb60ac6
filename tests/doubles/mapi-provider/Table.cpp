// Contents and recipient tables: rows over property bags, read in batches;
// sinks advised on a contents table hear of its folder's changes.
#include "Provider.h"

#include <algorithm>
#include <iterator>

namespace QzlTestMapi {
namespace {

class CTableStubs : public IMAPITable {
public:
    QZL_TEST_MAPI_STUBS(MAPI_IMAPITABLE_METHODS)
};

class CTable : public CObject<CTableStubs, IMAPITable> {
public:
    CTable(std::vector<PropBagPtr> rows, NotificationHubPtr hub)
        : m_all(std::move(rows)), m_rows(m_all), m_hub(std::move(hub))
    {
    }

    STDMETHODIMP GetLastError(HRESULT, ULONG flags, LPMAPIERROR* error) override
    {
        return ProvideLastError("IMAPITable::GetLastError", flags, error);
    }
    STDMETHODIMP SetColumns(LPSPropTagArray tags, ULONG) override
    {
        HRESULT hr = CallResult("IMAPITable::SetColumns");
        if (FAILED(hr))
            return hr;
        if (tags == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        m_columns.assign(reinterpret_cast<const ULONG*>(tags),
                         reinterpret_cast<const ULONG*>(tags) + CbSPropTagArray(tags) / sizeof(ULONG));
        return hr;
    }
    // Up to count rows from the current position on; at the end an empty row
    // set, with whatever result was injected (a warning, say).
    STDMETHODIMP QueryRows(LONG count, ULONG, LPSRowSet* rows) override
    {
        HRESULT hr = CallResult("IMAPITable::QueryRows");
        if (FAILED(hr))
            return hr;
        if (rows == nullptr || count < 0)
            return MAPI_E_INVALID_PARAMETER;
        ULONG taken = std::min<ULONG>(count, m_rows.size() - m_position);
        LPSRowSet result = nullptr;
        if (FAILED(MAPIAllocateBuffer(CbNewSRowSet(taken), reinterpret_cast<void**>(&result))))
            return MAPI_E_NOT_ENOUGH_MEMORY;
        auto columns = m_columns.empty() ? nullptr : reinterpret_cast<const SPropTagArray*>(m_columns.data());
        for (result->cRows = 0; result->cRows < taken; ++result->cRows) {
            SRow& row = result->aRow[result->cRows];
            row.ulAdrEntryPad = 0;
            if (FAILED(m_rows[m_position + result->cRows]->GetProps(columns, 0, &row.cValues, &row.lpProps))) {
                FreeProws(result);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
        }
        m_position += taken;
        *rows = result;
        return hr;
    }

    // A PT_SYSTIME property at or after a time (RELOP_GE); null lifts the restriction.
    STDMETHODIMP Restrict(LPSRestriction restriction, ULONG) override
    {
        HRESULT hr = CallResult("IMAPITable::Restrict");
        if (FAILED(hr))
            return hr;
        const SPropertyRestriction* since = restriction != nullptr ? &restriction->res.resProperty : nullptr;
        if (since != nullptr && (restriction->rt != RES_PROPERTY || since->relop != RELOP_GE ||
                                 PROP_TYPE(since->ulPropTag) != PT_SYSTIME))
            return MAPI_E_TOO_COMPLEX;
        m_rows.clear();
        std::copy_if(m_all.begin(), m_all.end(), std::back_inserter(m_rows), [since](const PropBagPtr& row) {
            const SPropValue* value = since != nullptr ? row->Find(since->ulPropTag) : nullptr;
            return since == nullptr ||
                   (value != nullptr && ::CompareFileTime(&value->Value.ft, &since->lpProp->Value.ft) >= 0);
        });
        m_position = 0;
        return hr;
    }

    STDMETHODIMP Advise(ULONG, LPMAPIADVISESINK sink, ULONG* connection) override
    {
        HRESULT hr = CallResult("IMAPITable::Advise");
        return FAILED(hr) ? hr : AdviseHub(m_hub, sink, connection);
    }
    STDMETHODIMP Unadvise(ULONG connection) override
    {
        HRESULT hr = CallResult("IMAPITable::Unadvise");
        return FAILED(hr) ? hr : UnadviseHub(m_hub, connection);
    }

private:
    std::vector<PropBagPtr> m_all;
    std::vector<PropBagPtr> m_rows;
    NotificationHubPtr m_hub;
    std::vector<ULONG> m_columns; // an SPropTagArray as it lies in memory
    size_t m_position = 0;
};

} // namespace

IMAPITable* NewTable(std::vector<PropBagPtr> rows, NotificationHubPtr hub)
{
    return new CTable(std::move(rows), std::move(hub));
}

} // namespace QzlTestMapi

#pragma once
// Inside the test MAPI provider: the base of its COM objects, the stubs of
// the methods a test has not needed yet, and the calls into its state.

#include "MapiHeaders.h"
#include "TestMapiProvider.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace QzlTestMapi {

// The injected result of a call by name (S_OK when none); counts the call.
HRESULT CallResult(const char* call);
// GetLastError of every object: the configured record, in wide text only when
// asked for with MAPI_UNICODE.
HRESULT ProvideLastError(const char* call, ULONG flags, LPMAPIERROR* error);
bool FindComponentPath(const char* component, const char* qualifier, std::string& path);
long LiveAllocations();
long ForeignFrees();
// Counts the provider's COM objects as they are made (+1) and destroyed (-1).
void CountObject(long change);
// A deep copy of the value in memory chained to parent.
HRESULT CopyPropValue(SPropValue& target, const SPropValue& source, void* parent);
// The id of a named property, given out from 0x8000 up on first use; 0 when
// the name is new and not to be created.
ULONG NamedPropertyId(const MAPINAMEID& name, bool create);
// The address-book entry of that entry id, or null.
class CPropBag;
std::shared_ptr<const CPropBag> FindMailUser(ULONG size, const ENTRYID* entryId);

// The values of one object (a message, a folder, an address entry, a table
// row) in one MAPI buffer, read as IMAPIProp::GetProps reads them. Objects
// and table rows made from the same data share one bag.
class CPropBag {
public:
    CPropBag(const SPropValue* values, ULONG count);
    ~CPropBag();
    CPropBag(const CPropBag&) = delete;
    CPropBag& operator=(const CPropBag&) = delete;

    // A tag of type PT_UNSPECIFIED (and a null tag array) gives the stored
    // type, strings as PT_STRING8 unless MAPI_UNICODE is asked for; a string
    // asked for in the other width is converted. Missing values (and other
    // types) are PT_ERROR values, with MAPI_W_ERRORS_RETURNED.
    HRESULT GetProps(const SPropTagArray* tags, ULONG flags, ULONG* count, LPSPropValue* values) const;
    bool HasEntryId(ULONG size, const ENTRYID* entryId) const;

private:
    bool CopyValue(ULONG tag, ULONG flags, SPropValue& target, void* parent) const;

    LPSPropValue m_values = nullptr;
    ULONG m_count;
};
using PropBagPtr = std::shared_ptr<const CPropBag>;
std::vector<PropBagPtr> NewPropBags(const SRow* rows, ULONG count);
// The bag whose PR_ENTRYID is the entry id, or null.
PropBagPtr FindEntry(const std::vector<PropBagPtr>& bags, ULONG size, const ENTRYID* entryId);
// OpenEntry (counted as call) of an entry found: a new message or address
// entry, as kind says, over its bag; missing when none was found.
HRESULT OpenFoundEntry(const char* call, PropBagPtr found, HRESULT missing, ULONG kind, ULONG* type,
                       LPUNKNOWN* object);

// A table over bags, in their order; QueryRows gives the columns set.
IMAPITable* NewTable(std::vector<PropBagPtr> rows);
IMAPIProp* NewPropObject(PropBagPtr bag);
IMessage* NewMessage(PropBagPtr bag, std::vector<PropBagPtr> recipients);
IMAPIFolder* NewFolder(PropBagPtr bag, std::vector<PropBagPtr> messages);
IMailUser* NewMailUser(PropBagPtr bag);
HRESULT ResolveNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags);

// Reference counting and identity; the object answers IUnknown and each of
// Interfaces.
template <class Base, class... Interfaces>
class CObject : public Base {
public:
    CObject() { CountObject(1); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (iid != __uuidof(IUnknown) && !((iid == __uuidof(Interfaces)) || ...))
            return E_NOINTERFACE;
        *object = static_cast<Base*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~CObject() { CountObject(-1); }

private:
    std::atomic<ULONG> m_references{1};
};

// The IMAPIProp part every object of the provider shares, over its bag.
template <class Stubs, class... Interfaces>
class CPropObject : public CObject<Stubs, IMAPIProp, Interfaces...> {
public:
    explicit CPropObject(PropBagPtr bag) : m_bag(std::move(bag)) {}

    STDMETHODIMP GetLastError(HRESULT, ULONG flags, LPMAPIERROR* error) override
    {
        return ProvideLastError("IMAPIProp::GetLastError", flags, error);
    }
    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override
    {
        HRESULT hr = CallResult("IMAPIProp::GetProps");
        if (FAILED(hr))
            return hr;
        HRESULT got = m_bag->GetProps(tags, flags, count, values);
        return hr == S_OK || FAILED(got) ? got : hr;
    }
    STDMETHODIMP GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags) override
    {
        HRESULT hr = CallResult("IMAPIProp::GetIDsFromNames");
        if (FAILED(hr))
            return hr;
        HRESULT got = ResolveNames(count, names, flags, tags);
        return hr == S_OK || FAILED(got) ? got : hr;
    }

protected:
    const PropBagPtr& Bag() const { return m_bag; }

private:
    PropBagPtr m_bag;
};

} // namespace QzlTestMapi

// Every method of an interface answering MAPI_E_NO_SUPPORT, to derive from:
//   class CSessionStubs : public IMAPISession { QZL_TEST_MAPI_STUBS(MAPI_IMAPISESSION_METHODS) };
#define QZL_TEST_MAPI_NOT_SUPPORTED \
    override                        \
    {                               \
        return MAPI_E_NO_SUPPORT;   \
    }
#define QZL_TEST_MAPI_STUBS(methods)                                   \
    _Pragma("GCC diagnostic push")                                     \
    _Pragma("GCC diagnostic ignored \"-Wunused-parameter\"")           \
    methods(QZL_TEST_MAPI_NOT_SUPPORTED)                               \
    _Pragma("GCC diagnostic pop")

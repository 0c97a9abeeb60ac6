#pragma once
// Inside the test MAPI provider: the base of its COM objects, the stubs of
// the methods a test has not needed yet, and the calls into its state.

#include "MapiHeaders.h"
#include "TestMapiProvider.h"

#include <atomic>
#include <memory>
#include <mutex>
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
// The type GetIDsFromNames gives the tags of the names it maps.
ULONG NamedPropertyType();
// The problem SetProps reports for a property id instead of writing it (S_OK: none).
SCODE PropertyProblem(ULONG propertyId);
void RecordFlags(const char* call, ULONG flags);
// The address-book entry of that entry id, or null.
class CPropBag;
std::shared_ptr<const CPropBag> FindMailUser(ULONG size, const ENTRYID* entryId);

// The values of one object (a message, a folder, an address entry, a table
// row) in one MAPI buffer, read as IMAPIProp::GetProps reads them. Objects
// and table rows made from the same data share one bag.
class CPropBag {
public:
    CPropBag(const SPropValue* values, ULONG count);
    // The base's values with the changes written over them.
    CPropBag(const CPropBag& base, const SPropValue* changes, ULONG count);
    ~CPropBag();
    CPropBag(const CPropBag&) = delete;
    CPropBag& operator=(const CPropBag&) = delete;

    // A tag of type PT_UNSPECIFIED (and a null tag array) gives the stored
    // type, strings as PT_STRING8 unless MAPI_UNICODE is asked for; a string
    // asked for in the other width is converted. Missing values (and other
    // types) are PT_ERROR values, with MAPI_W_ERRORS_RETURNED.
    HRESULT GetProps(const SPropTagArray* tags, ULONG flags, ULONG* count, LPSPropValue* values) const;
    bool HasEntryId(ULONG size, const ENTRYID* entryId) const;
    // The stored value of exactly that tag, or null.
    const SPropValue* Find(ULONG tag) const;

private:
    explicit CPropBag(const std::vector<SPropValue>& values);
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

// SetProps on an object's bag: the values are written into a new bag (tables
// and other objects over the old one keep seeing it); refused properties come
// back in the problem array, when the caller asks for one.
HRESULT SetBagProps(PropBagPtr& bag, ULONG count, const SPropValue* values, LPSPropProblemArray* problems);
// A string or binary property as a stream of its bytes (a string without its NUL).
HRESULT OpenBagProperty(const CPropBag& bag, ULONG tag, LPCIID iid, LPUNKNOWN* object);

// The sinks advised on the contents tables of one folder.
class CNotificationHub;
using NotificationHubPtr = std::shared_ptr<CNotificationHub>;
NotificationHubPtr NewNotificationHub();
NotificationHubPtr NotificationHubOf(IMAPIFolder* folder);
// Adds the message to a folder of ours; false for any other folder.
bool AddFolderMessage(IMAPIFolder* folder, PropBagPtr message);
HRESULT AdviseHub(const NotificationHubPtr& hub, IMAPIAdviseSink* sink, ULONG* connection);
HRESULT UnadviseHub(const NotificationHubPtr& hub, ULONG connection);
enum class NotificationTime { Now, DuringAdvise, AfterUnadvise };
void QueueNotifications(const NotificationHubPtr& hub, const NOTIFICATION* notifications, ULONG count,
                        NotificationTime when);
void WaitForNotifications();
void HoldSinksWhileNotifying(bool hold);

// A table over bags, in their order; QueryRows gives the columns set of the
// rows that meet the restriction (a time property from a time on). Sinks
// advised on it join the hub; a table without one takes none.
IMAPITable* NewTable(std::vector<PropBagPtr> rows, NotificationHubPtr hub = nullptr);
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
        HRESULT got = Bag()->GetProps(tags, flags, count, values);
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
    STDMETHODIMP SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override
    {
        HRESULT hr = CallResult("IMAPIProp::SetProps");
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> lock(m_bagLock);
        HRESULT set = SetBagProps(m_bag, count, values, problems);
        return hr == S_OK || FAILED(set) ? set : hr;
    }
    // Written as values of the type PT_ERROR, which the bag leaves out.
    STDMETHODIMP DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) override
    {
        HRESULT hr = CallResult("IMAPIProp::DeleteProps");
        if (FAILED(hr) || tags == nullptr)
            return FAILED(hr) ? hr : MAPI_E_INVALID_PARAMETER;
        std::vector<SPropValue> deleted(tags->cValues);
        for (ULONG i = 0; i < tags->cValues; ++i)
            deleted[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tags->aulPropTag[i]));
        std::lock_guard<std::mutex> lock(m_bagLock);
        return SetBagProps(m_bag, tags->cValues, deleted.data(), problems);
    }
    STDMETHODIMP OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG, LPUNKNOWN* object) override
    {
        HRESULT hr = CallResult("IMAPIProp::OpenProperty");
        if (FAILED(hr))
            return hr;
        HRESULT opened = OpenBagProperty(*Bag(), tag, iid, object);
        return hr == S_OK || FAILED(opened) ? opened : hr;
    }

protected:
    PropBagPtr Bag() const
    {
        std::lock_guard<std::mutex> lock(m_bagLock);
        return m_bag;
    }

private:
    mutable std::mutex m_bagLock;
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

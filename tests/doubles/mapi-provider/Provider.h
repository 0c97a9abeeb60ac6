#pragma once
// Inside the test MAPI provider: the base of its COM objects, the stubs of
// the methods a test has not needed yet, and the calls into its state.

#include "MapiHeaders.h"
#include "TestMapiProvider.h"

#include <atomic>
#include <string>

namespace QzlTestMapi {

// The injected result of a call by name (S_OK when none); counts the call.
HRESULT CallResult(const char* call);
// GetLastError of every object: the configured record, in wide text only when
// asked for with MAPI_UNICODE.
HRESULT ProvideLastError(const char* call, ULONG flags, LPMAPIERROR* error);
bool FindComponentPath(const char* component, const char* qualifier, std::string& path);
long LiveAllocations();
long ForeignFrees();
// A deep copy of the value in memory chained to parent.
HRESULT CopyPropValue(SPropValue& target, const SPropValue& source, void* parent);
IMAPIProp* NewPropObject(const SPropValue* values, ULONG count);

// Reference counting and identity; the object answers IUnknown and each of
// Interfaces.
template <class Base, class... Interfaces>
class CObject : public Base {
public:
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
    virtual ~CObject() = default;

private:
    std::atomic<ULONG> m_references{1};
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

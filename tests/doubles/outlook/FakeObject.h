#pragma once
// The building block of the stand-in Outlook: one dispatch object whose
// members are a table (name -> getter, setter, method), which can also be an
// event source (connection points that call their sinks the way Outlook
// does: by IDispatch::Invoke, arguments last to first) and a window
// (IOleWindow). Objects answer QueryInterface for the interface ids they are
// given, which is how the add-in tells an Application from an Explorer.
//
// A member that fails throws the HRESULT; the caller then sees
// DISP_E_EXCEPTION with that code, as Outlook reports its errors.

#include "ComObject.h"

#include <comdef.h>
#include <gtest/gtest.h>
#include <ocidl.h>
#include <oleidl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace QzlFake {

using Quenzal::OutlookAddIn::CObjectRef;
using Values = std::vector<_variant_t>; // arguments in declaration order

struct Member {
    std::function<_variant_t(const Values&)> get;
    std::function<void(const _variant_t&)> put;
    std::function<_variant_t(const Values&)> call;
};

class CFakeObject;
using CFakeRef = CObjectRef<CFakeObject>;

class CFakeConnectionPoint : public IConnectionPoint {
public:
    CFakeConnectionPoint(IConnectionPointContainer* container, const IID& iid) : m_container(container), m_iid(iid) {}
    virtual ~CFakeConnectionPoint();

    // Calls every sink with the event; a failing answer or an exception fails
    // the test. Arguments in declaration order; pass Cancel by reference.
    void Fire(DISPID id, std::vector<VARIANT> arguments = {});
    size_t GetSinkCount() const { return m_sinks.size(); }
    // Drops every sink without being asked, as Outlook does when it exits.
    void Clear();

    // Failures to inject: Advise answers adviseResult once it has accepted
    // acceptBeforeFailure more sinks; Unadvise answers unadviseResult.
    HRESULT adviseResult = S_OK;
    int acceptBeforeFailure = 0;
    HRESULT unadviseResult = S_OK;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

private:
    IConnectionPointContainer* m_container; // the owner, which outlives its points
    IID m_iid;
    std::map<DWORD, IDispatch*> m_sinks;
    DWORD m_nextCookie = 1;
};

class CFakeObject : public IDispatch, public IConnectionPointContainer, public IOleWindow {
public:
    explicit CFakeObject(std::vector<IID> identities = {});
    virtual ~CFakeObject();
    static CFakeRef Create(std::vector<IID> identities = {}) { return CFakeRef(new CFakeObject(std::move(identities))); }

    // The member table.
    CFakeObject& Define(const std::wstring& name, Member member);
    // A stored value that the add-in may read and write.
    CFakeObject& Property(const std::wstring& name, const _variant_t& initial);
    _variant_t& Value(const std::wstring& name) { return m_values[name]; }
    CFakeObject& Method(const std::wstring& name, std::function<_variant_t(const Values&)> call);
    // Calls the add-in made, by member name, and its look-ups of names.
    int CallCount(const std::wstring& name) const;
    int GetNameLookupCount() const { return m_nameLookups; }

    void AddEventSource(const IID& iid);
    CFakeConnectionPoint& Events(const IID& iid);
    // Sinks advised on all of this object's event sources.
    size_t GetSinkCount() const;
    void SetWindow(HWND window) { m_window = window; }

    ULONG GetReferenceCount() const { return static_cast<ULONG>(m_references); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) override;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override;

private:
    struct NameLess {
        bool operator()(const std::wstring& left, const std::wstring& right) const
        {
            return _wcsicmp(left.c_str(), right.c_str()) < 0;
        }
    };

    LONG m_references = 0;
    std::vector<IID> m_identities;
    std::map<std::wstring, Member, NameLess> m_members;
    std::map<std::wstring, _variant_t, NameLess> m_values;
    std::map<std::wstring, int, NameLess> m_calls;
    std::vector<CFakeConnectionPoint*> m_eventSources;
    HWND m_window = nullptr;
    int m_nameLookups = 0;
};

// Every call from the stand-in into the add-in's code goes through here: an
// exception that comes out would have crossed the COM boundary, and fails the
// running test.
template <class F>
HRESULT CallIntoAddIn(const char* what, F&& call)
{
    try {
        return call();
    } catch (...) {
        ADD_FAILURE() << "an exception crossed the COM boundary in " << what;
        return E_UNEXPECTED;
    }
}

// Event arguments.
VARIANT DispatchArgument(IDispatch* object);
VARIANT BoolReference(VARIANT_BOOL* cell);

} // namespace QzlFake

#include "FakeObject.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace QzlFake {

namespace {

// One number per member name across all objects, as a type library would give.
DISPID MemberIdOf(const std::wstring& name)
{
    struct NameLess {
        bool operator()(const std::wstring& left, const std::wstring& right) const
        {
            return _wcsicmp(left.c_str(), right.c_str()) < 0;
        }
    };
    static std::map<std::wstring, DISPID, NameLess> ids;
    auto known = ids.find(name);
    if (known != ids.end())
        return known->second;
    DISPID id = 1000 + static_cast<DISPID>(ids.size());
    ids.emplace(name, id);
    return id;
}

} // namespace

VARIANT DispatchArgument(IDispatch* object)
{
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = object;
    return value;
}

VARIANT BoolReference(VARIANT_BOOL* cell)
{
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BOOL | VT_BYREF;
    value.pboolVal = cell;
    return value;
}

CFakeConnectionPoint::~CFakeConnectionPoint()
{
    Clear();
}

void CFakeConnectionPoint::Fire(DISPID id, std::vector<VARIANT> arguments)
{
    std::reverse(arguments.begin(), arguments.end());
    DISPPARAMS parameters = {arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    // A sink may unadvise while it handles the event.
    std::vector<IDispatch*> sinks;
    for (auto& [cookie, sink] : m_sinks) {
        sink->AddRef();
        sinks.push_back(sink);
    }
    for (IDispatch* sink : sinks) {
        try {
            HRESULT hr = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr,
                                      nullptr, nullptr);
            EXPECT_EQ(S_OK, hr) << "event 0x" << std::hex << id << " was answered with a failure";
        } catch (...) {
            ADD_FAILURE() << "an exception crossed the COM boundary in event 0x" << std::hex << id;
        }
        sink->Release();
    }
}

void CFakeConnectionPoint::Clear()
{
    std::map<DWORD, IDispatch*> sinks;
    sinks.swap(m_sinks);
    for (auto& [cookie, sink] : sinks)
        sink->Release();
}

HRESULT CFakeConnectionPoint::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConnectionPoint)
        return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG CFakeConnectionPoint::AddRef()
{
    return m_container->AddRef();
}

ULONG CFakeConnectionPoint::Release()
{
    return m_container->Release();
}

HRESULT CFakeConnectionPoint::GetConnectionInterface(IID* iid)
{
    *iid = m_iid;
    return S_OK;
}

HRESULT CFakeConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    *container = m_container;
    m_container->AddRef();
    return S_OK;
}

// A strict source: the sink must answer the event interface itself.
HRESULT CFakeConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (sink == nullptr || cookie == nullptr)
        return E_POINTER;
    if (FAILED(adviseResult) && acceptBeforeFailure-- <= 0)
        return adviseResult;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&events))) || events == nullptr)
        return CONNECT_E_CANNOTCONNECT;
    *cookie = m_nextCookie++;
    m_sinks[*cookie] = events;
    return S_OK;
}

HRESULT CFakeConnectionPoint::Unadvise(DWORD cookie)
{
    if (FAILED(unadviseResult))
        return unadviseResult;
    auto found = m_sinks.find(cookie);
    if (found == m_sinks.end())
        return CONNECT_E_NOCONNECTION;
    IDispatch* sink = found->second;
    m_sinks.erase(found);
    sink->Release();
    return S_OK;
}

HRESULT CFakeConnectionPoint::EnumConnections(IEnumConnections**)
{
    return E_NOTIMPL;
}

CFakeObject::CFakeObject(std::vector<IID> identities) : m_identities(std::move(identities)) {}

CFakeObject::~CFakeObject()
{
    for (CFakeConnectionPoint* point : m_eventSources)
        delete point;
}

CFakeObject& CFakeObject::Define(const std::wstring& name, Member member)
{
    MemberIdOf(name);
    m_members[name] = std::move(member);
    return *this;
}

CFakeObject& CFakeObject::Property(const std::wstring& name, const _variant_t& initial)
{
    m_values[name] = initial;
    return Define(name, {[this, name](const Values&) { return m_values[name]; },
                         [this, name](const _variant_t& value) { m_values[name] = value; }, nullptr});
}

CFakeObject& CFakeObject::Method(const std::wstring& name, std::function<_variant_t(const Values&)> call)
{
    return Define(name, {nullptr, nullptr, std::move(call)});
}

int CFakeObject::CallCount(const std::wstring& name) const
{
    auto found = m_calls.find(name);
    return found == m_calls.end() ? 0 : found->second;
}

void CFakeObject::AddEventSource(const IID& iid)
{
    m_eventSources.push_back(new CFakeConnectionPoint(this, iid));
}

CFakeConnectionPoint& CFakeObject::Events(const IID& iid)
{
    for (CFakeConnectionPoint* point : m_eventSources) {
        IID own = {};
        point->GetConnectionInterface(&own);
        if (own == iid)
            return *point;
    }
    throw std::logic_error("no such event source");
}

size_t CFakeObject::GetSinkCount() const
{
    size_t count = 0;
    for (CFakeConnectionPoint* point : m_eventSources)
        count += point->GetSinkCount();
    return count;
}

HRESULT CFakeObject::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch ||
        std::find(m_identities.begin(), m_identities.end(), iid) != m_identities.end())
        *object = static_cast<IDispatch*>(this);
    else if (iid == IID_IConnectionPointContainer && !m_eventSources.empty())
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IOleWindow && m_window != nullptr)
        *object = static_cast<IOleWindow*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CFakeObject::AddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_references));
}

ULONG CFakeObject::Release()
{
    LONG left = ::InterlockedDecrement(&m_references);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT CFakeObject::GetTypeInfoCount(UINT* count)
{
    *count = 0;
    return S_OK;
}

HRESULT CFakeObject::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo)
{
    *typeInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CFakeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (count != 1)
        return E_INVALIDARG;
    m_nameLookups++;
    if (m_members.find(names[0]) == m_members.end()) {
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = MemberIdOf(names[0]);
    return S_OK;
}

HRESULT CFakeObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                            EXCEPINFO* exception, UINT*)
{
    auto member = std::find_if(m_members.begin(), m_members.end(),
                               [id](const auto& entry) { return MemberIdOf(entry.first) == id; });
    if (member == m_members.end())
        return DISP_E_MEMBERNOTFOUND;
    m_calls[member->first]++;
    Values arguments;
    if (parameters != nullptr && parameters->rgvarg != nullptr)
        arguments.assign(parameters->rgvarg, parameters->rgvarg + parameters->cArgs);
    std::reverse(arguments.begin(), arguments.end());
    try {
        _variant_t answer;
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (!member->second.put || parameters->cNamedArgs != 1 || arguments.empty())
                return DISP_E_MEMBERNOTFOUND;
            // The value, named DISPID_PROPERTYPUT, comes first in rgvarg.
            member->second.put(arguments.back());
        } else if ((flags & DISPATCH_METHOD) && member->second.call) {
            answer = member->second.call(arguments);
        } else if ((flags & DISPATCH_PROPERTYGET) && member->second.get) {
            answer = member->second.get(arguments);
        } else {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (result != nullptr)
            *result = answer.Detach();
        return S_OK;
    } catch (HRESULT failure) {
        if (exception != nullptr) {
            *exception = {};
            exception->scode = failure;
        }
        return DISP_E_EXCEPTION;
    }
}

HRESULT CFakeObject::EnumConnectionPoints(IEnumConnectionPoints**)
{
    return E_NOTIMPL;
}

HRESULT CFakeObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    *point = nullptr;
    for (CFakeConnectionPoint* source : m_eventSources) {
        IID own = {};
        source->GetConnectionInterface(&own);
        if (own == iid) {
            *point = source;
            source->AddRef();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT CFakeObject::GetWindow(HWND* window)
{
    *window = m_window;
    return S_OK;
}

HRESULT CFakeObject::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

} // namespace QzlFake

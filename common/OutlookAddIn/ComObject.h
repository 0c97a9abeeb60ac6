#pragma once
// COM objects without a class library: the module's lock count, the IUnknown
// of every object we implement, and a holder for references to our own
// implementation classes (interfaces of the platform are held in _com_ptr_t).
//
// An implementation class derives from its interfaces, declares no IUnknown
// of its own and answers GetInterface(iid) with the interface pointer for an
// iid it implements, or null. It is created as CComObject<Class>, which
// counts references, answers QueryInterface from GetInterface and keeps the
// module loaded while it lives.

#include "CaughtException.h"

#include <unknwn.h>

#include <utility>

namespace Quenzal::OutlookAddIn {

// Live objects plus LockServer locks, counted with every other hold on the
// module's code (Os::GetModuleLockCount); DllCanUnloadNow answers S_OK only at zero.
void LockModule();
void UnlockModule();
// IClassFactory::LockServer: an unlock without a lock of its own is ignored.
void LockServer(bool lock);
long GetModuleLockCount();
HRESULT CanUnloadModule();

template <class T>
class CComObject final : public T {
public:
    template <class... Arguments>
    explicit CComObject(Arguments&&... arguments) : T(std::forward<Arguments>(arguments)...)
    {
        LockModule();
    }
    ~CComObject() override { UnlockModule(); }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = T::GetInterface(iid);
        if (*object == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = ::InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

private:
    LONG m_references = 0;
};

// One reference to an object of ours, typed as its implementation class.
template <class T>
class CObjectRef {
public:
    CObjectRef() = default;
    // Takes a reference of its own.
    CObjectRef(T* object) : m_object(object)
    {
        if (m_object != nullptr)
            m_object->AddRef();
    }
    CObjectRef(const CObjectRef& other) : CObjectRef(other.m_object) {}
    CObjectRef(CObjectRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ~CObjectRef() { Reset(); }
    CObjectRef& operator=(CObjectRef other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }

    // A new object of class C (derived from T) that this holder owns.
    template <class C = T, class... Arguments>
    static CObjectRef Create(Arguments&&... arguments)
    {
        return CObjectRef(new CComObject<C>(std::forward<Arguments>(arguments)...));
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    bool operator==(const CObjectRef& other) const { return m_object == other.m_object; }
    void Reset()
    {
        if (T* object = std::exchange(m_object, nullptr))
            object->Release();
    }

private:
    T* m_object = nullptr;
};

// Creates an object of class T and asks it for the interface; the usual body
// of IClassFactory::CreateInstance. Never throws.
template <class T>
HRESULT CreateComObject(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    try {
        return CObjectRef<T>::Create()->QueryInterface(iid, object);
    }
    QZL_CATCH_RETURN(L"Quenzal::OutlookAddIn::CreateComObject")
}

} // namespace Quenzal::OutlookAddIn

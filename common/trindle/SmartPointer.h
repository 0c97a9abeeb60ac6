#pragma once
// One owning holder for every kind of system handle; the destructor policy says
// how a handle is released. Null and INVALID_HANDLE_VALUE both mean "none".

#include <windows.h>

#include <utility>

namespace Quenzal {

template <class T, class Destructor>
class SmartPointer {
public:
    SmartPointer() = default;
    explicit SmartPointer(T value) : m_value(value) {}
    ~SmartPointer() { Close(); }
    SmartPointer(const SmartPointer&) = delete;
    SmartPointer& operator=(const SmartPointer&) = delete;
    SmartPointer(SmartPointer&& other) noexcept : m_value(other.Detach()) {}
    SmartPointer& operator=(SmartPointer&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }

    static bool IsValid(T value) { return Destructor::IsValid(value); }
    bool IsValid() const { return IsValid(m_value); }
    explicit operator bool() const { return IsValid(); }
    T Get() const { return m_value; }

    // Takes ownership of value; the held one is released unless it is the same.
    void Reset(T value = T())
    {
        if (value == m_value)
            return;
        T old = std::exchange(m_value, value);
        if (IsValid(old))
            Destructor::Destroy(old);
    }
    void Close() { Reset(T()); }
    T Detach() { return std::exchange(m_value, T()); }
    // For out-parameters: releases what is held and hands out the slot.
    T* Receive()
    {
        Close();
        return &m_value;
    }

private:
    T m_value = T();
};

namespace Os {

struct HandleDestructor {
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Destroy(HANDLE h)
    {
        // Closing must not disturb the error the caller is about to report.
        DWORD saved = ::GetLastError();
        ::CloseHandle(h);
        ::SetLastError(saved);
    }
};

using CHandle = SmartPointer<HANDLE, HandleDestructor>;

struct FindDestructor {
    static bool IsValid(HANDLE find) { return find != nullptr && find != INVALID_HANDLE_VALUE; }
    static void Destroy(HANDLE find) { ::FindClose(find); }
};

using CFindHandle = SmartPointer<HANDLE, FindDestructor>;

} // namespace Os
} // namespace Quenzal

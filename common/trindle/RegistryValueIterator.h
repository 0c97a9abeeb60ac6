#pragma once
// Walks the names of a key's values by index. The iterator never moves by
// itself: after a name was read the caller calls Advance for the next one.

#include "StringW.h"

namespace Quenzal::Os {

class CRegistryValueIterator {
public:
    // The key is borrowed and must outlive the iterator.
    explicit CRegistryValueIterator(HKEY key) : m_key(key) {}

    // The name (and type, when asked) of the value at the current index;
    // false once the values have run out.
    bool GetCurrentValueName(StringW& name, DWORD* type);
    void Advance() { ++m_index; }
    DWORD GetIndex() const { return m_index; }
    bool IsAtEnd() const { return m_end; }

private:
    HKEY m_key;
    DWORD m_index = 0;
    bool m_end = false;
};

} // namespace Quenzal::Os

#include "MemoryStream.h"

namespace Quenzal {

bool CMemoryStream::IsOpen() const
{
    return true;
}

void CMemoryStream::DoWrite(const void* data, uint64_t length)
{
    m_data.append(static_cast<const char*>(data), static_cast<size_t>(length));
}

bool CNullStream::IsOpen() const
{
    return true;
}

void CNullStream::DoWrite(const void*, uint64_t) {}

} // namespace Quenzal

#include "Buffer.h"

#include <utility>

namespace Quenzal {

CBuffer::CBuffer(const std::string& data) : m_data(data) {}

CBuffer::CBuffer(std::string&& data) : m_data(std::move(data)) {}

std::shared_ptr<CBuffer> CBuffer::Create(const std::string& data)
{
    return std::make_shared<CBuffer>(data);
}

std::shared_ptr<CBuffer> CBuffer::Create(std::string&& data)
{
    return std::make_shared<CBuffer>(std::move(data));
}

uint64_t CBuffer::GetLength() const
{
    return m_data.size();
}

void CBuffer::WriteTo(IOutStream& stream) const
{
    if (m_data.empty())
        stream.Write(nullptr, 0);
    else
        stream.Write(m_data.data(), m_data.size());
}

} // namespace Quenzal

#pragma once
// Bytes held in memory that can be streamed out whole, fixed when the buffer
// is made; usually shared (MIME entity bodies hold their data this way).

#include "OutStream.h"

#include <memory>
#include <string>

namespace Quenzal {

class CBuffer : public IStreamable {
public:
    explicit CBuffer(const std::string& data);
    explicit CBuffer(std::string&& data);

    static std::shared_ptr<CBuffer> Create(const std::string& data);
    static std::shared_ptr<CBuffer> Create(std::string&& data);

    uint64_t GetLength() const override;
    void WriteTo(IOutStream& stream) const override;
    const std::string& GetData() const { return m_data; }

private:
    const std::string m_data;
};

} // namespace Quenzal

#pragma once
// Output streams that keep no file or connection: one collects the bytes in
// memory, the other only counts them (to measure a formatted size).

#include "OutStream.h"

#include <string>

namespace Quenzal {

class CMemoryStream : public IOutStream {
public:
    bool IsOpen() const override;
    const std::string& GetData() const { return m_data; }
    std::string& GetData() { return m_data; }

protected:
    void DoWrite(const void* data, uint64_t length) override;

private:
    std::string m_data;
};

// Discards what is written; GetBytesWritten tells how much it was.
class CNullStream : public IOutStream {
public:
    bool IsOpen() const override;

protected:
    void DoWrite(const void* data, uint64_t length) override;
};

} // namespace Quenzal

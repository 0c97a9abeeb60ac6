#pragma once
// The appliance's client configuration, as get_info.cgi gives it.

#include <cstdint>
#include <string>

class CNxoClientConfig {
public:
    CNxoClientConfig() = default;
    // An XML document with root "info"; raises when it or its
    // "max_kvd_file_size" cannot be read.
    explicit CNxoClientConfig(const std::string& text);

    // The largest file that may be linked, in bytes; 0 when the appliance
    // has the feature switched off.
    uint64_t GetMaxKvdFileSize() const { return m_maxKvdFileSize; }

private:
    uint64_t m_maxKvdFileSize = 0;
};

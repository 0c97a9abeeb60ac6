#pragma once
// Small helpers that have no better home: byte-count texts, inflating
// compressed buffers, the MD5 digest and HMAC-SHA256, byte search, version
// comparison and random bytes.

#include "StringW.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Quenzal {

// Byte count with a unit: "0K", "1023B", "1.5K", "2.0M", "1.0G".
StringW FormatByteSize(uint64_t bytes);
StringW FormatBufferSize(const std::string& data);

// How a compressed buffer is wrapped.
using CompressionType = uint32_t;
inline constexpr CompressionType CompressionZLib = 0;    // zlib header (a gzip header is accepted too)
inline constexpr CompressionType CompressionDeflate = 1; // raw deflate data, no header
inline constexpr CompressionType CompressionGZip = 2;    // gzip header (a zlib header is accepted too)

// Upper bound on the inflated size unless the caller gives its own: a small
// compressed body must not be able to fill the host's memory.
inline constexpr uint64_t DefaultDecompressLimit = 256ull * 1024 * 1024;

// Inflates a whole compressed buffer. Raises CException for a corrupt or
// incomplete stream and for output larger than maxSize bytes.
std::string Decompress(const void* data, size_t length, CompressionType type,
                       uint64_t maxSize = DefaultDecompressLimit);
std::string DecompressZLib(const void* data, size_t length, CompressionType type,
                           uint64_t maxSize = DefaultDecompressLimit);
StringW GetZLibErrorName(int result);

// The raw 16-byte MD5 digest.
std::string CalculateMd5(const void* data, size_t length);
// The raw 32-byte HMAC-SHA256 of the data under the key.
std::string CalculateHmacSha256(const std::string& key, const void* data, size_t length);

// The first occurrence of pattern inside buffer, or null.
const char* FindBytes(const char* buffer, size_t length, const char* pattern, size_t patternLength);

// Compares dotted version texts part by part, as far as both have parts:
// 0 when equal, else the difference of the first unequal parts.
int CompareVersionStrings(const std::wstring& first, const std::wstring& second);

// 170 bytes from the operating system's generator.
std::string GenerateRandomData();

} // namespace Quenzal

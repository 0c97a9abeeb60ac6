#include "Util.h"

#include "ErrorReport.h"

#include <bcrypt.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace Quenzal {

StringW FormatByteSize(uint64_t bytes)
{
    const double count = static_cast<double>(bytes);
    if (bytes == 0)
        return L"0K";
    if (bytes < 1024)
        return StringW::Format(L"%I64uB", bytes);
    if (bytes < 0x100000)
        return StringW::Format(L"%.1fK", count / 1024.0);
    if (bytes < 0x40000000)
        return StringW::Format(L"%.1fM", count / 1048576.0);
    return StringW::Format(L"%.1fG", count / 1073741824.0);
}

StringW FormatBufferSize(const std::string& data)
{
    return FormatByteSize(data.size());
}

namespace {

voidpf InflateAlloc(voidpf, uInt items, uInt size)
{
    return std::malloc(static_cast<size_t>(items) * size);
}

void InflateFree(voidpf, voidpf address)
{
    std::free(address);
}

// Owns a zlib inflate stream once inflateInit2 has accepted it.
class CInflateStream {
public:
    CInflateStream()
    {
        stream.zalloc = InflateAlloc;
        stream.zfree = InflateFree;
        stream.opaque = nullptr;
    }
    ~CInflateStream() { End(); }
    CInflateStream(const CInflateStream&) = delete;
    CInflateStream& operator=(const CInflateStream&) = delete;

    void End()
    {
        if (initialised)
            ::inflateEnd(&stream);
        initialised = false;
    }

    z_stream stream{};
    bool initialised = false;
};

// The text of the exception is itself a report line; it is then reported
// again as it is thrown.
[[noreturn]] void ThrowZLibError(int result, int line)
{
    CException error(FormatReportLine(L"Failure during ZLIB call", __FILE__, L"DecompressZLib", line,
                                      GetZLibErrorName(result)));
    ThrowReported(error, __FILE__, L"Quenzal::DecompressZLib", line);
}

} // namespace

std::string Decompress(const void* data, size_t length, CompressionType type, uint64_t maxSize)
{
    if (type > CompressionGZip)
        QZL_THROW(QZL_FUNCTION, CException(L"Unrecognized decompression type"));
    return DecompressZLib(data, length, type, maxSize);
}

std::string DecompressZLib(const void* data, size_t length, CompressionType type, uint64_t maxSize)
{
    if (type > CompressionGZip)
        QZL_THROW(QZL_FUNCTION, CException(L"Not a ZLib-supported type"));

    CInflateStream inflater;
    z_stream& stream = inflater.stream;
    const Bytef* next = static_cast<const Bytef*>(data);
    size_t remaining = data != nullptr ? length : 0;

    // 32 + 15 lets zlib tell a zlib header from a gzip header by itself.
    const int windowBits = type == CompressionDeflate ? -15 : 47;
    int result = ::inflateInit2(&stream, windowBits);
    if (result != Z_OK)
        ThrowZLibError(result, __LINE__);
    inflater.initialised = true;

    std::string output;
    output.reserve(static_cast<size_t>(std::min<uint64_t>(remaining <= SIZE_MAX / 4 ? remaining * 4 : SIZE_MAX,
                                                          maxSize)));
    Bytef buffer[32768];
    for (;;) {
        // avail_in is 32 bits wide: larger input is handed over in parts.
        if (stream.avail_in == 0 && remaining > 0) {
            const uInt chunk = static_cast<uInt>(std::min<size_t>(remaining, UINT_MAX));
            stream.next_in = const_cast<Bytef*>(next);
            stream.avail_in = chunk;
            next += chunk;
            remaining -= chunk;
        }
        stream.next_out = buffer;
        stream.avail_out = sizeof(buffer);
        result = ::inflate(&stream, Z_NO_FLUSH);
        const bool inputEnded = stream.avail_in == 0 && remaining == 0;
        // Z_BUF_ERROR after some input was taken means no progress is possible:
        // the input ran out inside the stream.
        if ((result == Z_BUF_ERROR && stream.total_in > 0 && inputEnded) ||
            (result == Z_OK && stream.avail_out != 0 && inputEnded)) {
            inflater.End();
            QZL_THROW(QZL_FUNCTION, CException(L"Compressed data ends before the end of the stream"));
        }
        if (result != Z_OK && result != Z_STREAM_END) {
            inflater.End();
            ThrowZLibError(result, __LINE__);
        }
        const size_t produced = sizeof(buffer) - stream.avail_out;
        if (produced > maxSize - output.size()) {
            inflater.End();
            QZL_THROW(QZL_FUNCTION,
                      CException(StringW::Format(L"Decompressed data exceeds the limit of %I64u bytes", maxSize)));
        }
        output.append(reinterpret_cast<const char*>(buffer), produced);
        if (result == Z_STREAM_END)
            break;
    }
    inflater.End();
    return output;
}

StringW GetZLibErrorName(int result)
{
    switch (result) {
    case Z_OK:
        return StringW();
    case Z_STREAM_END:
        return L"Z_STREAM_END";
    case Z_NEED_DICT:
        return L"Z_NEED_DICT";
    case Z_ERRNO:
        return CCrtError(nullptr).GetDescription();
    case Z_STREAM_ERROR:
        return L"Z_STREAM_ERROR";
    case Z_DATA_ERROR:
        return L"Z_DATA_ERROR";
    case Z_MEM_ERROR:
        return L"Z_MEM_ERROR";
    case Z_BUF_ERROR:
        return L"Z_BUF_ERROR";
    case Z_VERSION_ERROR:
        return L"Z_VERSION_ERROR";
    default:
        return StringW::Format(L"Unknown ZLIB error: %d", result);
    }
}

const char* FindBytes(const char* buffer, size_t length, const char* pattern, size_t patternLength)
{
    if (buffer == nullptr || pattern == nullptr || length == 0 || patternLength == 0)
        return nullptr;
    const char* end = buffer + length;
    const char* from = buffer;
    while (from < end) {
        const char* candidate = static_cast<const char*>(std::memchr(from, pattern[0], end - from));
        if (candidate == nullptr)
            return nullptr;
        if (static_cast<size_t>(end - candidate) < patternLength)
            return nullptr;
        if (patternLength == 1 || std::memcmp(candidate + 1, pattern + 1, patternLength - 1) == 0)
            return candidate;
        from = candidate + 1;
    }
    return nullptr;
}

namespace {

// The number of the part that starts at position; moves position past the
// part and its '.'.
int NextVersionPart(const std::wstring& text, size_t& position)
{
    size_t end = text.find(L'.', position);
    if (end == std::wstring::npos)
        end = text.size();
    const std::wstring part = text.substr(position, end - position);
    position = end < text.size() ? end + 1 : text.size();
    return _wtoi(part.c_str());
}

} // namespace

int CompareVersionStrings(const std::wstring& first, const std::wstring& second)
{
    if (first.empty())
        return 0;
    size_t firstPosition = 0;
    size_t secondPosition = 0;
    for (;;) {
        if (secondPosition >= second.size())
            return 0;
        const int a = NextVersionPart(first, firstPosition);
        const int b = NextVersionPart(second, secondPosition);
        if (a != b)
            return static_cast<int>(static_cast<unsigned>(a) - static_cast<unsigned>(b));
        if (firstPosition >= first.size())
            return 0;
    }
}

std::string GenerateRandomData()
{
    // The bytes become a shared secret: every one comes from the system's
    // cryptographic generator.
    std::string data(170, '\0');
    const NTSTATUS status = ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(data.data()),
                                              static_cast<ULONG>(data.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (!BCRYPT_SUCCESS(status))
        QZL_THROW(QZL_FUNCTION,
                  CException(StringW::Format(L"Unable to generate random data: BCryptGenRandom returned 0x%X",
                                             static_cast<unsigned>(status))));
    return data;
}

} // namespace Quenzal

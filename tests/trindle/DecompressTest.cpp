#include "Exception.h"
#include "TestSupport.h"
#include "Util.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cerrno>
#include <regex>

using namespace Quenzal;

namespace {

// Compresses with zlib's own deflate: window bits 15 give a zlib stream,
// 31 a gzip stream and -15 raw deflate data.
std::string Deflate(const std::string& data, int windowBits, int level = Z_BEST_COMPRESSION)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// A zlib stream of count zero bytes, made a chunk at a time so that the test
// never holds the inflated form.
std::string DeflateZeros(uint64_t count)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, Z_BEST_SPEED), Z_OK);
    const std::string zeros(1 << 20, '\0');
    std::string out;
    char buffer[65536];
    int result = Z_OK;
    do {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, zeros.size()));
        count -= chunk;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        stream.avail_in = static_cast<uInt>(chunk);
        const int flush = count == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof(buffer);
            result = deflate(&stream, flush);
            out.append(buffer, sizeof(buffer) - stream.avail_out);
        } while (stream.avail_out == 0);
    } while (result != Z_STREAM_END);
    deflateEnd(&stream);
    return out;
}

// Text that compresses a little but not too well, so that inflating takes
// several 32 KiB steps.
std::string SampleText(size_t size)
{
    std::string text;
    uint32_t x = 12345;
    while (text.size() < size) {
        x = x * 1103515245u + 12345u;
        text += "line " + std::to_string(x % 1000) + (x & 0x100 ? " spam\r\n" : " ham\r\n");
    }
    text.resize(size);
    return text;
}

std::string DecompressError(const std::string& data, CompressionType type, uint64_t maxSize = DefaultDecompressLimit)
{
    try {
        Decompress(data.data(), data.size(), type, maxSize);
    } catch (const CException& e) {
        return e.GetDescription().ToUtf8();
    }
    return "no exception";
}

} // namespace

TEST(Decompress, EachWrappingRoundTrips)
{
    const std::string text = SampleText(200000);
    const std::string zlib = Deflate(text, 15);
    const std::string gzip = Deflate(text, 31);
    const std::string raw = Deflate(text, -15);
    EXPECT_EQ(Decompress(zlib.data(), zlib.size(), CompressionZLib), text);
    EXPECT_EQ(Decompress(gzip.data(), gzip.size(), CompressionGZip), text);
    EXPECT_EQ(Decompress(raw.data(), raw.size(), CompressionDeflate), text);
    // The header is detected whichever of the two wrapped types is given.
    EXPECT_EQ(Decompress(gzip.data(), gzip.size(), CompressionZLib), text);
    EXPECT_EQ(Decompress(zlib.data(), zlib.size(), CompressionGZip), text);
    EXPECT_EQ(DecompressZLib(zlib.data(), zlib.size(), CompressionZLib), text);
}

TEST(Decompress, SmallAndBoundarySizes)
{
    for (size_t size : {0u, 1u, 32767u, 32768u, 32769u, 65536u}) {
        const std::string text = SampleText(size);
        const std::string zlib = Deflate(text, 15);
        EXPECT_EQ(Decompress(zlib.data(), zlib.size(), CompressionZLib), text) << size;
        const std::string raw = Deflate(text, -15);
        EXPECT_EQ(Decompress(raw.data(), raw.size(), CompressionDeflate), text) << size;
    }
}

TEST(Decompress, DataAfterTheEndOfTheStreamIsIgnored)
{
    const std::string text = SampleText(1000);
    const std::string zlib = Deflate(text, 15) + "trailing garbage";
    EXPECT_EQ(Decompress(zlib.data(), zlib.size(), CompressionZLib), text);
}

TEST(Decompress, ZLibFailuresCarryAReportLineAndAreReported)
{
    QzlTest::CLogCapture log;
    const std::string zlib = Deflate(SampleText(1000), 15);
    const std::string text = DecompressError(zlib, CompressionDeflate);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, std::regex(R"(Failure during ZLIB call at Util\.cpp, DecompressZLib, line (\d+): Z_DATA_ERROR)")))
        << text;
    EXPECT_TRUE(log.Contains("EXCEPTION: Throwing exception at Util.cpp, Quenzal::DecompressZLib, line " +
                             m[1].str() + ": " + text + "\r\n"))
        << log.Text();

    EXPECT_NE(DecompressError(std::string(), CompressionZLib).find(": Z_BUF_ERROR"), std::string::npos);
    EXPECT_NE(DecompressError("not compressed at all", CompressionGZip).find(": Z_DATA_ERROR"), std::string::npos);
}

TEST(Decompress, UnknownTypesAreRejected)
{
    const std::string zlib = Deflate("abc", 15);
    EXPECT_EQ(DecompressError(zlib, 3), "Unrecognized decompression type");
    try {
        DecompressZLib(zlib.data(), zlib.size(), 3);
        ADD_FAILURE() << "no exception";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), StringW(L"Not a ZLib-supported type"));
    }
}

TEST(Decompress, InputThatEndsInsideTheStreamIsAnError)
{
    const std::string text = SampleText(300000);
    for (int windowBits : {15, 31, -15}) {
        const std::string packed = Deflate(text, windowBits);
        const CompressionType type = windowBits == -15 ? CompressionDeflate : CompressionZLib;
        // Cut inside the first step, deep inside the data, and just before the trailer's end.
        for (size_t keep : {size_t(10), packed.size() / 2, packed.size() - 1}) {
            if (windowBits == -15 && keep == packed.size() - 1)
                continue; // raw deflate has no trailer: the last byte may hold only padding bits
            EXPECT_EQ(DecompressError(packed.substr(0, keep), type), "Compressed data ends before the end of the stream")
                << windowBits << " " << keep;
        }
    }
}

TEST(Decompress, InputThatEndsExactlyWhenAStepIsFullIsAnError)
{
    // Stored blocks: 2 header bytes, 5 block-header bytes, then the data as is,
    // so the cut falls where the first step has filled its 32 KiB.
    const std::string text = SampleText(40000);
    const std::string stored = Deflate(text, 15, Z_NO_COMPRESSION);
    ASSERT_EQ(stored.substr(7, 32768), text.substr(0, 32768));
    EXPECT_EQ(DecompressError(stored.substr(0, 7 + 32768), CompressionZLib),
              "Compressed data ends before the end of the stream");
    EXPECT_EQ(Decompress(stored.data(), stored.size(), CompressionZLib), text);
}

TEST(Decompress, OutputIsBounded)
{
    const std::string text = SampleText(100000);
    const std::string zlib = Deflate(text, 15);
    EXPECT_EQ(Decompress(zlib.data(), zlib.size(), CompressionZLib, text.size()), text);
    EXPECT_EQ(DecompressError(zlib, CompressionZLib, text.size() - 1),
              "Decompressed data exceeds the limit of 99999 bytes");

    // A bomb: a megabyte or so that would inflate past the default limit.
    const std::string bomb = DeflateZeros(DefaultDecompressLimit + 1);
    ASSERT_LT(bomb.size(), 2u << 20);
    EXPECT_EQ(DecompressError(bomb, CompressionZLib),
              "Decompressed data exceeds the limit of " + std::to_string(DefaultDecompressLimit) + " bytes");
}

TEST(Decompress, ZLibErrorNames)
{
    EXPECT_EQ(GetZLibErrorName(Z_OK), StringW());
    EXPECT_EQ(GetZLibErrorName(Z_STREAM_END), StringW(L"Z_STREAM_END"));
    EXPECT_EQ(GetZLibErrorName(Z_NEED_DICT), StringW(L"Z_NEED_DICT"));
    EXPECT_EQ(GetZLibErrorName(Z_STREAM_ERROR), StringW(L"Z_STREAM_ERROR"));
    EXPECT_EQ(GetZLibErrorName(Z_DATA_ERROR), StringW(L"Z_DATA_ERROR"));
    EXPECT_EQ(GetZLibErrorName(Z_MEM_ERROR), StringW(L"Z_MEM_ERROR"));
    EXPECT_EQ(GetZLibErrorName(Z_BUF_ERROR), StringW(L"Z_BUF_ERROR"));
    EXPECT_EQ(GetZLibErrorName(Z_VERSION_ERROR), StringW(L"Z_VERSION_ERROR"));
    EXPECT_EQ(GetZLibErrorName(-7), StringW(L"Unknown ZLIB error: -7"));
    EXPECT_EQ(GetZLibErrorName(3), StringW(L"Unknown ZLIB error: 3"));
    errno = ENOENT;
    EXPECT_EQ(GetZLibErrorName(Z_ERRNO), CCrtError(ENOENT, nullptr).GetDescription());
    errno = 0;
    EXPECT_EQ(GetZLibErrorName(Z_ERRNO), StringW(L"Failure during CRT call but no error code available"));
}

// Throughput of the transfer encodings and of one charset conversion over
// 64 MiB, each with the ratio to memcpy of the same bytes and, where the
// platform has its own implementation, to that one, measured in the same run.

#include "BenchSupport.h"
#include "CodePageConversion.h"
#include "NetEncoding.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>

using namespace Quenzal;
using QzlBench::Now;

namespace {

constexpr size_t kDataSize = 64u << 20;
constexpr int kRounds = 3;

// The best time of a few rounds, in seconds.
double Time(const std::function<void()>& work)
{
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        work();
        best = std::min(best, Now() - start);
    }
    return best;
}

double MemcpyTime(size_t bytes)
{
    std::string source(bytes, 'x');
    std::string target(bytes, '\0');
    return Time([&] { memcpy(target.data(), source.data(), bytes); });
}

double MegabytesPerSecond(size_t bytes, double seconds)
{
    return static_cast<double>(bytes) / 1e6 / seconds;
}

// One line: throughput over the input bytes and the speed ratios.
void Report(const char* name, size_t inputBytes, double seconds, const char* referenceName = nullptr,
            double referenceSeconds = 0, bool same = true)
{
    double memcpySeconds = MemcpyTime(inputBytes);
    printf("%-34s %8.1f MB/s  %5.3fx memcpy", name, MegabytesPerSecond(inputBytes, seconds), memcpySeconds / seconds);
    if (referenceName != nullptr)
        printf("  %6.2fx %s (%.1f MB/s)%s", referenceSeconds / seconds, referenceName,
               MegabytesPerSecond(inputBytes, referenceSeconds), same ? "" : "  OUTPUTS DIFFER");
    printf("\n");
    fflush(stdout);
}

std::string PlatformBase64Encode(const std::string& data, DWORD flags)
{
    DWORD length = 0;
    if (!::CryptBinaryToStringA(reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()),
                                flags, nullptr, &length))
        return std::string();
    std::string text(length, '\0');
    if (!::CryptBinaryToStringA(reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()),
                                flags, text.data(), &length))
        return std::string();
    text.resize(length);
    return text;
}

std::string PlatformBase64Decode(const std::string& text)
{
    DWORD length = 0;
    if (!::CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr,
                                &length, nullptr, nullptr))
        return std::string();
    std::string data(length, '\0');
    if (!::CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                                reinterpret_cast<BYTE*>(data.data()), &length, nullptr, nullptr))
        return std::string();
    data.resize(length);
    return data;
}

std::string WithoutLineBreaks(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char ch) { return ch == '\r' || ch == '\n'; }),
               text.end());
    return text;
}

} // namespace

int main()
{
    std::mt19937 random(7);
    std::string binary(kDataSize, '\0');
    for (size_t i = 0; i < kDataSize; i += 4) {
        uint32_t value = random();
        memcpy(binary.data() + i, &value, 4);
    }
    // Mail-like text: mostly ASCII words and line breaks, some accented letters.
    std::string text;
    text.reserve(kDataSize);
    static const char* const kWords[] = {"the ", "Zahlung ", "caf\xc3\xa9 ", "=E9 ", "r\xc3\xa9sum\xc3\xa9 ",
                                         "invoice ", "\r\n", "2024 ", "\xe2\x82\xac", "Stra\xc3\x9f" "e "};
    while (text.size() < kDataSize)
        text += kWords[random() % (sizeof(kWords) / sizeof(kWords[0]))];
    text.resize(kDataSize);
    while ((static_cast<unsigned char>(text.back()) & 0xC0) == 0x80 || static_cast<unsigned char>(text.back()) >= 0xC0)
        text.pop_back();

    printf("Codec throughput over %zu MiB (best of %d rounds; MB = 10^6 bytes of input)\n", kDataSize >> 20, kRounds);

    // Base64 on one line, against the platform without line breaks.
    std::string ours, platform;
    double encodeSeconds = Time([&] { ours = Net::Base64Encode(binary); });
    double platformEncodeSeconds =
        Time([&] { platform = PlatformBase64Encode(binary, CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF); });
    Report("Base64 encode (one line)", binary.size(), encodeSeconds, "CryptBinaryToStringA", platformEncodeSeconds,
           ours == platform);

    std::string decoded, platformDecoded;
    double decodeSeconds = Time([&] { decoded = Net::Base64Decode(ours); });
    double platformDecodeSeconds = Time([&] { platformDecoded = PlatformBase64Decode(ours); });
    Report("Base64 decode (one line)", ours.size(), decodeSeconds, "CryptStringToBinaryA", platformDecodeSeconds,
           decoded == binary && platformDecoded == binary);

    // Base64 in MIME lines (ours 76 characters, the platform's 64), decoded by both.
    double lineEncodeSeconds = Time([&] { ours = Net::Base64Encode(binary, 78); });
    double platformLineEncodeSeconds = Time([&] { platform = PlatformBase64Encode(binary, CRYPT_STRING_BASE64); });
    Report("Base64 encode (CR LF lines)", binary.size(), lineEncodeSeconds, "CryptBinaryToStringA",
           platformLineEncodeSeconds, WithoutLineBreaks(ours) == WithoutLineBreaks(platform));
    double lineDecodeSeconds = Time([&] { decoded = Net::Base64Decode(ours); });
    double platformLineDecodeSeconds = Time([&] { platformDecoded = PlatformBase64Decode(ours); });
    Report("Base64 decode (CR LF lines)", ours.size(), lineDecodeSeconds, "CryptStringToBinaryA",
           platformLineDecodeSeconds, decoded == binary && platformDecoded == binary);
    ours.clear();
    platform.clear();
    platformDecoded.clear();

    // Quoted-printable of text (mostly literal) and of binary data (mostly escapes).
    std::string qp;
    double qpTextSeconds = Time([&] { qp = Net::QuotedPrintableEncode(text); });
    Report("Quoted-printable encode (text)", text.size(), qpTextSeconds);
    double qpTextDecodeSeconds = Time([&] { decoded = Net::QuotedPrintableDecode(qp); });
    Report("Quoted-printable decode (text)", qp.size(), qpTextDecodeSeconds);
    double qpBinarySeconds = Time([&] { qp = Net::QuotedPrintableEncode(binary); });
    Report("Quoted-printable encode (binary)", binary.size(), qpBinarySeconds);
    double qpBinaryDecodeSeconds = Time([&] { decoded = Net::QuotedPrintableDecode(qp); });
    Report("Quoted-printable decode (binary)", qp.size(), qpBinaryDecodeSeconds, nullptr, 0, decoded == binary);
    qp.clear();
    decoded.clear();

    // UTF-8 to UTF-16 through the charset conversion, against the plain platform call.
    StringW wide;
    std::wstring platformWide;
    double convertSeconds = Time([&] { wide = Os::ConvertAnsiToUnicode(text.data(), text.size(), 65001); });
    double platformConvertSeconds = Time([&] {
        int count = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        platformWide.resize(static_cast<size_t>(count));
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), platformWide.data(), count);
    });
    Report("Charset utf-8 to UTF-16", text.size(), convertSeconds, "MultiByteToWideChar", platformConvertSeconds,
           wide == platformWide);

    if (double peak = QzlBench::PeakWorkingSetMiB(); peak > 0)
        printf("Peak working set: %.1f MiB\n", peak);
    return 0;
}

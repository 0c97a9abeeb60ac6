// Every decoder meets truncated, oversized and garbage input made from the
// vector files and must end with its own error or a result: never a crash, a
// foreign exception, or a read past the end of its input.

#include "CodePageConversion.h"
#include "CodecVectors.h"
#include "Exception.h"
#include "NetEncoding.h"
#include "TestSupport.h"
#include "Utf7.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Quenzal;
using namespace Quenzal::Net;

namespace {

const std::vector<std::string>& Corpus()
{
    static const std::vector<std::string> corpus = NetTest::MalformedInputs(NetTest::CorpusSeeds({
        "net/data/base64-rfc4648.txt",
        "net/data/base64-lenient.txt",
        "net/data/uudecode.txt",
        "net/data/qp-decode-rfc2045.txt",
        "net/data/qp-encode-rfc2045.txt",
        "net/data/rfc2047-words.txt",
        "net/data/rfc2231-values.txt",
        "net/data/utf7-decode-rfc2152.txt",
    }));
    return corpus;
}

// Feeds every corpus input to decode; a CException counts as a proper end
// only when accept says its description is this decoder's error.
void RunCorpus(const std::function<void(const char*, size_t)>& decode,
               const std::function<bool(const StringW&)>& accept)
{
    QzlTest::CLogCapture log;
    size_t raised = 0;
    for (const std::string& input : Corpus()) {
        NetTest::CGuardedBuffer guarded(input);
        try {
            decode(guarded.Data(), guarded.Size());
        } catch (const CException& e) {
            ++raised;
            ASSERT_TRUE(accept(e.GetDescription())) << e.GetDescription().ToUtf8();
        }
    }
    EXPECT_LT(raised, Corpus().size());
}

bool Any(const StringW&)
{
    return true;
}

} // namespace

TEST(CodecCorpus, Base64Decode)
{
    RunCorpus([](const char* p, size_t n) { Base64Decode(p, n); },
              [](const StringW& d) { return d == L"Base64-encoded stream contains invalid characters"; });
}

TEST(CodecCorpus, Uudecode)
{
    RunCorpus([](const char* p, size_t n) { Uudecode(p, n); }, [](const StringW&) { return false; });
}

TEST(CodecCorpus, QuotedPrintableDecode)
{
    RunCorpus([](const char* p, size_t n) { QuotedPrintableDecode(p, n); }, [](const StringW&) { return false; });
}

TEST(CodecCorpus, Utf7Decode)
{
    RunCorpus([](const char* p, size_t n) { ConvertUtf7ToUtf16(p, n); },
              [](const StringW& d) { return d == L"UTF-7 is ill-formed"; });
}

TEST(CodecCorpus, CodePageConversions)
{
    for (uint32_t codePage : {65001u, 1200u, 65000u, 50220u, 932u, 28592u})
        RunCorpus([codePage](const char* p, size_t n) { Os::ConvertAnsiToUnicode(p, n, codePage); }, Any);
}

TEST(CodecCorpus, HeaderAndPercentDecoders)
{
    auto isBase64Error = [](const StringW& d) { return d == L"Base64-encoded stream contains invalid characters"; };
    RunCorpus([](const char* p, size_t n) { DecodeRfc2047(std::string(p, n)); }, isBase64Error);
    RunCorpus([](const char* p, size_t n) { DecodeRfc2231(std::string(p, n)); }, Any);
    RunCorpus([](const char* p, size_t n) { PercentDecodeToUnicode(std::string(p, n), 65001); }, Any);
    RunCorpus([](const char* p, size_t n) { UrlDecode(std::string(p, n)); }, [](const StringW&) { return false; });
    RunCorpus([](const char* p, size_t n) { HexDecode(std::string(p, n)); },
              [](const StringW& d) { return d == L"AtlHexDecode failed"; });
}

TEST(CodecCorpus, EncodersTakeAnyBytes)
{
    QzlTest::CLogCapture log;
    for (const std::string& input : Corpus()) {
        ASSERT_EQ(Base64Decode(Base64Encode(input, 76)), input);
        std::string qp = QuotedPrintableEncode(input);
        ASSERT_EQ(qp.find_first_of("\x80\xff"), std::string::npos);
        ASSERT_EQ(UrlDecode(UrlEncode(input)), input.substr(0, input.find('\0')));
    }
}

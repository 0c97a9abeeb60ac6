#include "Util.h"

#include <gtest/gtest.h>

#include <wincrypt.h>

#include <set>

using namespace Quenzal;

namespace {

std::string Md5Hex(const std::string& text)
{
    return BytesToHex(CalculateMd5(text.data(), text.size()));
}

// The platform's own MD5, to check the block boundaries the RFC's vectors miss.
std::string PlatformMd5(const std::string& data)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string digest(16, '\0');
    DWORD size = 16;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return "no provider";
    if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
        CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0);
        CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(digest.data()), &size, 0);
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return digest;
}

} // namespace

TEST(Md5, Rfc1321Vectors)
{
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(CalculateMd5(nullptr, 0), CalculateMd5("", 0));
}

TEST(Md5, EveryLengthAroundTheBlockBoundariesMatchesThePlatform)
{
    std::string data;
    for (size_t length = 0; length <= 200; ++length) {
        const std::string digest = CalculateMd5(data.data(), data.size());
        ASSERT_EQ(digest.size(), 16u);
        ASSERT_EQ(BytesToHex(digest), BytesToHex(PlatformMd5(data))) << length;
        data.push_back(static_cast<char>(length * 37 + 11));
    }
}

TEST(FindBytes, FindsOnlyWholeMatchesInsideTheBuffer)
{
    const std::string buffer("abcabd\0xy", 9);
    const char* b = buffer.data();
    EXPECT_EQ(FindBytes(b, buffer.size(), "abd", 3), b + 3);
    EXPECT_EQ(FindBytes(b, buffer.size(), "a", 1), b);
    EXPECT_EQ(FindBytes(b, buffer.size(), "\0x", 2), b + 6);
    EXPECT_EQ(FindBytes(b, buffer.size(), "xy", 2), b + 7); // ends at the last byte
    EXPECT_EQ(FindBytes(b, 8, "xy", 2), nullptr);          // would run past the end
    EXPECT_EQ(FindBytes(b, 2, "abc", 3), nullptr);
    EXPECT_EQ(FindBytes(b, buffer.size(), "abe", 3), nullptr);
    EXPECT_EQ(FindBytes(nullptr, 5, "a", 1), nullptr);
    EXPECT_EQ(FindBytes(b, buffer.size(), nullptr, 1), nullptr);
    EXPECT_EQ(FindBytes(b, 0, "a", 1), nullptr);
    EXPECT_EQ(FindBytes(b, buffer.size(), "a", 0), nullptr);
}

TEST(CompareVersionStrings, ComparesThePartsBothHave)
{
    EXPECT_EQ(CompareVersionStrings(L"1.2", L"1.2"), 0);
    EXPECT_EQ(CompareVersionStrings(L"1.2", L"1.2.3"), 0);
    EXPECT_EQ(CompareVersionStrings(L"1.2.3", L"1.2"), 0);
    EXPECT_EQ(CompareVersionStrings(L"5.1", L"5.10"), -9);
    EXPECT_EQ(CompareVersionStrings(L"10.0", L"9.5"), 1);
    EXPECT_EQ(CompareVersionStrings(L"3.1", L"3.0.9"), 1);
    EXPECT_EQ(CompareVersionStrings(L"14.0.7015.1000", L"14.0.6023.1000"), 992);
    EXPECT_EQ(CompareVersionStrings(L"", L"1"), 0);
    EXPECT_EQ(CompareVersionStrings(L"1", L""), 0);
    EXPECT_EQ(CompareVersionStrings(L"x.2", L"0.3"), -1); // a part that is not a number counts as 0
}

TEST(GenerateRandomData, Returns170FreshBytes)
{
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string data = GenerateRandomData();
        ASSERT_EQ(data.size(), 170u);
        seen.insert(data);
    }
    EXPECT_EQ(seen.size(), 20u);
    // Every byte is drawn: no tail of the buffer is left as it was allocated.
    std::set<unsigned char> lastBytes;
    for (const std::string& data : seen)
        lastBytes.insert(static_cast<unsigned char>(data.back()));
    EXPECT_GT(lastBytes.size(), 1u);
}

TEST(StringW, GetUtf8)
{
    std::string out = "old";
    StringW(L"gr\u00fc\u00df").GetUtf8(out);
    EXPECT_EQ(out, "gr\xC3\xBC\xC3\x9F");
}

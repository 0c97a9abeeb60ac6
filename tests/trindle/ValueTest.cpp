#include "Exception.h"
#include "Guid.h"
#include "TestSupport.h"
#include "Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Quenzal;

namespace {

const GUID kSample = {0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};

Value Int32(int32_t n)
{
    Value v;
    v.SetInt32(n);
    return v;
}

Value Int16(int16_t n)
{
    Value v;
    v.SetInt16(n);
    return v;
}

Value Double(double n)
{
    Value v;
    v.SetDouble(n);
    return v;
}

Value Float(float n)
{
    Value v;
    v.SetFloat(n);
    return v;
}

Value Narrow(const char* text)
{
    return Value(std::string(text));
}

Value Bytes(const char* data, size_t size)
{
    return Value::FromBinary(std::string(data, size));
}

Value GuidValue(const GUID& guid)
{
    Value v;
    v.MakeGuid() = guid;
    return v;
}

Value Date(double day, bool utc = false)
{
    Value v;
    v.MakeDateTime() = DateTime(day, utc);
    return v;
}

bool Same(const GUID& a, const GUID& b)
{
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

} // namespace

TEST(Value, NullReadsAsNothing)
{
    Value v;
    EXPECT_EQ(v.GetKind(), Value::KindNull);
    EXPECT_TRUE(v.IsValueNull());
    EXPECT_EQ(v.GetInt16(), 0);
    EXPECT_EQ(v.GetUInt64(), 0u);
    EXPECT_EQ(v.GetDouble(), 0.0);
    EXPECT_EQ(v.GetFloat(), 0.0f);
    EXPECT_EQ(v.GetStringA(), "");
    EXPECT_EQ(v.GetStringW(), L"");
    EXPECT_EQ(v.GetBinary(), "");
    EXPECT_TRUE(Same(v.GetGuid(), GUID{}));
    std::wstring& text = v.MakeStringW();
    EXPECT_EQ(text, L"");
    EXPECT_EQ(v.GetKind(), Value::KindStringW);
}

TEST(Value, ConstructorsSetTheirKinds)
{
    EXPECT_EQ(Value(5).GetKind(), Value::KindInt64);
    EXPECT_EQ(Value(int64_t(-7)).GetInt64(), -7);
    EXPECT_EQ(Narrow("a").GetKind(), Value::KindStringA);
    std::wstring wide = L"w";
    EXPECT_EQ(Value(wide).GetKind(), Value::KindStringW);
    EXPECT_EQ(Value(std::wstring(L"w")).GetStringW(), L"w");
    EXPECT_EQ(Bytes("ab", 2).GetKind(), Value::KindBinary);
    EXPECT_EQ(GuidValue(kSample).GetKind(), Value::KindGuid);
    EXPECT_EQ(Date(1.5).GetKind(), Value::KindDateTime);
}

TEST(Value, IntegersConvertLikeTheLanguage)
{
    EXPECT_EQ(Int16(-1).GetUInt32(), 0xFFFFFFFFu);
    EXPECT_EQ(Int16(-1).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Int16(-1).GetInt64(), -1);
    EXPECT_EQ(Value(65537).GetInt16(), 1);
    Value u16;
    u16.SetUInt16(0xFFFF);
    EXPECT_EQ(u16.GetInt32(), 65535);
    EXPECT_EQ(u16.GetInt16(), -1);
    Value u64;
    u64.SetUInt64(0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(u64.GetInt64(), -1);
    EXPECT_EQ(u64.GetDouble(), 18446744073709551616.0);
    EXPECT_EQ(Int32(7).GetDouble(), 7.0);
    EXPECT_EQ(Int32(7).GetFloat(), 7.0f);
}

TEST(Value, FloatingValuesTruncateAndSaturate)
{
    EXPECT_EQ(Double(2.9).GetInt32(), 2);
    EXPECT_EQ(Double(-2.9).GetInt32(), -2);
    EXPECT_EQ(Double(70000.0).GetInt16(), 4464);
    EXPECT_EQ(Double(-1.0).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Double(9223372036854775808.0).GetUInt64(), 9223372036854775808ull);
    EXPECT_EQ(Double(1.5).GetFloat(), 1.5f);
    EXPECT_EQ(Float(2.5f).GetDouble(), 2.5);
    // Out of range: the nearest bound rather than undefined behaviour.
    EXPECT_EQ(Double(1e20).GetInt32(), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(Double(-1e20).GetInt32(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(Double(-1.0).GetUInt32(), 0u);
    EXPECT_EQ(Double(5e9).GetUInt32(), 0xFFFFFFFFu);
    EXPECT_EQ(Double(1e30).GetInt64(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Double(1e30).GetUInt64(), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(Double(-1e30).GetUInt64(), 0u);
    EXPECT_EQ(Double(NAN).GetInt32(), 0);
    EXPECT_EQ(Float(INFINITY).GetInt64(), std::numeric_limits<int64_t>::max());
}

TEST(Value, TextsConvertThroughLexicalCast)
{
    Value fortyTwo(std::wstring(L"42"));
    EXPECT_EQ(fortyTwo.GetInt16(), 42);
    EXPECT_EQ(fortyTwo.GetUInt16(), 42);
    EXPECT_EQ(fortyTwo.GetInt32(), 42);
    EXPECT_EQ(fortyTwo.GetUInt32(), 42u);
    EXPECT_EQ(fortyTwo.GetInt64(), 42);
    EXPECT_EQ(fortyTwo.GetUInt64(), 42u);
    EXPECT_EQ(fortyTwo.GetDouble(), 42.0);
    for (const wchar_t* bad : {L"4x2", L"", L" 42", L"1.5", L"42 "})
        EXPECT_EQ(Value(std::wstring(bad)).GetInt32(), 0) << StringW(bad).ToAnsi();
    EXPECT_EQ(Narrow("-1").GetInt32(), -1);
    EXPECT_EQ(Narrow("+5").GetInt32(), 5);
    EXPECT_EQ(Narrow("1.5").GetDouble(), 1.5);
    EXPECT_EQ(Narrow("1.5").GetInt32(), 0);
    EXPECT_EQ(Narrow("70000").GetInt16(), 0);
    EXPECT_EQ(Narrow("70000").GetInt32(), 70000);
    // Negative text read as unsigned wraps instead of failing.
    EXPECT_EQ(Narrow("-1").GetUInt32(), 4294967295u);
    EXPECT_EQ(Narrow("-1").GetUInt16(), 65535);
    EXPECT_EQ(Narrow("abc").GetDouble(), 0.0);
}

TEST(Value, NumbersAsText)
{
    EXPECT_EQ(Int32(7).GetStringA(), "7");
    EXPECT_EQ(Int32(7).GetStringW(), L"7");
    EXPECT_EQ(Int16(-3).GetStringA(), "-3");
    EXPECT_EQ(Value(-9000000000LL).GetStringW(), L"-9000000000");
    Value u64;
    u64.SetUInt64(18446744073709551615ull);
    EXPECT_EQ(u64.GetStringA(), "18446744073709551615");
    Value u16;
    u16.SetUInt16(65535);
    EXPECT_EQ(u16.GetStringA(), "65535");
    EXPECT_EQ(Double(0.1).GetStringA(), "0.10000000000000001");
    EXPECT_EQ(Float(0.1f).GetStringA(), "0.100000001");
    EXPECT_EQ(Double(1e20).GetStringW(), L"1e+20");
    EXPECT_EQ(Double(1.5).GetStringW(), L"1.5");
}

TEST(Value, TextsBetweenWidths)
{
    EXPECT_EQ(Narrow("abc").GetStringW(), L"abc");
    EXPECT_EQ(Value(std::wstring(L"abc")).GetStringA(), "abc");
    // Characters outside the ANSI code page do not survive the narrow form.
    std::string ansi = Value(std::wstring(L"\u4e2d")).GetStringA();
    EXPECT_EQ(ansi, StringW(L"\u4e2d").ToAnsi());
}

TEST(Value, BytesAsText)
{
    EXPECT_EQ(Bytes("A\0B\0", 4).GetStringW(), L"AB");
    EXPECT_EQ(Bytes("A\0B", 3).GetStringW(), L"");
    EXPECT_EQ(Bytes("A\0B", 3).GetStringA(), std::string("A\0B", 3));
    EXPECT_EQ(Bytes("", 0).GetStringW(), L"");
    EXPECT_EQ(BinaryToString(std::string("\xff\0x", 3)), std::string("\xff\0x", 3));
    EXPECT_EQ(BinaryToString(std::string()), "");
}

TEST(Value, GuidsAsTextAndBack)
{
    Value v = GuidValue(kSample);
    EXPECT_EQ(v.GetStringA(), "0x33221100554477668899aabbccddeeff");
    EXPECT_EQ(v.GetStringW(), L"0x33221100554477668899aabbccddeeff");
    EXPECT_TRUE(Same(Narrow("{00112233-4455-6677-8899-AABBCCDDEEFF}").GetGuid(), kSample));
    EXPECT_TRUE(Same(Value(std::wstring(L"0x33221100554477668899aabbccddeeff")).GetGuid(), kSample));
    EXPECT_TRUE(Same(Value(v.GetStringW()).GetGuid(), kSample));
    EXPECT_TRUE(Same(v.GetGuid(), kSample));
    EXPECT_TRUE(Same(Int32(5).GetGuid(), GUID{}));
    EXPECT_TRUE(Same(Date(2.0).GetGuid(), GUID{}));
    QzlTest::CLogCapture log;
    try {
        Narrow("not a guid").GetGuid();
        FAIL() << "no exception";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), L"Found invalid hex character in GUID string: not a guid");
    }
    EXPECT_TRUE(log.Contains("Throwing exception at Guid.cpp, Quenzal::Guid::Parse, line "));
}

TEST(Value, BinaryForms)
{
    EXPECT_EQ(Int16(0x0102).GetBinary(), std::string("\x02\x01", 2));
    EXPECT_EQ(Int32(0x01020304).GetBinary(), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(Value(0x0102030405060708LL).GetBinary(), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    EXPECT_EQ(Float(1.0f).GetBinary(), std::string("\x00\x00\x80\x3f", 4));
    EXPECT_EQ(Double(1.0).GetBinary(), std::string("\x00\x00\x00\x00\x00\x00\xf0\x3f", 8));
    EXPECT_EQ(Narrow("ab").GetBinary(), "ab");
    EXPECT_EQ(Value(std::wstring(L"AB")).GetBinary(), std::string("A\0B\0", 4));
    EXPECT_EQ(GuidValue(kSample).GetBinary(),
              std::string("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16));
    // The UTC flag is not part of the bytes.
    EXPECT_EQ(Date(1.0, true).GetBinary(), std::string("\x00\x00\x00\x00\x00\x00\xf0\x3f", 8));
}

TEST(Value, DatesAsNumbersAndText)
{
    DateTime when;
    ASSERT_TRUE(when.SetDateTime(2026, 12, 6, 0, 0, 0, 0));
    Value v;
    v.MakeDateTime() = when;
    EXPECT_EQ(v.GetDouble(), when.GetDate());
    EXPECT_EQ(v.GetFloat(), static_cast<float>(when.GetDate()));
    EXPECT_EQ(v.GetInt32(), 0);
    EXPECT_EQ(v.GetStringW(), when.ToString(false));
    EXPECT_EQ(v.GetStringA(), when.ToString(false).ToAnsi());
    EXPECT_FALSE(v.GetStringW().empty());
    EXPECT_EQ(Date(0.0).GetStringW(), L"");
}

TEST(Value, MakeConvertsInPlace)
{
    Value v = Int32(7);
    std::string& text = v.MakeStringA();
    EXPECT_EQ(text, "7");
    EXPECT_EQ(v.GetKind(), Value::KindStringA);
    text += "1";
    EXPECT_EQ(v.GetInt32(), 71);
    EXPECT_EQ(&v.MakeStringA(), &text);
    EXPECT_EQ(v.MakeStringW(), L"71");
    EXPECT_EQ(v.MakeBinary(), std::string("7\0" "1\0", 4));
    EXPECT_EQ(v.GetKind(), Value::KindBinary);

    Value g(std::wstring(L"{00112233-4455-6677-8899-AABBCCDDEEFF}"));
    EXPECT_TRUE(Same(g.MakeGuid(), kSample));
    EXPECT_EQ(g.GetKind(), Value::KindGuid);

    // A conversion that raises leaves the value as it was.
    Value bad(std::wstring(L"xyz"));
    QzlTest::CLogCapture log;
    EXPECT_THROW(bad.MakeGuid(), CException);
    EXPECT_EQ(bad.GetKind(), Value::KindStringW);
    EXPECT_EQ(bad.GetStringW(), L"xyz");

    Value null;
    EXPECT_TRUE(Same(null.MakeGuid(), GUID{}));
    Value nullBytes;
    EXPECT_EQ(nullBytes.MakeBinary(), "");
    EXPECT_EQ(nullBytes.GetKind(), Value::KindBinary);
}

TEST(Value, MakeDateTimeDoesNotConvert)
{
    Value v = Int32(5);
    DateTime& date = v.MakeDateTime();
    EXPECT_EQ(v.GetKind(), Value::KindDateTime);
    EXPECT_TRUE(date.IsNull());
    EXPECT_FALSE(date.IsUtc());
    Value text = Narrow("Tue, 01 Dec 2026 09:30:00 GMT");
    EXPECT_TRUE(text.MakeDateTime().IsNull());
    Value d = Date(3.25, true);
    EXPECT_EQ(d.MakeDateTime(), DateTime(3.25, true));
}

TEST(Value, CompareByTheOthersKind)
{
    Value null;
    EXPECT_EQ(null.Compare(Value()), 0);
    EXPECT_EQ(null.Compare(Value(5)), -1);
    EXPECT_EQ(Value(5).Compare(null), 1);
    EXPECT_EQ(Int32(5).Compare(Int32(3)), 2);
    EXPECT_EQ(Int32(3).Compare(Int32(5)), -2);
    EXPECT_EQ(Int16(-5).Compare(Int16(5)), -10);
    EXPECT_EQ(Double(1.5).Compare(Double(1.0)), 0);
    EXPECT_EQ(Double(3.5).Compare(Double(1.0)), 2);
    EXPECT_EQ(Float(1.0f).Compare(Float(1.9f)), 0);
    EXPECT_EQ(Double(1e20).Compare(Double(0.0)), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(Narrow("abc").Compare(Narrow("abd")), -1);
    EXPECT_EQ(Narrow("abd").Compare(Narrow("abc")), 1);
    EXPECT_EQ(Narrow("\xe9").Compare(Narrow("e")), 1);
    EXPECT_EQ(Value(std::wstring(L"b")).Compare(Value(std::wstring(L"a"))), 1);
    EXPECT_EQ(Bytes("abc", 3).Compare(Bytes("abcde", 5)), -2);
    EXPECT_EQ(Bytes("abd", 3).Compare(Bytes("abc", 3)) > 0, true);
    EXPECT_EQ(GuidValue(kSample).Compare(GuidValue(kSample)), 0);
    EXPECT_NE(GuidValue(GUID{}).Compare(GuidValue(kSample)), 0);
    // Read as the other's kind: the text 42 equals the number 42.
    EXPECT_EQ(Narrow("42").Compare(Int32(42)), 0);
    EXPECT_EQ(Int32(42).Compare(Narrow("42")), 0);
    EXPECT_EQ(Int32(42).Compare(Value(std::wstring(L"42"))), 0);
    EXPECT_EQ(Narrow("{00112233-4455-6677-8899-AABBCCDDEEFF}").Compare(GuidValue(kSample)), 0);
}

TEST(Value, SixtyFourBitValuesCompareWhole)
{
    EXPECT_NE(Value(0x100000000LL).Compare(Value(0)), 0);
    EXPECT_EQ(Value(0x100000000LL).Compare(Value(0)), 1);
    EXPECT_EQ(Value(0).Compare(Value(0x100000000LL)), -1);
    EXPECT_EQ(Value(std::numeric_limits<int64_t>::min()).Compare(Value(1)), -1);
    EXPECT_EQ(Value(7).Compare(Value(7)), 0);
    Value big;
    big.SetUInt64(0x8000000000000000ull);
    Value small;
    small.SetUInt64(1);
    EXPECT_EQ(big.Compare(small), 1);
    EXPECT_EQ(small.Compare(big), -1);
    EXPECT_EQ(Narrow("4294967296").Compare(Value(0)), 1);
}

TEST(Value, CompareDates)
{
    EXPECT_EQ(Date(5.0).Compare(Date(2.0)), 3);
    EXPECT_EQ(Date(2.0).Compare(Date(5.0)), -3);
    EXPECT_EQ(Date(2.5).Compare(Date(2.0)), 1);
    EXPECT_EQ(Date(2.0).Compare(Date(2.5)), -1);
    EXPECT_EQ(Date(2.0, true).Compare(Date(2.0, false)), 0);
    // Another kind is not converted: it counts as the day count 0.
    EXPECT_EQ(Int32(5).Compare(Date(0.5)), -1);
    EXPECT_EQ(Int32(5).Compare(Date(-3.0)), 3);
}

TEST(Value, CompareNoCase)
{
    EXPECT_EQ(Value(std::wstring(L"No-Cache")).CompareNoCase(Value(std::wstring(L"no-cache"))), 0);
    EXPECT_EQ(Narrow("No-Cache").CompareNoCase(Narrow("NO-CACHE")), 0);
    EXPECT_EQ(Narrow("No-Cache").CompareNoCase(Value(std::wstring(L"no-cache"))), 0);
    EXPECT_LT(Narrow("a").CompareNoCase(Narrow("B")), 0);
    EXPECT_NE(Value(std::wstring(L"No-Cache")).Compare(Value(std::wstring(L"no-cache"))), 0);
    EXPECT_EQ(Value().CompareNoCase(Value()), 0);
    EXPECT_EQ(Value().CompareNoCase(Narrow("a")), -1);
    EXPECT_EQ(Narrow("a").CompareNoCase(Value()), 1);
    EXPECT_EQ(Int32(5).CompareNoCase(Int32(3)), 2);
}

TEST(Value, IsValueNull)
{
    EXPECT_TRUE(Bytes("", 0).IsValueNull());
    EXPECT_FALSE(Int32(0).IsValueNull());
    EXPECT_FALSE(Double(0.0).IsValueNull());
    EXPECT_TRUE(Narrow("").IsValueNull());
    EXPECT_FALSE(Narrow("x").IsValueNull());
    EXPECT_TRUE(Value(std::wstring()).IsValueNull());
    EXPECT_TRUE(GuidValue(GUID{}).IsValueNull());
    EXPECT_FALSE(GuidValue(kSample).IsValueNull());
    EXPECT_TRUE(Date(0.0, true).IsValueNull());
    EXPECT_FALSE(Date(0.5).IsValueNull());
}

TEST(Value, CopiesAndMovesOwnTheirPayload)
{
    Value text = Narrow("payload");
    Value copy = text;
    copy.MakeStringA() += "!";
    EXPECT_EQ(text.GetStringA(), "payload");
    EXPECT_EQ(copy.GetStringA(), "payload!");
    Value moved = std::move(copy);
    EXPECT_EQ(moved.GetStringA(), "payload!");
    EXPECT_TRUE(copy.IsValueNull());
    Value target = Int32(1);
    target = text;
    EXPECT_EQ(target.GetStringA(), "payload");
    target = Bytes("xy", 2);
    EXPECT_EQ(target.GetKind(), Value::KindBinary);
    target = GuidValue(kSample);
    EXPECT_TRUE(Same(target.GetGuid(), kSample));
    const Value& self = target;
    target = self;
    EXPECT_TRUE(Same(target.GetGuid(), kSample));
    target.Clear();
    EXPECT_EQ(target.GetKind(), Value::KindNull);
    Value date = Date(4.5, true);
    Value dateCopy(date);
    EXPECT_EQ(dateCopy.MakeDateTime(), DateTime(4.5, true));
}

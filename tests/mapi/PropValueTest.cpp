#include "PropValue.h"
#include "TestSupport.h"

#include <gmock/gmock.h>

using namespace Quenzal;
using namespace Quenzal::Mapi;

TEST(PropValue, EachTypeBecomesItsValue)
{
    static GUID guid = {0x00062004, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    static BYTE bytes[] = {1, 2, 0};
    const struct {
        ULONG type;
        _PV raw;
        uint32_t kind;
        std::string binary; // the value's bytes as the binary kind reads them
    } cases[] = {
        {PT_I2, {.i = -2}, Value::KindInt16, "\xFE\xFF"},
        {PT_LONG, {.l = 70000}, Value::KindInt32, std::string("\x70\x11\x01\x00", 4)},
        {PT_R4, {.flt = 0.5f}, Value::KindFloat, std::string("\0\0\0\x3F", 4)},
        {PT_DOUBLE, {.dbl = 2.0}, Value::KindDouble, std::string("\0\0\0\0\0\0\0\x40", 8)},
        {PT_ERROR, {.err = MAPI_E_NOT_FOUND}, Value::KindNull, ""},
        {PT_BOOLEAN, {.b = 2}, Value::KindUInt16, std::string("\x02\x00", 2)},
        {PT_I8, {.li = {.QuadPart = -2}}, Value::KindInt64, "\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF"},
        {PT_STRING8, {.lpszA = const_cast<char*>("narrow")}, Value::KindStringA, "narrow"},
        {PT_STRING8, {.lpszA = nullptr}, Value::KindStringA, ""},
        {PT_UNICODE, {.lpszW = const_cast<wchar_t*>(L"w")}, Value::KindStringW, std::string("w\0", 2)},
        {PT_UNICODE, {.lpszW = nullptr}, Value::KindStringW, ""},
        {PT_CLSID, {.lpguid = &guid}, Value::KindGuid, std::string(reinterpret_cast<char*>(&guid), sizeof(guid))},
        {PT_CLSID, {.lpguid = nullptr}, Value::KindGuid, std::string(sizeof(GUID), '\0')},
        {PT_BINARY, {.bin = {3, bytes}}, Value::KindBinary, std::string("\x01\x02\x00", 3)},
        {PT_BINARY, {.bin = {5, nullptr}}, Value::KindBinary, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        Value value = ConvertPropValue(c.type, c.raw);
        EXPECT_EQ(value.GetKind(), c.kind);
        EXPECT_EQ(value.GetBinary(), c.binary);
    }
    Value date = ConvertPropValue(PT_APPTIME, {.at = 43831.5});
    EXPECT_EQ(date.MakeDateTime().GetDate(), 43831.5);
    EXPECT_FALSE(date.MakeDateTime().IsUtc());
    SPropValue wide = {PR_SUBJECT_W, 0, {.lpszW = const_cast<wchar_t*>(L"Subject \x20AC")}};
    Value subject = PropValueToValue(&wide);
    EXPECT_EQ(ValueToStringW(subject), L"Subject \x20AC");
    EXPECT_TRUE(PropValueToValue(nullptr).IsValueNull());

    QzlTest::CLogCapture log;
    for (ULONG type : {PT_MV_STRING8, PT_UNSPECIFIED, PT_OBJECT, PT_CURRENCY})
        EXPECT_TRUE(ConvertPropValue(type, {}).IsValueNull());
    EXPECT_EQ(QzlTest::CountOf(log.Text(), "ERROR: Unrecognized property type"), 4u);
}

// The MAPI tests run one hour east of UTC (CMakeLists.txt).
TEST(PropValue, SystemTimeBecomesLocalTime)
{
    SYSTEMTIME utc = {2020, 1, 3, 1, 0, 0, 0, 0};
    _PV raw = {};
    ASSERT_TRUE(::SystemTimeToFileTime(&utc, &raw.ft));
    Value value = ConvertPropValue(PT_SYSTIME, raw);
    ASSERT_EQ(value.GetKind(), Value::KindDateTime);
    DateTime expected;
    expected.SetDateTime(2020, 1, 1, 1, 0, 0, 0);
    EXPECT_EQ(value.MakeDateTime().GetDate(), expected.GetDate());
    EXPECT_FALSE(value.MakeDateTime().IsUtc());
}

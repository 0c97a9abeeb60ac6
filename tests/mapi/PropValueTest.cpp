#include "PropValue.h"
#include "TestSupport.h"

#include <gmock/gmock.h>

#include <functional>

using namespace Quenzal;
using namespace Quenzal::Mapi;

TEST(PropValue, EachTypeBecomesItsValue)
{
    static GUID guid = {0x00062004, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    static char bytes[] = "\x01\x02\x03";
    struct Case {
        ULONG type;
        std::function<void(_PV&)> set;
        uint32_t kind;
        std::wstring text; // the value as wide text
    };
    const std::vector<Case> cases = {
        {PT_I2, [](_PV& v) { v.i = -2; }, Value::KindInt16, L"-2"},
        {PT_LONG, [](_PV& v) { v.l = 70000; }, Value::KindInt32, L"70000"},
        {PT_R4, [](_PV& v) { v.flt = 0.5f; }, Value::KindFloat, L""},
        {PT_DOUBLE, [](_PV& v) { v.dbl = 2.25; }, Value::KindDouble, L""},
        {PT_ERROR, [](_PV& v) { v.err = MAPI_E_NOT_FOUND; }, Value::KindNull, L""},
        {PT_BOOLEAN, [](_PV& v) { v.b = 2; }, Value::KindUInt16, L"2"},
        {PT_I8, [](_PV& v) { v.li.QuadPart = -5000000000LL; }, Value::KindInt64, L"-5000000000"},
        {PT_STRING8, [](_PV& v) { v.lpszA = const_cast<char*>("narrow"); }, Value::KindStringA, L"narrow"},
        {PT_STRING8, [](_PV& v) { v.lpszA = nullptr; }, Value::KindStringA, L""},
        {PT_UNICODE, [](_PV& v) { v.lpszW = const_cast<wchar_t*>(L"wide \x20AC"); }, Value::KindStringW, L"wide \x20AC"},
        {PT_UNICODE, [](_PV& v) { v.lpszW = nullptr; }, Value::KindStringW, L""},
        {PT_CLSID, [](_PV& v) { v.lpguid = &guid; }, Value::KindGuid, L""},
        {PT_CLSID, [](_PV& v) { v.lpguid = nullptr; }, Value::KindGuid, L""},
        {PT_BINARY, [](_PV& v) { v.bin = {3, reinterpret_cast<LPBYTE>(bytes)}; }, Value::KindBinary, L""},
        {PT_BINARY, [](_PV& v) { v.bin = {5, nullptr}; }, Value::KindBinary, L""},
        {PT_APPTIME, [](_PV& v) { v.at = 43831.5; }, Value::KindDateTime, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        _PV raw = {};
        c.set(raw);
        Value value = ConvertPropValue(c.type, raw);
        EXPECT_EQ(value.GetKind(), c.kind);
        if (!c.text.empty()) {
            EXPECT_EQ(ValueToStringW(value), c.text);
        }
    }
    _PV raw = {};
    raw.lpguid = &guid;
    EXPECT_TRUE(IsEqualGUID(ConvertPropValue(PT_CLSID, raw).GetGuid(), guid));
    raw.bin = {3, reinterpret_cast<LPBYTE>(bytes)};
    EXPECT_EQ(ConvertPropValue(PT_BINARY, raw).GetBinary(), "\x01\x02\x03");
    raw.bin = {5, nullptr};
    EXPECT_EQ(ConvertPropValue(PT_BINARY, raw).GetBinary(), "");
    raw.at = 43831.5;
    Value date = ConvertPropValue(PT_APPTIME, raw);
    EXPECT_EQ(date.MakeDateTime().GetDate(), 43831.5);
    EXPECT_FALSE(date.MakeDateTime().IsUtc());
    EXPECT_TRUE(PropValueToValue(nullptr).IsValueNull());

    QzlTest::CLogCapture log;
    for (ULONG type : {PT_MV_STRING8, PT_UNSPECIFIED, PT_OBJECT, PT_CURRENCY})
        EXPECT_TRUE(ConvertPropValue(type, raw).IsValueNull());
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

#include "DateTime.h"
#include "DisplayLocale.h"
#include "ErrorReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <cmath>
#include <random>
#include <regex>

using namespace Quenzal;

namespace {

struct Fields {
    int year, month, day, hour, minute, second, millisecond;
};

Fields FieldsOf(const SYSTEMTIME& t)
{
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::string Text(const Fields& f)
{
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", f.year, f.month, f.day, f.hour, f.minute,
             f.second, f.millisecond);
    return buffer;
}

std::string Text(const tm& t, int ms = 0)
{
    return Text(Fields{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, ms});
}

DateTime Make(int year, int month, int day, int hour, int minute, int second, int ms = 0, bool utc = false)
{
    DateTime value;
    EXPECT_TRUE(value.SetDateTime(year, month, day, hour, minute, second, ms));
    value.SetUtc(utc);
    return value;
}

std::string UtcText(const DateTime& local)
{
    DateTime utc = local.ToUtc();
    EXPECT_TRUE(utc.IsUtc());
    return Text(FieldsOf(utc.ToSystemTime()));
}

// Minutes to add to the local time of the moment to get UTC, worked out with Win32 alone.
long BiasAt(const DateTime& utc)
{
    SYSTEMTIME utcTime = utc.ToSystemTime();
    SYSTEMTIME localTime{};
    EXPECT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &localTime));
    FILETIME u{};
    FILETIME l{};
    ::SystemTimeToFileTime(&utcTime, &u);
    ::SystemTimeToFileTime(&localTime, &l);
    auto ticks = [](const FILETIME& f) { return (static_cast<long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<long>((ticks(u) - ticks(l)) / 600000000LL);
}

} // namespace

TEST(DateTime, SetDateTimeKnownDates)
{
    DateTime value = Make(26, 12, 6, 14, 6, 18);
    EXPECT_DOUBLE_EQ(value.GetDate(), 46362.58770833333);
    EXPECT_FALSE(value.IsUtc());
    EXPECT_EQ(Text(FieldsOf(value.ToSystemTime())), "2026-12-06 14:06:18.000");
    EXPECT_EQ(value.ToSystemTime().wDayOfWeek, 0); // a Sunday
    EXPECT_EQ(Make(1899, 12, 31, 0, 0, 0).GetDate(), 1.0);
    EXPECT_EQ(Make(1899, 12, 30, 12, 0, 0).GetDate(), 0.5);
    EXPECT_EQ(Make(1899, 12, 29, 6, 0, 0).GetDate(), -1.25);
}

TEST(DateTime, TwoDigitYears)
{
    EXPECT_EQ(Make(50, 1, 1, 0, 0, 0).ToSystemTime().wYear, 2050);
    EXPECT_EQ(Make(51, 1, 1, 0, 0, 0).ToSystemTime().wYear, 1951);
    EXPECT_EQ(Make(0, 1, 1, 0, 0, 0).ToSystemTime().wYear, 2000);
    EXPECT_EQ(Make(99, 1, 1, 0, 0, 0).ToSystemTime().wYear, 1999);
    EXPECT_EQ(Make(-5, 1, 1, 0, 0, 0).ToSystemTime().wYear, 1995);
    tm t{};
    ASSERT_TRUE(DateTime::ToBrokenDownTime(Make(100, 3, 1, 0, 0, 0).GetDate(), t, nullptr));
    EXPECT_EQ(t.tm_year + 1900, 100);
}

TEST(DateTime, InvalidPartsGiveTheNullDate)
{
    DateTime value = Make(2024, 2, 29, 0, 0, 0);
    EXPECT_FALSE(value.IsNull());
    EXPECT_TRUE(Make(2000, 2, 29, 23, 59, 59, 999).GetDate() > 0);
    struct {
        int year, month, day, hour, minute, second, ms;
    } invalid[] = {
        {2023, 2, 29, 0, 0, 0, 0}, {1900, 2, 29, 0, 0, 0, 0}, {2000, 2, 30, 0, 0, 0, 0}, {2000, 1, 1, 0, 0, 60, 0},
        {2000, 1, 1, 24, 0, 0, 0}, {2000, 1, 1, 0, 0, 0, 1000}, {10000, 1, 1, 0, 0, 0, 0}, {2000, 13, 1, 0, 0, 0, 0},
        {2000, 0, 1, 0, 0, 0, 0},  {2000, 4, 31, 0, 0, 0, 0},  {2000, 1, 0, 0, 0, 0, 0},   {2000, 1, 1, -1, 0, 0, 0},
        {2000, 1, 1, 0, 0, 0, -1},
    };
    for (const auto& p : invalid) {
        value = Make(2024, 2, 29, 0, 0, 0, 0, true);
        EXPECT_FALSE(value.SetDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.ms)) << p.year;
        EXPECT_TRUE(value.IsNull());
        EXPECT_FALSE(value.IsUtc());
    }
    EXPECT_TRUE(DateTime::IsLeapYear(2000));
    EXPECT_TRUE(DateTime::IsLeapYear(2024));
    EXPECT_FALSE(DateTime::IsLeapYear(1900));
    EXPECT_FALSE(DateTime::IsLeapYear(2023));
}

TEST(DateTime, BrokenDownTimeValidation)
{
    tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 6;
    EXPECT_TRUE(DateTime::IsValidBrokenDownTime(t));
    EXPECT_EQ(DateTime::FromBrokenDownTime(t, 0), 46362.0);
    tm bad = t;
    bad.tm_hour = -1;
    EXPECT_FALSE(DateTime::IsValidBrokenDownTime(bad));
    EXPECT_EQ(DateTime::FromBrokenDownTime(bad, 0), 0.0);
    bad = t;
    bad.tm_mon = -1;
    EXPECT_EQ(DateTime::FromBrokenDownTime(bad, 0), 0.0);
    bad = t;
    bad.tm_year = -1900;
    EXPECT_EQ(DateTime::FromBrokenDownTime(bad, 0), 0.0);
    bad = t;
    bad.tm_sec = 60;
    EXPECT_EQ(DateTime::FromBrokenDownTime(bad, 0), 0.0);
}

TEST(DateTime, TheNullDateHasNoText)
{
    DateTime epoch;
    EXPECT_TRUE(epoch.SetDateTime(1899, 12, 30, 0, 0, 0, 0));
    EXPECT_EQ(epoch.GetDate(), 0.0);
    EXPECT_TRUE(epoch.IsNull());
    EXPECT_EQ(epoch.ToString(true), L"");
    EXPECT_EQ(epoch.FormatDate(), L"");
    EXPECT_EQ(epoch.FormatTime(), L"");
    EXPECT_EQ(epoch.Format(L"%Y"), L"");
    EXPECT_EQ(epoch.FormatIso8601(), L"");
    EXPECT_EQ(epoch.FormatRfc1123(), L"");
    EXPECT_EQ(DateTime(0.0, true).FormatRfc1123(), L"");
    tm t;
    int ms = 5;
    EXPECT_TRUE(DateTime::ToBrokenDownTime(0.0, t, &ms));
    EXPECT_EQ(t.tm_year, 0);
    EXPECT_EQ(t.tm_mday, 0);
    EXPECT_EQ(t.tm_wday, 0);
    EXPECT_EQ(ms, 0);
}

TEST(DateTime, ToBrokenDownTimeRoundsOnlyWithoutMilliseconds)
{
    tm t{};
    ASSERT_TRUE(DateTime::ToBrokenDownTime(1.5, t, nullptr));
    EXPECT_EQ(Text(t), "1899-12-31 12:00:00.000");
    EXPECT_EQ(t.tm_wday, 0);
    EXPECT_EQ(t.tm_yday, 364);
    ASSERT_TRUE(DateTime::ToBrokenDownTime(-1.25, t, nullptr));
    EXPECT_EQ(Text(t), "1899-12-29 06:00:00.000");
    EXPECT_EQ(t.tm_wday, 5);

    const double dayMs = 86400000.0;
    double beforeMidnight = 46362.0 - 0.4 / dayMs;
    ASSERT_TRUE(DateTime::ToBrokenDownTime(beforeMidnight, t, nullptr));
    EXPECT_EQ(Text(t), "2026-12-06 00:00:00.000");
    int ms = 0;
    ASSERT_TRUE(DateTime::ToBrokenDownTime(beforeMidnight, t, &ms));
    EXPECT_EQ(Text(t, ms), "2026-12-06 00:00:00.000");
    ASSERT_TRUE(DateTime::ToBrokenDownTime(46362.0 - 1.0 / dayMs, t, &ms));
    EXPECT_EQ(Text(t, ms), "2026-12-05 23:59:59.999");

    // 999.6 ms becomes 1000 and carries into the next second.
    double almost = 46362.0 + (18 * 1000 + 999.6) / dayMs;
    ASSERT_TRUE(DateTime::ToBrokenDownTime(almost, t, &ms));
    EXPECT_EQ(Text(t, ms), "2026-12-06 00:00:19.000");
    ASSERT_TRUE(DateTime::ToBrokenDownTime(46362.0 + 18250.4 / dayMs, t, &ms));
    EXPECT_EQ(Text(t, ms), "2026-12-06 00:00:18.250");
    ASSERT_TRUE(DateTime::ToBrokenDownTime(46362.0 + 18250.4 / dayMs, t, nullptr));
    EXPECT_EQ(Text(t), "2026-12-06 00:00:18.000");

    EXPECT_FALSE(DateTime::ToBrokenDownTime(3e6, t, nullptr));
    EXPECT_FALSE(DateTime::ToBrokenDownTime(-7e5, t, nullptr));
    EXPECT_FALSE(DateTime::ToBrokenDownTime(NAN, t, nullptr));
    EXPECT_EQ(t.tm_mday, 0);
}

TEST(DateTime, AgreesWithOleAutomationDates)
{
    // The system's own conversion is an independent reference for whole seconds.
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> year(1, 9999), month(1, 12), day(1, 28), hour(0, 23), minute(0, 59),
        second(0, 59);
    for (int i = 0; i < 2000; ++i) {
        Fields f{year(random), month(random), day(random), hour(random), minute(random), second(random), 0};
        if (i == 0)
            f = {1, 1, 1, 0, 0, 0, 0};
        if (i == 1)
            f = {9999, 12, 31, 23, 59, 59, 0};
        if (i == 2)
            f = {1899, 12, 29, 23, 59, 59, 0};
        SYSTEMTIME st{};
        st.wYear = static_cast<WORD>(f.year);
        st.wMonth = static_cast<WORD>(f.month);
        st.wDay = static_cast<WORD>(f.day);
        st.wHour = static_cast<WORD>(f.hour);
        st.wMinute = static_cast<WORD>(f.minute);
        st.wSecond = static_cast<WORD>(f.second);
        double reference = 0;
        if (f.year >= 100) {
            ASSERT_TRUE(::SystemTimeToVariantTime(&st, &reference));
        }
        tm t{};
        t.tm_year = f.year - 1900;
        t.tm_mon = f.month - 1;
        t.tm_mday = f.day;
        t.tm_hour = f.hour;
        t.tm_min = f.minute;
        t.tm_sec = f.second;
        double date = DateTime::FromBrokenDownTime(t, 0);
        if (f.year >= 100) {
            EXPECT_NEAR(date, reference, 1e-9) << Text(f);
        }
        tm back{};
        int ms = -1;
        ASSERT_TRUE(DateTime::ToBrokenDownTime(date, back, &ms)) << Text(f);
        EXPECT_EQ(Text(back, ms), Text(f));
        ASSERT_TRUE(DateTime::ToBrokenDownTime(date, back, nullptr));
        EXPECT_EQ(Text(back), Text(f));
        SYSTEMTIME ole{};
        if (f.year >= 100 && ::VariantTimeToSystemTime(date, &ole) && date != 0.0) {
            EXPECT_EQ(back.tm_wday, ole.wDayOfWeek) << Text(f);
        }
    }
}

TEST(DateTime, MillisecondsRoundTrip)
{
    for (int ms = 0; ms < 1000; ms += 7) {
        DateTime value = Make(2026, 12, 6, 23, 59, 59, ms);
        EXPECT_EQ(value.ToSystemTime().wMilliseconds, ms);
        EXPECT_EQ(value.ToSystemTime().wSecond, 59);
        DateTime old = Make(1850, 6, 1, 23, 59, 59, ms);
        EXPECT_EQ(old.ToSystemTime().wMilliseconds, ms);
        EXPECT_EQ(Text(FieldsOf(old.ToSystemTime())).substr(0, 19), "1850-06-01 23:59:59");
    }
}

TEST(DateTime, NowAgreesWithWin32)
{
    DateTime now = DateTime::Now();
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    DateTime win32 = Make(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
    EXPECT_FALSE(now.IsUtc());
    EXPECT_LT(std::fabs((win32 - now).GetSpan()), 5 / 86400.0);
    SYSTEMTIME system{};
    ::GetSystemTime(&system);
    DateTime utc = Make(system.wYear, system.wMonth, system.wDay, system.wHour, system.wMinute, system.wSecond);
    DateTime nowUtc = now.ToUtc();
    EXPECT_TRUE(nowUtc.IsUtc());
    EXPECT_LT(std::fabs((utc - nowUtc).GetSpan()), 5 / 86400.0);
}

TEST(DateTime, UtcAndLocalRoundTrip)
{
    for (int month : {1, 4, 7, 10}) {
        DateTime utc = Make(2026, month, 15, 12, 34, 56, 789, true);
        DateTime local = utc.ToLocal();
        EXPECT_FALSE(local.IsUtc());
        EXPECT_EQ(local.ToSystemTime().wMilliseconds, 789);
        DateTime back = local.ToUtc();
        EXPECT_TRUE(back.IsUtc());
        EXPECT_EQ(Text(FieldsOf(back.ToSystemTime())), Text(FieldsOf(utc.ToSystemTime())));
        EXPECT_NEAR((local - utc).GetSpan() * 1440, -BiasAt(utc), 1e-6);
    }
    EXPECT_TRUE(DateTime().ToUtc().IsNull());
    EXPECT_FALSE(DateTime().ToUtc().IsUtc());
    EXPECT_TRUE(DateTime(0.0, true).ToLocal().IsNull());
}

TEST(DateTime, SpansMoveDates)
{
    DateTime start = Make(2026, 12, 6, 14, 0, 0, 0, true);
    DateTime later = start + DateTimeSpan(1, 2, 3, 4, 0);
    EXPECT_TRUE(later.IsUtc());
    EXPECT_EQ(Text(FieldsOf(later.ToSystemTime())), "2026-12-07 16:03:04.000");
    EXPECT_NEAR((later - start).GetSpan(), DateTimeSpan(1, 2, 3, 4, 0).GetSpan(), 1e-9);
    EXPECT_EQ(Text(FieldsOf((later - DateTimeSpan(1, 0, 0, 0, 0)).ToSystemTime())), "2026-12-06 16:03:04.000");
    later -= DateTimeSpan().SetMinutes(3);
    later += DateTimeSpan().SetSeconds(-4);
    EXPECT_EQ(Text(FieldsOf(later.ToSystemTime())), "2026-12-07 16:00:00.000");
    EXPECT_TRUE(start < later);
}

TEST(DateTime, FormatPatternsInTheCLocale)
{
    DateTime value = Make(2026, 12, 6, 14, 6, 18, 600, true);
    EXPECT_EQ(value.Format(L"%a, %d %b %Y %H:%M:%S"), L"Sun, 06 Dec 2026 14:06:19");
    EXPECT_EQ(value.Format(L""), L"");
    EXPECT_EQ(value.FormatIso8601(), L"2026-12-06T14:06:19Z");
    EXPECT_EQ(Make(2026, 12, 6, 14, 6, 18, 0, true).FormatRfc1123(), L"Sun, 06 Dec 2026 14:06:18 GMT");
}

TEST(DateTime, LocalValuesCarryTheirOffset)
{
    for (int month : {1, 7}) {
        DateTime utc = Make(2026, month, 6, 14, 6, 18, 0, true);
        DateTime local = utc.ToLocal();
        EXPECT_EQ(local.FormatIso8601(), utc.FormatIso8601());
        EXPECT_EQ(local.FormatRfc1123(),
                  local.Format(L"%a, %d %b %Y %H:%M:%S") + L" " + FormatTimezoneBias(BiasAt(utc)));
    }
}

TEST(DateTime, TimezoneBiasText)
{
    EXPECT_EQ(FormatTimezoneBias(-60), L"+0100");
    EXPECT_EQ(FormatTimezoneBias(300), L"-0500");
    EXPECT_EQ(FormatTimezoneBias(-330), L"+0530");
    EXPECT_EQ(FormatTimezoneBias(0), L"-0000");
    EXPECT_EQ(FormatTimezoneBias(-765), L"+1245");
}

TEST(DateTime, DisplayTextFollowsTheDisplayLocale)
{
    struct Restore {
        LCID saved = Localization::GetDisplayLocale();
        ~Restore() { Localization::SetDisplayLocale(saved); }
    } restore;
    DateTime midnight = Make(2026, 12, 6, 0, 0, 0);
    DateTime afternoon = Make(2026, 12, 6, 14, 6, 18);
    for (LCID locale : {LCID(0x0407), LCID(0x0409), LCID(0x0411)}) {
        Localization::SetDisplayLocale(locale);
        SYSTEMTIME st = afternoon.ToSystemTime();
        wchar_t date[100];
        wchar_t time[100];
        ASSERT_NE(::GetDateFormatW(locale, 0, &st, nullptr, date, 100), 0);
        ASSERT_NE(::GetTimeFormatW(locale, TIME_NOSECONDS, &st, nullptr, time, 100), 0);
        EXPECT_EQ(afternoon.FormatDate(), StringW(date));
        EXPECT_EQ(afternoon.FormatTime(), StringW(time));
        EXPECT_EQ(afternoon.FormatTime().find(L"18"), std::wstring::npos);
        EXPECT_EQ(afternoon.ToString(false), StringW(date) + L" " + time);
        EXPECT_EQ(midnight.ToString(false), StringW(date));
        EXPECT_EQ(midnight.ToString(true), StringW(date) + L" " + midnight.FormatTime());
    }
    Localization::SetDisplayLocale(0x0407);
    StringW german = afternoon.FormatDate();
    Localization::SetDisplayLocale(0x0409);
    EXPECT_NE(afternoon.FormatDate(), german);
    EXPECT_NE(german.find(L"2026"), std::wstring::npos);
}

TEST(DateTime, ParseInternetDates)
{
    struct {
        const wchar_t* text;
        const char* utc;
    } rows[] = {
        {L"Tue, 01 Dec 2026 09:30:00 GMT", "2026-12-01 09:30:00.000"},
        {L"Tue, 01 Dec 26 09:30:00 +0100", "2026-12-01 08:30:00.000"},
        {L"Tue, 01 Dec 2026 09:30:00 EST", "2026-12-01 14:30:00.000"},
        {L"Tue, 01 Dec 2026 09:30:00 -0030", "2026-12-01 10:00:00.000"},
        {L"Tue, 01 Dec 2026 09:30:00 -0130", "2026-12-01 11:00:00.000"},
        {L"Tue, 01 Dec 2026 09:30:00 +1", "2026-12-01 08:30:00.000"},
        {L"Tue, 01 Dec 2026 09:30:00 -10", "2026-12-01 19:30:00.000"},
        {L"Tue,01 dec 2026 09:30:00 UT", "2026-12-01 09:30:00.000"},
        {L"Wed,   1 De 2026 9:30:0   Z", "2026-12-01 09:30:00.000"},
        {L"x, 15 Ju 2026 09:30:00 PDT", "2026-06-15 16:30:00.000"},
        {L"Mon, 15 Jun 2026 23:30:00 A", "2026-06-16 00:30:00.000"},
        {L"Mon, 15 Jun 2026 23:30:00 N", "2026-06-15 22:30:00.000"},
        {L"Mon, 15 Jun 2026 11:30:00 Y", "2026-06-14 23:30:00.000"},
        {L"Mon, 15 Jun 2026 11:30:00 M", "2026-06-15 23:30:00.000"},
        {L"Mon, 15 Jun 2026 11:30:00 CST", "2026-06-15 17:30:00.000"},
        {L"Mon, 15 Jun 2026 11:30:00 MDT", "2026-06-15 17:30:00.000"},
        {L"Mon, 15 Jun 2026 11:30:00 GMT+1", "2026-06-15 10:30:00.000"},
    };
    for (const auto& row : rows) {
        DateTime value = Make(2001, 1, 1, 0, 0, 0, 0, true);
        ASSERT_TRUE(value.ParseRfc822(row.text)) << StringW(row.text).ToAnsi();
        EXPECT_FALSE(value.IsUtc());
        EXPECT_EQ(UtcText(value), row.utc) << StringW(row.text).ToAnsi();
    }
}

TEST(DateTime, MalformedInternetDatesFail)
{
    const wchar_t* texts[] = {
        L"",
        L"01 Dec 2026 09:30:00 GMT",
        L"Tue, 01 Dec 2026 09:30 GMT",
        L"Tue, 01 Dec 2026 09:30:00",
        L"Tue, 01 Xyz 2026 09:30:00 GMT",
        L"Tue, 31 Nov 2026 09:30:00 GMT",
        L"Tue, 01 Dec 2026 24:30:00 GMT",
        L"Tue, 01 Dec 12026 09:30:00 GMT",
    };
    for (const wchar_t* text : texts) {
        DateTime value = Make(2001, 1, 1, 0, 0, 0, 0, true);
        EXPECT_FALSE(value.ParseRfc822(text)) << StringW(text).ToAnsi();
        EXPECT_TRUE(value.IsNull());
        EXPECT_FALSE(value.IsUtc());
    }
}

TEST(DateTime, UnknownZonesWarn)
{
    QzlTest::CLogCapture log;
    DateTime value;
    EXPECT_FALSE(value.ParseRfc822(L"Tue, 01 Dec 2026 09:30:00 gmt"));
    EXPECT_FALSE(value.ParseRfc822(L"Tue, 01 Dec 2026 09:30:00 +100"));
    EXPECT_FALSE(value.ParseRfc822(L"Tue, 01 Dec 2026 09:30:00 0100"));
    EXPECT_FALSE(value.ParseRfc822(L"Tue, 01 Dec 2026 09:30:00 +"));
    EXPECT_FALSE(value.ParseTimezone(L"GMT+010000"));
    EXPECT_FALSE(value.ParseTimezone(L"B"));
    std::string text = log.Text();
    EXPECT_NE(text.find("WARNING: Unrecognized timezone: gmt\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WARNING: Timezone not understood: +100\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WARNING: Timezone not understood: 0100\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WARNING: Timezone not understood: +\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WARNING: Timezone not understood: GMT+010000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WARNING: Unrecognized timezone: B\r\n"), std::string::npos) << text;

    DateTime unchanged = Make(2026, 12, 1, 9, 30, 0);
    DateTime copy = unchanged;
    EXPECT_FALSE(copy.ParseTimezone(L""));
    EXPECT_EQ(copy, unchanged);
}

TEST(DateTime, ZoneNames)
{
    struct {
        const wchar_t* name;
        int hours;
    } names[] = {{L"GMT", 0},  {L"UT", 0},   {L"EDT", -4}, {L"EST", -5}, {L"CDT", -5},
                 {L"CST", -6}, {L"MDT", -6}, {L"MST", -7}, {L"PDT", -7}, {L"PST", -8},
                 {L"A", -1},   {L"M", -12},  {L"N", 1},    {L"Y", 12},   {L"Z", 0}};
    for (const auto& n : names) {
        int hours = 99;
        EXPECT_TRUE(DateTime::ParseTimezoneName(n.name, hours));
        EXPECT_EQ(hours, n.hours);
    }
    int hours = 99;
    for (const wchar_t* other : {L"B", L"z", L"Gmt", L"UTC", L"", L"ESTX"})
        EXPECT_FALSE(DateTime::ParseTimezoneName(other, hours));
    EXPECT_EQ(hours, 99);
}

TEST(DateTime, InternetDateRoundTrip)
{
    DateTime utc = Make(2026, 7, 4, 18, 5, 9, 0, true);
    DateTime parsed;
    ASSERT_TRUE(parsed.ParseRfc822(utc.FormatRfc1123()));
    EXPECT_EQ(UtcText(parsed), "2026-07-04 18:05:09.000");
    DateTime local = utc.ToLocal();
    ASSERT_TRUE(parsed.ParseRfc822(local.FormatRfc1123()));
    EXPECT_EQ(UtcText(parsed), "2026-07-04 18:05:09.000");
    EXPECT_NEAR(parsed.GetDate(), local.GetDate(), 1e-9);
}

TEST(DateTime, FormattingFailureRaisesWinError)
{
    struct Restore {
        LCID saved = Localization::GetDisplayLocale();
        ~Restore() { Localization::SetDisplayLocale(saved); }
    } restore;
    Localization::SetDisplayLocale(0x12345);
    DateTime value = Make(2026, 12, 6, 14, 6, 18);
    QzlTest::CLogCapture log;
    for (bool date : {true, false}) {
        try {
            if (date)
                value.FormatDate();
            else
                value.FormatTime();
            ADD_FAILURE() << "no exception";
        } catch (const CWinError& e) {
            EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            EXPECT_EQ(e.GetDescription(), GetErrorText(ERROR_INVALID_PARAMETER));
        }
    }
    EXPECT_THROW(value.ToString(true), CWinError);
    std::string text = log.Text();
    std::string description = GetErrorText(ERROR_INVALID_PARAMETER).ToUtf8();
    EXPECT_NE(text.find("Throwing exception at DateTime.cpp, Quenzal::DateTime::FormatDate, line "), std::string::npos)
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("Throwing exception at DateTime\\.cpp, "
                                                   "Quenzal::DateTime::FormatTime, line \\d+: ")))
        << text;
    EXPECT_NE(text.find(description), std::string::npos) << text;
}

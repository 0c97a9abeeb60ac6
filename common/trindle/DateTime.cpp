#include "DateTime.h"

#include "DisplayLocale.h"
#include "ErrorReport.h"
#include "Logging.h"

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace Quenzal {

namespace {

const int kDaysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
const wchar_t* const kMonthNames[12] = {L"January", L"February", L"March",     L"April",   L"May",      L"June",
                                        L"July",    L"August",   L"September", L"October", L"November", L"December"};

constexpr double kHalfSecond = 1.0 / 172800.0;
// The day number of 1899-12-30 in the calendar count below (365 per year
// since year 0 plus the leap days).
constexpr long kDaysFromYearZero = 693959;
// The dates of 0001-01-01 00:00 and 9999-12-31 24:00.
constexpr double kFirstDate = -693593.0;
constexpr double kEndDate = 2958466.0;

int DaysInMonth(int year, int month)
{
    int days = kDaysBeforeMonth[month] - kDaysBeforeMonth[month - 1];
    if (month == 2 && DateTime::IsLeapYear(year))
        ++days;
    return days;
}

} // namespace

bool DateTime::IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool DateTime::IsValidDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12)
        return false;
    if (day < 1 || day > DaysInMonth(year, month))
        return false;
    return static_cast<unsigned>(hour) < 24 && static_cast<unsigned>(minute) < 60 &&
           static_cast<unsigned>(second) < 60 && static_cast<unsigned>(millisecond) <= 999;
}

bool DateTime::IsValidBrokenDownTime(const tm& time)
{
    int64_t year = static_cast<int64_t>(time.tm_year) + 1900;
    int64_t month = static_cast<int64_t>(time.tm_mon) + 1;
    if (year < 1 || year > 9999 || month < 1 || month > 12)
        return false;
    if (time.tm_mday < 1 || time.tm_mday > DaysInMonth(static_cast<int>(year), static_cast<int>(month)))
        return false;
    return static_cast<unsigned>(time.tm_hour) < 24 && static_cast<unsigned>(time.tm_min) < 60 &&
           static_cast<unsigned>(time.tm_sec) < 60;
}

double DateTime::FromBrokenDownTime(const tm& time, int milliseconds)
{
    if (!IsValidBrokenDownTime(time))
        return 0.0;
    long year = time.tm_year + 1900;
    int month = time.tm_mon + 1;
    long days = 365 * year + year / 4 - year / 100 + year / 400 + kDaysBeforeMonth[month - 1] + time.tm_mday;
    if (month <= 2 && IsLeapYear(static_cast<int>(year)))
        --days;
    days -= kDaysFromYearZero;
    double fraction = (3600 * time.tm_hour + 60 * time.tm_min + time.tm_sec + 0.001 * milliseconds) / 86400.0;
    // Before 1899-12-30 the time of day still counts away from zero.
    return days >= 0 ? days + fraction : days - fraction;
}

bool DateTime::ToBrokenDownTime(double date, tm& time, int* milliseconds)
{
    time = tm{};
    if (milliseconds != nullptr)
        *milliseconds = 0;
    if (date == 0.0)
        return true;
    if (!(date > kFirstDate - 1.0 && date < kEndDate))
        return false;
    if (milliseconds == nullptr)
        date += date > 0 ? kHalfSecond : -kHalfSecond;

    double whole = std::trunc(date);
    long day = static_cast<long>(whole);
    double fraction = std::fabs(date - whole);
    long seconds = static_cast<long>(fraction * 86400.0);
    if (milliseconds != nullptr) {
        int ms = static_cast<int>(fraction * 86400000.0 - 1000.0 * seconds + 0.5);
        if (ms >= 1000) {
            ++seconds;
            ms -= 1000;
            if (seconds >= 86400) {
                ++day;
                seconds = 0;
            }
        }
        *milliseconds = ms;
    }

    // Whole days since 0001-01-01, split into 400-, 100-, 4- and 1-year cycles.
    long n = day + kDaysFromYearZero - 366;
    if (n < 0) {
        // Rounding moved the first day of year 1 to the day before it.
        time = tm{};
        if (milliseconds != nullptr)
            *milliseconds = 0;
        return false;
    }
    long cycles400 = n / 146097;
    n %= 146097;
    long cycles100 = n / 36524;
    if (cycles100 == 4)
        cycles100 = 3;
    n -= cycles100 * 36524;
    long cycles4 = n / 1461;
    n %= 1461;
    long years = n / 365;
    if (years == 4)
        years = 3;
    n -= years * 365;
    int year = static_cast<int>(400 * cycles400 + 100 * cycles100 + 4 * cycles4 + years + 1);
    int dayOfYear = static_cast<int>(n);

    int month = 1;
    while (month < 12) {
        int nextStart = kDaysBeforeMonth[month] + (month >= 2 && IsLeapYear(year) ? 1 : 0);
        if (dayOfYear < nextStart)
            break;
        ++month;
    }
    int monthStart = kDaysBeforeMonth[month - 1] + (month > 2 && IsLeapYear(year) ? 1 : 0);

    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = dayOfYear - monthStart + 1;
    time.tm_yday = dayOfYear;
    // 1899-12-30 was a Saturday.
    time.tm_wday = static_cast<int>(((day % 7) + 7 + 6) % 7);
    time.tm_hour = static_cast<int>(seconds / 3600);
    time.tm_min = static_cast<int>(seconds % 3600 / 60);
    time.tm_sec = static_cast<int>(seconds % 60);
    return true;
}

void DateTime::Clear()
{
    m_date = 0.0;
    m_isUtc = false;
}

bool DateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    Clear();
    if (year < 100)
        year += year <= 50 ? 2000 : 1900;
    if (!IsValidDateTime(year, month, day, hour, minute, second, millisecond))
        return false;
    tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    m_date = FromBrokenDownTime(time, millisecond);
    return true;
}

DateTime DateTime::Now()
{
    __time64_t now = _time64(nullptr);
    tm local{};
    if (_localtime64_s(&local, &now) != 0)
        return DateTime();
    return DateTime(FromBrokenDownTime(local, 0), false);
}

SYSTEMTIME DateTime::ToSystemTime() const
{
    SYSTEMTIME result{};
    tm time{};
    int milliseconds = 0;
    if (IsNull() || !ToBrokenDownTime(m_date, time, &milliseconds))
        return result;
    result.wYear = static_cast<WORD>(time.tm_year + 1900);
    result.wMonth = static_cast<WORD>(time.tm_mon + 1);
    result.wDayOfWeek = static_cast<WORD>(time.tm_wday);
    result.wDay = static_cast<WORD>(time.tm_mday);
    result.wHour = static_cast<WORD>(time.tm_hour);
    result.wMinute = static_cast<WORD>(time.tm_min);
    result.wSecond = static_cast<WORD>(time.tm_sec);
    result.wMilliseconds = static_cast<WORD>(milliseconds);
    return result;
}

namespace {

DateTime FromSystemTime(const SYSTEMTIME& time, bool isUtc)
{
    DateTime result;
    if (!result.SetDateTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                            time.wMilliseconds))
        return DateTime();
    result.SetUtc(isUtc);
    return result;
}

// TzSpecificLocalTimeToSystemTime or SystemTimeToTzSpecificLocalTime.
using ZoneConversion = BOOL(WINAPI*)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);

// The time moved to the other zone by the current time zone's rules; the null
// date when the system cannot convert it.
DateTime InOtherZone(const SYSTEMTIME& time, ZoneConversion convert, bool isUtc)
{
    SYSTEMTIME converted{};
    if (!convert(nullptr, &time, &converted))
        return DateTime();
    return FromSystemTime(converted, isUtc);
}

} // namespace

DateTime DateTime::ToUtc() const
{
    return InOtherZone(ToSystemTime(), ::TzSpecificLocalTimeToSystemTime, true);
}

DateTime DateTime::ToLocal() const
{
    return InOtherZone(ToSystemTime(), ::SystemTimeToTzSpecificLocalTime, false);
}

DateTime& DateTime::operator+=(const DateTimeSpan& span)
{
    m_date += span.GetSpan();
    return *this;
}

DateTime& DateTime::operator-=(const DateTimeSpan& span)
{
    m_date -= span.GetSpan();
    return *this;
}

StringW DateTime::ToString(bool includeTime) const
{
    if (IsNull())
        return StringW();
    StringW text = FormatDate();
    if (!includeTime && m_date == std::trunc(m_date))
        return text;
    text += L" ";
    text += FormatTime();
    return text;
}

StringW DateTime::FormatDate() const
{
    if (IsNull())
        return StringW();
    SYSTEMTIME time = ToSystemTime();
    wchar_t buffer[1024];
    if (::GetDateFormatW(Localization::GetDisplayLocale(), 0, &time, nullptr, buffer, 1024) == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), nullptr));
    return StringW(buffer);
}

StringW DateTime::FormatTime() const
{
    if (IsNull())
        return StringW();
    SYSTEMTIME time = ToSystemTime();
    wchar_t buffer[1024];
    if (::GetTimeFormatW(Localization::GetDisplayLocale(), TIME_NOSECONDS, &time, nullptr, buffer, 1024) == 0)
        QZL_THROW(QZL_FUNCTION, CWinError(::GetLastError(), nullptr));
    return StringW(buffer);
}

StringW DateTime::Format(const wchar_t* pattern) const
{
    tm time{};
    if (IsNull() || !ToBrokenDownTime(m_date, time, nullptr))
        return StringW();
    wchar_t buffer[1024];
    size_t length = wcsftime(buffer, 1024, pattern, &time);
    return StringW(buffer, length);
}

StringW DateTime::FormatIso8601() const
{
    if (IsNull())
        return StringW();
    DateTime utc = m_isUtc ? *this : ToUtc();
    return utc.Format(L"%Y-%m-%dT%H:%M:%SZ");
}

StringW DateTime::FormatRfc1123() const
{
    if (IsNull())
        return StringW();
    StringW zone;
    if (m_isUtc) {
        zone = L"GMT";
    } else {
        DateTime utc = ToUtc();
        if (utc.IsNull()) {
            // "-0000" says that the offset to UTC is unknown.
            zone = L"-0000";
        } else {
            double offset = utc.m_date - m_date;
            offset += offset >= 0 ? kHalfSecond : -kHalfSecond;
            int hours = static_cast<int>(std::llabs(TruncateToInt64(offset * 24)));
            int minutes = static_cast<int>(std::llabs(TruncateToInt64(offset * 24 * 60) % 60));
            zone = StringW::Format(L"%c%.2d%.2d", offset < 0 ? L'+' : L'-', hours, minutes);
        }
    }
    return StringW::Format(L"%s %s", Format(L"%a, %d %b %Y %H:%M:%S").c_str(), zone.c_str());
}

bool DateTime::ParseRfc822(const std::wstring& text)
{
    Clear();
    if (text.empty())
        return false;
    size_t comma = text.find(L',');
    if (comma == std::wstring::npos)
        return false;
    const wchar_t* rest = text.c_str() + comma + 1;
    while (*rest != L'\0' && std::iswspace(*rest))
        ++rest;

    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    wchar_t monthText[4] = {};
    wchar_t zone[6] = {};
    int read = swscanf_s(rest, L"%d %3s %d %d:%d:%d %5s", &day, monthText, static_cast<unsigned>(_countof(monthText)),
                         &year, &hour, &minute, &second, zone, static_cast<unsigned>(_countof(zone)));
    if (read != 7)
        return false;

    int month = -1;
    size_t monthLength = wcslen(monthText);
    for (int i = 0; i < 12; ++i) {
        if (_wcsnicmp(kMonthNames[i], monthText, monthLength) == 0) {
            month = i + 1;
            break;
        }
    }
    if (!SetDateTime(year, month, day, hour, minute, second, 0))
        return false;
    return ParseTimezone(zone);
}

bool DateTime::ParseTimezone(const std::wstring& zone)
{
    if (zone.empty())
        return false;
    int hours = 0;
    int minutes = 0;
    size_t pos = 0;
    if (std::iswalpha(zone[0])) {
        while (pos < zone.size() && std::iswalpha(zone[pos]))
            ++pos;
        if (!ParseTimezoneName(zone.substr(0, pos), hours)) {
            Logging::Log(Logging::Warning, (L"Unrecognized timezone: " + zone).c_str());
            return false;
        }
    }
    while (pos < zone.size() && std::iswspace(zone[pos]))
        ++pos;
    const wchar_t* offset = zone.c_str() + pos;
    size_t offsetLength = zone.size() - pos;
    bool behind = false;
    if (offsetLength != 0) {
        int offsetHours = 0;
        int offsetMinutes = 0;
        bool understood = false;
        if (offset[0] == L'+' || offset[0] == L'-') {
            if (offsetLength < 4)
                understood = swscanf_s(offset, L"%d", &offsetHours) == 1;
            else if (offsetLength == 5)
                understood = swscanf_s(offset, L"%3d%2d", &offsetHours, &offsetMinutes) == 2;
        }
        if (!understood) {
            Logging::Log(Logging::Warning, (L"Timezone not understood: " + zone).c_str());
            return false;
        }
        hours += offsetHours;
        minutes = offsetMinutes;
        behind = offset[0] == L'-';
    }
    // "-0030" has no hours to carry the sign.
    if (hours < 0 || behind)
        minutes = -minutes;
    *this += DateTimeSpan().SetMinutes(-(60 * hours + minutes));
    m_isUtc = true;
    if (!IsNull())
        *this = ToLocal();
    return true;
}

bool DateTime::ParseTimezoneName(const std::wstring& name, int& hours)
{
    static const struct {
        const wchar_t* name;
        int hours;
    } kZones[] = {
        {L"GMT", 0},  {L"UT", 0},   {L"EDT", -4}, {L"EST", -5}, {L"CDT", -5}, {L"CST", -6}, {L"MDT", -6},
        {L"MST", -7}, {L"PDT", -7}, {L"PST", -8}, {L"A", -1},   {L"M", -12},  {L"N", 1},    {L"Y", 12},
        {L"Z", 0},
    };
    for (const auto& zone : kZones) {
        if (name == zone.name) {
            hours = zone.hours;
            return true;
        }
    }
    return false;
}

StringW FormatTimezoneBias(long bias)
{
    return StringW::Format(L"%c%.2d%.2d", bias < 0 ? L'+' : L'-', static_cast<int>(std::labs(bias / 60)),
                           static_cast<int>(std::labs(bias % 60)));
}

} // namespace Quenzal

#pragma once
// A point in time as an OLE Automation date (days since 1899-12-30 00:00,
// the fraction being the time of day) with a flag telling UTC from local
// time; 0.0 is the null date, meaning no date. Also the broken-down time
// conversions and the text forms: display text, wcsftime patterns, ISO 8601
// and the Internet date of mail and HTTP headers.

#include "DateTimeSpan.h"
#include "StringW.h"

#include <windows.h>

#include <compare>
#include <ctime>
#include <string>

namespace Quenzal {

class DateTime {
public:
    DateTime() = default;
    explicit DateTime(double date, bool isUtc = false) : m_date(date), m_isUtc(isUtc) {}

    double GetDate() const { return m_date; }
    void SetDate(double date) { m_date = date; }
    bool IsUtc() const { return m_isUtc; }
    void SetUtc(bool isUtc) { m_isUtc = isUtc; }
    bool IsNull() const { return m_date == 0.0; }
    void Clear();

    // Years below 100 are two-digit years (0-50: 20xx, 51-99: 19xx). Invalid
    // parts leave the null date and give false.
    bool SetDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);
    static DateTime Now();

    // Display text in the display locale; the time is left out at midnight
    // unless includeTime.
    StringW ToString(bool includeTime) const;
    StringW FormatDate() const;
    StringW FormatTime() const;
    // The time, rounded to the second, through wcsftime in the "C" locale.
    StringW Format(const wchar_t* pattern) const;
    // "2026-12-06T14:06:18Z"
    StringW FormatIso8601() const;
    // "Sun, 06 Dec 2026 14:06:18 GMT" for UTC, "... +0100" for local time.
    StringW FormatRfc1123() const;

    // Reads the date of an Internet message header ("Tue, 01 Dec 2026
    // 09:30:00 +0100"); the value ends as local time.
    bool ParseRfc822(const std::wstring& text);
    // Treats the value as written in the zone ("GMT", "EST", "+0130", ...)
    // and moves it to local time.
    bool ParseTimezone(const std::wstring& zone);

    DateTime ToUtc() const;
    DateTime ToLocal() const;
    SYSTEMTIME ToSystemTime() const;

    DateTimeSpan operator-(const DateTime& other) const { return DateTimeSpan::FromDays(m_date - other.m_date); }
    DateTime operator+(const DateTimeSpan& span) const { return DateTime(m_date + span.GetSpan(), m_isUtc); }
    DateTime operator-(const DateTimeSpan& span) const { return DateTime(m_date - span.GetSpan(), m_isUtc); }
    DateTime& operator+=(const DateTimeSpan& span);
    DateTime& operator-=(const DateTimeSpan& span);
    bool operator==(const DateTime& other) const = default;
    auto operator<=>(const DateTime& other) const = default;

    // A broken-down time with milliseconds to a date; 0.0 when invalid.
    static double FromBrokenDownTime(const tm& time, int milliseconds);
    // A date to broken-down time. Without a place for the milliseconds the
    // date is rounded to the second. The null date, and a date outside years
    // 1 to 9999 (then the result is false), give a record of zeros.
    static bool ToBrokenDownTime(double date, tm& time, int* milliseconds);
    static bool IsValidDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);
    static bool IsValidBrokenDownTime(const tm& time);
    static bool IsLeapYear(int year);
    // Whole hours of a zone name of RFC 822 ("GMT", "EST", "Z", ...).
    static bool ParseTimezoneName(const std::wstring& name, int& hours);

private:
    double m_date = 0.0;
    bool m_isUtc = false;
};

// A Windows bias in minutes (UTC = local + bias) as "+0100", "-0500", "-0000".
StringW FormatTimezoneBias(long bias);

} // namespace Quenzal

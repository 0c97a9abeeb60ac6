#pragma once
// A signed length of time counted in days (a double), the difference of two
// DateTime values; also the time-out of every wait, where zero means none.

#include "StringW.h"

#include <compare>
#include <cstdint>

namespace Quenzal {

class DateTimeSpan {
public:
    DateTimeSpan() = default;
    DateTimeSpan(int days, int hours, int minutes, int seconds, int milliseconds);
    static DateTimeSpan FromDays(double days);

    double GetSpan() const { return m_span; }
    bool IsZero() const { return m_span == 0.0; }

    // Each replaces one part of the span and keeps the others.
    DateTimeSpan& SetDays(int days);
    DateTimeSpan& SetMinutes(int minutes);
    DateTimeSpan& SetSeconds(int seconds);

    // "1y 35d 0h 0m 0s", "1m 30s", "10ms"; "0ms" for less than a millisecond.
    StringW ToString() const;
    // Raises CException for a negative span.
    void VerifyValidWaitTimeout() const;
    // Milliseconds for the Win32 waits; INFINITE for the zero span.
    DWORD ToWaitTimeout() const;

    DateTimeSpan operator-() const { return FromDays(-m_span); }
    DateTimeSpan operator+(const DateTimeSpan& other) const { return FromDays(m_span + other.m_span); }
    DateTimeSpan operator-(const DateTimeSpan& other) const { return FromDays(m_span - other.m_span); }
    DateTimeSpan& operator+=(const DateTimeSpan& other);
    DateTimeSpan& operator-=(const DateTimeSpan& other);
    bool operator==(const DateTimeSpan& other) const = default;
    auto operator<=>(const DateTimeSpan& other) const = default;

private:
    double m_span = 0.0;
};

// Truncation toward zero that stays defined for values beyond the 64-bit
// range (NaN gives 0); the date and span arithmetic count whole units with it.
int64_t TruncateToInt64(double value);

} // namespace Quenzal

#include "DateTimeSpan.h"

#include "ErrorReport.h"

#include <cmath>
#include <cstdint>

namespace Quenzal {

namespace {

constexpr double kHoursPerDay = 24.0;
constexpr double kMinutesPerDay = 1440.0;
constexpr double kSecondsPerDay = 86400.0;
constexpr double kMillisecondsPerDay = 86400000.0;

struct SpanParts {
    int64_t days;
    int64_t hours;
    int64_t minutes;
    int64_t seconds;
    int64_t milliseconds;
};

// The span in whole units, each part carrying the sign of the span. It is
// read at the nearest millisecond so that putting the parts together again
// gives back the span.
SpanParts PartsOf(double span)
{
    int64_t total = TruncateToInt64(span * kMillisecondsPerDay + (span < 0 ? -0.5 : 0.5));
    SpanParts parts;
    parts.milliseconds = total % 1000;
    total /= 1000;
    parts.seconds = total % 60;
    total /= 60;
    parts.minutes = total % 60;
    total /= 60;
    parts.hours = total % 24;
    parts.days = total / 24;
    return parts;
}

double SpanOf(const SpanParts& parts)
{
    return static_cast<double>(parts.days) + static_cast<double>(parts.hours) / kHoursPerDay +
           static_cast<double>(parts.minutes) / kMinutesPerDay + static_cast<double>(parts.seconds) / kSecondsPerDay +
           static_cast<double>(parts.milliseconds) / kMillisecondsPerDay;
}

} // namespace

int64_t TruncateToInt64(double value)
{
    constexpr double kLimit = 9.2e18;
    if (std::isnan(value))
        return 0;
    if (value >= kLimit)
        return static_cast<int64_t>(kLimit);
    if (value <= -kLimit)
        return -static_cast<int64_t>(kLimit);
    return static_cast<int64_t>(value);
}

DateTimeSpan::DateTimeSpan(int days, int hours, int minutes, int seconds, int milliseconds)
    : m_span(days + hours / kHoursPerDay + minutes / kMinutesPerDay + seconds / kSecondsPerDay +
             milliseconds / kMillisecondsPerDay)
{
}

DateTimeSpan DateTimeSpan::FromDays(double days)
{
    DateTimeSpan span;
    span.m_span = days;
    return span;
}

DateTimeSpan& DateTimeSpan::SetDays(int days)
{
    SpanParts parts = PartsOf(m_span);
    parts.days = days;
    m_span = SpanOf(parts);
    return *this;
}

DateTimeSpan& DateTimeSpan::SetMinutes(int minutes)
{
    SpanParts parts = PartsOf(m_span);
    parts.minutes = minutes;
    m_span = SpanOf(parts);
    return *this;
}

DateTimeSpan& DateTimeSpan::SetSeconds(int seconds)
{
    SpanParts parts = PartsOf(m_span);
    parts.seconds = seconds;
    m_span = SpanOf(parts);
    return *this;
}

DateTimeSpan& DateTimeSpan::operator+=(const DateTimeSpan& other)
{
    m_span += other.m_span;
    return *this;
}

DateTimeSpan& DateTimeSpan::operator-=(const DateTimeSpan& other)
{
    m_span -= other.m_span;
    return *this;
}

StringW DateTimeSpan::ToString() const
{
    if (m_span == 0.0)
        return L"0ms";
    StringW text;
    // Every part is truncated, never rounded. A negative span shows its parts
    // negative, days and years included.
    int64_t days = TruncateToInt64(m_span);
    if (days >= 1 || days <= -1) {
        if (days >= 365 || days <= -365) {
            text.AppendFormat(L"%I64dy ", days / 365);
            days %= 365;
        }
        text.AppendFormat(L"%I64dd ", days);
    }
    // The products are taken step by step, as the wait time-out takes them.
    int64_t hours = TruncateToInt64(m_span * 24.0) % 24;
    if (hours != 0 || !text.empty())
        text.AppendFormat(L"%I64dh ", hours);
    int64_t minutes = TruncateToInt64(m_span * 24.0 * 60.0) % 60;
    if (minutes != 0 || !text.empty())
        text.AppendFormat(L"%I64dm ", minutes);
    int64_t seconds = TruncateToInt64(m_span * 24.0 * 60.0 * 60.0) % 60;
    if (seconds != 0 || !text.empty())
        text.AppendFormat(L"%I64ds ", seconds);
    int64_t milliseconds = TruncateToInt64(m_span * 24.0 * 60.0 * 60.0 * 1000.0) % 1000;
    if (milliseconds != 0)
        text.AppendFormat(L"%I64dms ", milliseconds);
    if (text.empty())
        return L"0ms";
    text.TrimRight();
    return text;
}

void DateTimeSpan::VerifyValidWaitTimeout() const
{
    if (m_span < 0.0)
        QZL_THROW(QZL_FUNCTION,
                  CException(L"DateTimeSpan cannot be converted to wait timeout: " + ToString()));
}

DWORD DateTimeSpan::ToWaitTimeout() const
{
    if (m_span == 0.0)
        return INFINITE;
    VerifyValidWaitTimeout();
    // A span beyond the signed 32-bit range waits as long as a wait can be told to.
    int64_t milliseconds = TruncateToInt64(m_span * 24.0 * 60.0 * 60.0 * 1000.0);
    if (milliseconds > INT32_MAX)
        milliseconds = INT32_MAX;
    return static_cast<DWORD>(milliseconds);
}

} // namespace Quenzal

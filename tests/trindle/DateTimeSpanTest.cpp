#include "DateTimeSpan.h"
#include "ErrorReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;

namespace {

DateTimeSpan Days(double days)
{
    return DateTimeSpan::FromDays(days);
}

} // namespace

TEST(DateTimeSpan, PartsAddUpToDays)
{
    EXPECT_EQ(DateTimeSpan(1, 0, 0, 0, 0).GetSpan(), 1.0);
    EXPECT_EQ(DateTimeSpan(0, 12, 0, 0, 0).GetSpan(), 0.5);
    EXPECT_DOUBLE_EQ(DateTimeSpan(0, 1, 30, 15, 250).GetSpan(), (3600 + 1800 + 15.25) / 86400.0);
    EXPECT_DOUBLE_EQ(DateTimeSpan(0, 0, -1, 0, 0).GetSpan(), -1 / 1440.0);
    EXPECT_TRUE(DateTimeSpan().IsZero());
    EXPECT_EQ((Days(2) - Days(0.5)).GetSpan(), 1.5);
    EXPECT_EQ((-Days(2)).GetSpan(), -2.0);
}

TEST(DateTimeSpan, SettersOnAZeroSpanGiveExactUnits)
{
    EXPECT_EQ(DateTimeSpan().SetDays(30).GetSpan(), 30.0);
    EXPECT_EQ(DateTimeSpan().SetMinutes(15).GetSpan(), 15 / 1440.0);
    EXPECT_EQ(DateTimeSpan().SetMinutes(-90).GetSpan(), -90 / 1440.0);
    EXPECT_EQ(DateTimeSpan().SetSeconds(30).GetSpan(), 30 / 86400.0);
    EXPECT_EQ(DateTimeSpan().SetSeconds(60).GetSpan(), 60 / 86400.0);
}

TEST(DateTimeSpan, SettersReplaceOnePartAndKeepTheOthers)
{
    DateTimeSpan span(2, 3, 4, 5, 600);
    span.SetMinutes(10);
    EXPECT_EQ(span.ToString(), L"2d 3h 10m 5s 600ms");
    span.SetDays(0);
    EXPECT_EQ(span.ToString(), L"3h 10m 5s 600ms");
    span.SetSeconds(59);
    EXPECT_EQ(span.ToString(), L"3h 10m 59s 600ms");
    DateTimeSpan negative(0, -1, -30, 0, 0);
    negative.SetSeconds(-10);
    EXPECT_EQ(negative.ToString(), L"-1h -30m -10s");
}

TEST(DateTimeSpan, ToStringTable)
{
    EXPECT_EQ(Days(0).ToString(), L"0ms");
    EXPECT_EQ(Days(0.5 / 86400000.0).ToString(), L"0ms");
    EXPECT_EQ(Days(90 / 86400.0).ToString(), L"1m 30s");
    EXPECT_EQ(DateTimeSpan().SetMinutes(15).ToString(), L"15m 0s");
    EXPECT_EQ(DateTimeSpan(0, 0, 0, 0, 10).ToString(), L"10ms");
    EXPECT_EQ(Days(1).ToString(), L"1d 0h 0m 0s");
    EXPECT_EQ(Days(365).ToString(), L"1y 0d 0h 0m 0s");
    EXPECT_EQ(Days(400).ToString(), L"1y 35d 0h 0m 0s");
    EXPECT_EQ(Days(-1 / 24.0).ToString(), L"-1h 0m 0s");
    // Truncated, not rounded: the double just below 1.5 s shows 499 ms.
    EXPECT_EQ(Days(1.5 / 86400.0).ToString(), L"1s 499ms");
}

TEST(DateTimeSpan, NegativeSpansOfADayOrMoreShowTheirDays)
{
    EXPECT_EQ(Days(-1.5).ToString(), L"-1d -12h 0m 0s");
    EXPECT_EQ(Days(-400).ToString(), L"-1y -35d 0h 0m 0s");
    EXPECT_EQ(Days(-1).ToString(), L"-1d 0h 0m 0s");
}

TEST(DateTimeSpan, WaitTimeouts)
{
    EXPECT_EQ(DateTimeSpan().ToWaitTimeout(), INFINITE);
    EXPECT_EQ(DateTimeSpan().SetSeconds(30).ToWaitTimeout(), 30000u);
    EXPECT_EQ(DateTimeSpan().SetSeconds(60).ToWaitTimeout(), 60000u);
    EXPECT_EQ(DateTimeSpan().SetMinutes(1).ToWaitTimeout(), 60000u);
    EXPECT_EQ(DateTimeSpan().SetMinutes(5).ToWaitTimeout(), 300000u);
    EXPECT_EQ(DateTimeSpan().SetMinutes(15).ToWaitTimeout(), 900000u);
    EXPECT_EQ(DateTimeSpan(0, 0, 0, 0, 10).ToWaitTimeout(), 10u);
    // Beyond the signed 32-bit range the longest finite wait is used.
    EXPECT_EQ(Days(30).ToWaitTimeout(), 0x7FFFFFFFu);
    EXPECT_NO_THROW(Days(1).VerifyValidWaitTimeout());
}

TEST(DateTimeSpan, NegativeWaitTimeoutRaisesAndIsReported)
{
    QzlTest::CLogCapture log;
    DateTimeSpan negative = -DateTimeSpan().SetSeconds(30);
    try {
        negative.ToWaitTimeout();
        FAIL() << "no exception";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), L"DateTimeSpan cannot be converted to wait timeout: -30s");
    }
    std::regex line("EXCEPTION: Throwing exception at DateTimeSpan\\.cpp, "
                    "Quenzal::DateTimeSpan::VerifyValidWaitTimeout, line \\d+: "
                    "DateTimeSpan cannot be converted to wait timeout: -30s");
    EXPECT_TRUE(std::regex_search(log.Text(), line)) << log.Text();
}

#include "LogFile.h"
#include "Logging.h"
#include "StringW.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Logging;

namespace {

// Trace and thread-id switches are process-wide: put them back after each test.
class LoggingTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_trace = IsTraceEnabled();
        m_ids = EnableThreadIds(false);
    }
    void TearDown() override
    {
        EnableTraceLogging(m_trace);
        EnableThreadIds(m_ids);
    }
    bool m_trace = false;
    bool m_ids = false;
};

} // namespace

TEST_F(LoggingTest, PrefixHasDateTimeAndSeverityTag)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string prefix = FormatLogPrefix(Error);
    std::regex form(R"((\d\d)/(\d\d)/(\d\d) \d\d:\d\d:\d\d ERROR: )");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(prefix, m, form)) << prefix;
    EXPECT_EQ(std::stoi(m[1]), now.wMonth);
    EXPECT_EQ(std::stoi(m[2]), now.wDay);
    EXPECT_EQ(std::stoi(m[3]), now.wYear % 1000);
    EXPECT_NE(FormatLogPrefix(Warning).find(" WARNING: "), std::string::npos);
    EXPECT_NE(FormatLogPrefix(Exception).find(" EXCEPTION: "), std::string::npos);
    EXPECT_NE(FormatLogPrefix(Trace).find(" TRACE: "), std::string::npos);
    EXPECT_EQ(FormatLogPrefix(Debug).size(), 18u);
    EXPECT_EQ(FormatLogPrefix(Custom).size(), 18u);
}

TEST_F(LoggingTest, ThreadIdsInLowerCaseHex)
{
    EnableThreadIds(true);
    char expected[32];
    sprintf_s(expected, "(%lx) ", GetCurrentThreadId());
    EXPECT_EQ(FormatLogPrefix(Debug).substr(18), expected);
}

TEST_F(LoggingTest, LinesAreUtf8WithCrLf)
{
    QzlTest::CLogCapture log;
    Log(Warning, L"gr\u00fc\u00df");
    LogA(Debug, "narrow \xC3\xA9");
    LogFormat(Error, L"%s=%d", L"n", 42);
    LogFormatA(Custom, "%s-%u", "a", 7u);
    LogA(Debug, "from a mail\r\n01/01/26 00:00:00 ERROR: forged\x7F\t");
    std::string text = log.Text();
    EXPECT_NE(text.find(" from a mail??01/01/26 00:00:00 ERROR: forged??\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WARNING: gr\xC3\xBC\xC3\x9F\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" narrow \xC3\xA9\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ERROR: n=42\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" a-7\r\n"), std::string::npos) << text;
    std::regex line(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d [^\r\n]*\r\n)");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator()), 5);
}

TEST_F(LoggingTest, EmptyAndNullTextsWriteNothing)
{
    QzlTest::CLogCapture log;
    EnableTraceLogging(true);
    for (Severity s : {Error, Warning, Exception, Debug, Trace, Custom}) {
        Log(s, nullptr);
        Log(s, L"");
        LogA(s, nullptr);
        LogA(s, "");
        LogFormat(s, nullptr);
        LogFormat(s, L"%s", L"");
        LogFormatA(s, "%s", "");
        LogRawA(s, "");
        LogRawA(s, nullptr);
    }
    EnableTraceLogging(false);
    std::string text = log.Text();
    // Only the two switch lines.
    EXPECT_NE(text.find("Trace logging enabled\r\n"), std::string::npos);
    EXPECT_NE(text.find("Trace logging disabled\r\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
}

TEST_F(LoggingTest, TraceGate)
{
    EnableTraceLogging(false);
    QzlTest::CLogCapture log;
    Log(Trace, L"hidden");
    LogFormat(Trace, L"%s", L"hidden2");
    LogRawA(Trace, "hidden3");
    EXPECT_FALSE(EnableTraceLogging(false));
    EXPECT_TRUE(log.Text().empty());

    EXPECT_FALSE(EnableTraceLogging(true));
    EXPECT_TRUE(IsTraceEnabled());
    EXPECT_TRUE(EnableTraceLogging(true));
    Log(Trace, L"Entered X");
    std::string text = log.Text();
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    std::regex enabled(R"(\d\d:\d\d:\d\d Trace logging enabled\r\n)");
    EXPECT_TRUE(std::regex_search(text, enabled)) << text;
    EXPECT_NE(text.find("TRACE: Entered X\r\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
}

// A block from a mail or a server keeps its lines, none of which reads as a record.
TEST_F(LoggingTest, RawTextKeepsItsLinesBehindAMark)
{
    QzlTest::CLogCapture log;
    LogRawA(Debug, "Header: a\r\n");
    LogRawA(Debug, "b\r\n01/01/26 00:00:00 ERROR: forged\r\n\r\nlf\nbare\rcr\x7F\t");
    EXPECT_EQ(log.Text(), "> Header: a\r\n> b\r\n> 01/01/26 00:00:00 ERROR: forged\r\n> \r\n> lf\r\n> bare?cr??\r\n");
    // What viewers break a line at or reorder it by (NEL, LS, PS, C1, RLO,
    // LRI, a lone NEL byte, an overlong LF) shows too, in records and raw
    // blocks, as UTF-8 and as wide text; other characters stay.
    const struct {
        const char* text;
        const char* shown;
        bool utf8;
    } rows[] = {{"a\xC2\x85" "b", "a?b", true},     {"a\xE2\x80\xA8" "b", "a?b", true},
                {"a\xE2\x80\xA9" "b", "a?b", true}, {"a\xC2\x9B" "b", "a?b", true},
                {"a\xE2\x80\xAE" "b", "a?b", true}, {"a\xE2\x81\xA6" "b", "a?b", true},
                {"a\x85" "b", "a?b", false},         {"a\xC0\x8A" "b", "a\xC0?b", false},
                {"\xC3\xA9\xE2\x80\xA6", "\xC3\xA9\xE2\x80\xA6", true}};
    for (const auto& row : rows) {
        QzlTest::CLogCapture rowLog;
        LogA(Debug, row.text);
        LogRawA(Debug, row.text);
        if (row.utf8)
            Log(Debug, StringW::FromAnsi(row.text, CP_UTF8).c_str());
        const std::string shown = std::string(row.shown) + "\r\n";
        EXPECT_EQ(QzlTest::CountOf(rowLog.Text(), " " + shown), row.utf8 ? 3u : 2u) << rowLog.Text();
        EXPECT_TRUE(rowLog.Contains("\n> " + shown)) << rowLog.Text();
    }
}

TEST_F(LoggingTest, LinesOfManyThreadsNeverInterleave)
{
    QzlTest::CLogCapture log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                LogFormat(Debug, L"thread %d line %d %s", t, i, std::wstring(100, L'x').c_str());
        });
    for (auto& t : threads)
        t.join();
    std::string text = log.Text();
    std::regex line(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d thread \d line \d+ x{100}\r\n)");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator()), 1600);
}

TEST_F(LoggingTest, WithoutAnyOutputLoggingIsHarmless)
{
    auto& file = CLogFile::Instance();
    HANDLE previous = file.GetHandle();
    StringW previousPath = file.GetPath();
    for (HANDLE none : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        file.Replace(none, StringW());
        Log(Error, L"goes nowhere");
        LogRawA(Error, "nowhere either");
        EXPECT_EQ(GetLogHandle(), none);
    }
    file.Replace(previous, previousPath);
}

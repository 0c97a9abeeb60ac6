#include "Buffer.h"
#include "MemoryStream.h"
#include "OutStream.h"
#include "StreamingError.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

using namespace Quenzal;
using QzlTest::Raised;

namespace {

// A stream whose raw write runs a test's action.
class CScriptedStream : public IOutStream {
public:
    explicit CScriptedStream(std::function<void(const void*, uint64_t)> action, bool open = true)
        : m_action(std::move(action)), m_open(open)
    {
    }
    bool IsOpen() const override { return m_open; }
    int calls = 0;

protected:
    void DoWrite(const void* data, uint64_t length) override
    {
        ++calls;
        m_action(data, length);
    }

private:
    std::function<void(const void*, uint64_t)> m_action;
    bool m_open;
};

// A streamable whose WriteTo runs a test's action.
class CScriptedStreamable : public IStreamable {
public:
    explicit CScriptedStreamable(std::function<void(IOutStream&)> action) : m_action(std::move(action)) {}
    uint64_t GetLength() const override { return 0; }
    void WriteTo(IOutStream& stream) const override { m_action(stream); }

private:
    std::function<void(IOutStream&)> m_action;
};

} // namespace

TEST(OutStream, MemoryStreamCollectsAndCounts)
{
    CMemoryStream stream;
    stream.Write("abc", 3);
    stream.Write("", 0);
    stream.Write(nullptr, 0);
    stream.Write("de\0f", 4);
    EXPECT_EQ(stream.GetData(), std::string("abcde\0f", 7));
    EXPECT_EQ(stream.GetBytesWritten(), 7u);
}

TEST(OutStream, NullStreamOnlyCounts)
{
    CNullStream stream;
    EXPECT_TRUE(stream.IsOpen());
    std::string big(100000, 'x');
    stream.Write(big.data(), big.size());
    stream.Write("12", 2);
    EXPECT_EQ(stream.GetBytesWritten(), 100002u);
    stream << CBuffer("hello");
    EXPECT_EQ(stream.GetBytesWritten(), 100007u);
}

TEST(OutStream, ZeroBytesDoNotReachTheStream)
{
    CScriptedStream stream([](const void*, uint64_t) {});
    stream.Write("x", 0);
    EXPECT_EQ(stream.calls, 0);
    EXPECT_EQ(stream.GetBytesWritten(), 0u);
}

TEST(OutStream, WritingAClosedStreamIsAWritingError)
{
    QzlTest::CLogCapture log;
    CScriptedStream stream([](const void*, uint64_t) {}, false);
    CStreamWritingError e = Raised<CStreamWritingError>([&] { stream.Write("x", 0); });
    EXPECT_EQ(e.GetDescription(), StringW(L"Operation cannot be performed on null stream"));
    EXPECT_EQ(stream.calls, 0);
    const std::string text = log.Text();
    std::regex lines("Throwing exception at OutStream\\.cpp, Quenzal::IOutStream::Write, line \\d+: Operation cannot be "
                     "performed on null stream\r\n.*Caught exception at OutStream\\.cpp, Quenzal::IOutStream::Write, "
                     "line \\d+: Operation cannot be performed on null stream\r\n.*Throwing exception at "
                     "OutStream\\.cpp, Quenzal::IOutStream::Write, line \\d+: Operation cannot be performed on null "
                     "stream\r\n");
    EXPECT_TRUE(std::regex_search(text, lines)) << text;
}

TEST(OutStream, FailuresInsideAWriteBecomeWritingErrors)
{
    CScriptedStream failing([](const void*, uint64_t) { throw CWinError(ERROR_NETNAME_DELETED, L"socket"); });
    CStreamWritingError e = Raised<CStreamWritingError>([&] { failing.Write("abc", 3); });
    EXPECT_EQ(e.GetDescription(), CWinError(ERROR_NETNAME_DELETED, L"socket").GetDescription());
    EXPECT_EQ(failing.GetBytesWritten(), 0u);

    // A streaming error raised inside passes unchanged, whatever its kind.
    CScriptedStream reading([](const void*, uint64_t) { throw CStreamReadingError(L"inner"); });
    CStreamReadingError r = Raised<CStreamReadingError>([&] { reading.Write("abc", 3); });
    EXPECT_EQ(r.GetDescription(), StringW(L"inner"));
}

TEST(OutStream, FailuresOfAStreamableBecomeReadingErrors)
{
    QzlTest::CLogCapture log;
    CMemoryStream stream;
    CScriptedStreamable failing([](IOutStream&) { throw CWinError(ERROR_ACCESS_DENIED, L"C:\\x"); });
    CStreamReadingError e = Raised<CStreamReadingError>([&] { stream << failing; });
    EXPECT_EQ(e.GetDescription(), CWinError(ERROR_ACCESS_DENIED, L"C:\\x").GetDescription());
    EXPECT_TRUE(log.Contains("Caught exception at OutStream.cpp, Quenzal::IOutStream::operator <<, line ")) << log.Text();

    // A write error of the stream passes through as it is.
    CScriptedStream closed([](const void*, uint64_t) {}, false);
    CStreamWritingError w = Raised<CStreamWritingError>([&] { closed << CBuffer("data"); });
    EXPECT_EQ(w.GetDescription(), StringW(L"Operation cannot be performed on null stream"));
}

TEST(OutStream, StreamingErrorsAreExceptionsWithoutCodes)
{
    CStreamWritingError e(L"text");
    const CException& base = e;
    EXPECT_EQ(base.GetDescription(), StringW(L"text"));
    EXPECT_EQ(base.GetErrorCode(), 0u);
    EXPECT_EQ(base.GetHResult(), E_FAIL);
    EXPECT_NE(dynamic_cast<const CStreamingError*>(&base), nullptr);
}

TEST(Buffer, StreamsItsBytes)
{
    std::string bytes("a\0b", 3);
    auto buffer = CBuffer::Create(bytes);
    EXPECT_EQ(buffer->GetLength(), 3u);
    EXPECT_EQ(StreamToString(*buffer), bytes);
    EXPECT_EQ(StreamToString(buffer), bytes);
    EXPECT_EQ(StreamToString(std::shared_ptr<const IStreamable>()), "");

    std::string moved(5000, 'm');
    auto big = CBuffer::Create(std::move(moved));
    EXPECT_EQ(big->GetLength(), 5000u);
    CMemoryStream stream;
    stream << *big << *buffer;
    EXPECT_EQ(stream.GetData(), std::string(5000, 'm') + bytes);
    EXPECT_EQ(stream.GetBytesWritten(), 5003u);

    // An empty buffer writes nothing, but still needs an open stream.
    CBuffer empty{std::string()};
    EXPECT_EQ(StreamToString(empty), "");
    CScriptedStream closed([](const void*, uint64_t) {}, false);
    Raised<CStreamWritingError>([&] { closed << empty; });
}

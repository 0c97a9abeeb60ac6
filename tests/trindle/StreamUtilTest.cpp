#include "Exception.h"
#include "StreamUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;

namespace {

// A memory stream from the system, with switches for the answers that a
// message store's streams may give and the system's own never does.
class CTestStream : public IStream {
public:
    explicit CTestStream(const std::string& content)
    {
        ::CreateStreamOnHGlobal(nullptr, TRUE, &m_inner);
        ULONG written = 0;
        m_inner->Write(content.data(), static_cast<ULONG>(content.size()), &written);
    }
    ~CTestStream() { m_inner->Release(); }

    bool statNotImplemented = false;
    bool reportHugeSize = false;
    uint64_t reportedSize = 0; // when not 0, the size Stat claims
    HRESULT seekResult = S_OK;
    HRESULT readFailure = S_OK;
    bool readSaysFalseWhenShort = false;
    int reads = 0;

    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override
    {
        ++reads;
        if (FAILED(readFailure))
            return readFailure;
        HRESULT hr = m_inner->Read(buffer, size, read);
        if (readSaysFalseWhenShort && SUCCEEDED(hr) && *read < size)
            return S_FALSE;
        return hr;
    }
    STDMETHODIMP Write(const void* data, ULONG size, ULONG* written) override
    {
        return m_inner->Write(data, size, written);
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        HRESULT hr = m_inner->Seek(move, origin, position);
        return FAILED(hr) ? hr : seekResult;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER size) override { return m_inner->SetSize(size); }
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override
    {
        return m_inner->CopyTo(target, size, read, written);
    }
    STDMETHODIMP Commit(DWORD flags) override { return m_inner->Commit(flags); }
    STDMETHODIMP Revert() override { return m_inner->Revert(); }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* statistics, DWORD flags) override
    {
        if (statNotImplemented)
            return E_NOTIMPL;
        HRESULT hr = m_inner->Stat(statistics, flags);
        if (reportHugeSize)
            statistics->cbSize.QuadPart = ~0ull;
        if (reportedSize != 0)
            statistics->cbSize.QuadPart = reportedSize;
        return hr;
    }
    STDMETHODIMP Clone(IStream** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }

private:
    IStream* m_inner = nullptr;
};

std::string Sample(size_t size)
{
    std::string data;
    for (size_t i = 0; i < size; ++i)
        data.push_back(static_cast<char>(i * 7 + i / 300));
    return data;
}

} // namespace

TEST(StreamUtil, ReadsTheWholeStreamFromItsStart)
{
    const std::string content = Sample(10000);
    CTestStream stream(content); // positioned at its end
    EXPECT_EQ(GetStreamContents(&stream), content);
    EXPECT_EQ(stream.reads, 3); // 4096, 4096 and 1808 bytes

    CTestStream empty("");
    EXPECT_EQ(GetStreamContents(&empty), "");
    EXPECT_EQ(empty.reads, 0);
}

TEST(StreamUtil, StreamsWithoutStatisticsAreReadUntilTheirEnd)
{
    const std::string content = Sample(9000);
    CTestStream stream(content);
    stream.statNotImplemented = true;
    stream.readSaysFalseWhenShort = true;
    QzlTest::CLogCapture log;
    EXPECT_EQ(GetStreamContents(&stream), content);
    // S_FALSE from a short read is plain success.
    EXPECT_FALSE(log.Contains("WARNING")) << log.Text();
}

TEST(StreamUtil, ReadFromStreamStopsAtTheLengthOrTheEnd)
{
    const std::string content = Sample(5000);
    CTestStream stream(content);
    EXPECT_EQ(ReadFromStream(&stream, 0), "");
    EXPECT_EQ(stream.reads, 0);
    EXPECT_EQ(ReadFromStream(&stream, 5), content.substr(0, 5));
    EXPECT_EQ(ReadFromStream(&stream, 4097), content.substr(0, 4097));
    EXPECT_EQ(ReadFromStream(&stream, 100000), content);
}

TEST(StreamUtil, SuccessOtherThanOkIsLoggedAndFailureRaises)
{
    QzlTest::CLogCapture log;
    const std::string content = Sample(100);
    CTestStream stream(content);
    stream.seekResult = STG_S_CONVERTED;
    EXPECT_EQ(GetStreamContents(&stream), content);
    const std::string text = log.Text();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("WARNING: Non-success condition during COM call at "
                                                      "StreamUtil\\.cpp, Quenzal::SetStreamPosition, line \\d+: "
                                                      "([^\r\n]*)\r\n")))
        << text;
    EXPECT_EQ(m[1].str(), GetErrorText(STG_S_CONVERTED).ToUtf8());

    stream.seekResult = S_OK;
    stream.readFailure = STG_E_ACCESSDENIED;
    try {
        GetStreamContents(&stream);
        ADD_FAILURE() << "no exception";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), STG_E_ACCESSDENIED);
    }
    EXPECT_TRUE(log.Contains("Throwing exception at StreamUtil.cpp, Quenzal::ReadFromStream, line ")) << log.Text();

    try {
        GetStreamContents(nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_POINTER);
    }
}

TEST(StreamUtil, AStreamLargerThanAStringCanHoldIsRefused)
{
    CTestStream stream("abc");
    stream.reportHugeSize = true;
    try {
        GetStreamContents(&stream);
        ADD_FAILURE() << "no exception";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), StringW(L"Size of stream exceeds the maximum size of std::string"));
    }
    EXPECT_EQ(stream.reads, 0);
}

TEST(StreamUtil, AStreamClaimingFarMoreThanItHoldsGivesWhatItHolds)
{
    // More than any machine can set aside at once.
    CTestStream stream("abc");
    stream.reportedSize = 1ull << 44;
    EXPECT_EQ(GetStreamContents(&stream), "abc");
}

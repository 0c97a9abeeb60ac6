#include "ErrorReport.h"
#include "Exception.h"
#include "TestSupport.h"
#include "com_cast.h"

#include <gtest/gtest.h>

#include <oleidl.h>

#include <cerrno>
#include <map>
#include <regex>

using namespace Quenzal;
using QzlTest::SystemMessage;

TEST(Exception, UnknownCodesGiveTheBareNumber)
{
    EXPECT_EQ(GetErrorText(65535), StringW(L"65535"));
    EXPECT_EQ(GetErrorText(0x10000), StringW(L"0x10000"));
    EXPECT_EQ(FormatErrorCode(0x8004010F), StringW(L"0x8004010F"));
    EXPECT_EQ(FormatErrorCode(5), StringW(L"5"));
}

TEST(Exception, SystemTextIsFollowedByTheCode)
{
    StringW system = SystemMessage(5);
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(GetErrorText(5), system + L" [5]");
    StringW efail = SystemMessage(0x80004005);
    ASSERT_FALSE(efail.empty());
    EXPECT_EQ(GetErrorText(0x80004005), efail + L" [0x80004005]");
}

TEST(Exception, RegisteredNamesWinAndStructuredExceptionsAreNamed)
{
    EXPECT_EQ(GetErrorText(0xC0000005), StringW(L"Exception: access violation [0xC0000005]"));
    EXPECT_EQ(GetErrorText(0xC000008D), StringW(L"Exception: flat denormal operand [0xC000008D]"));
    RegisterErrorCodeName(0x8004010F, L"MAPI_E_NOT_FOUND");
    EXPECT_EQ(GetErrorText(0x8004010F), StringW(L"MAPI_E_NOT_FOUND [0x8004010F]"));
    RegisterErrorCodeName(0x8004010F, L"MAPI_E_OTHER");
    EXPECT_EQ(GetErrorCodeName(0x8004010F), StringW(L"MAPI_E_OTHER"));
    RegisterErrorCodeName(0x8004010F, nullptr);
    EXPECT_TRUE(GetErrorCodeName(0x8004010F).empty());
    // A name registered for a system code replaces the system's sentence.
    RegisterErrorCodeName(0x10001, L"X");
    EXPECT_EQ(GetErrorText(0x10001), StringW(L"X [0x10001]"));
}

TEST(Exception, ComErrorDescriptions)
{
    CComError nonSuccess(S_FALSE, L"ctx");
    EXPECT_EQ(nonSuccess.GetDescription(),
              L"Non-success condition during COM call: " + GetErrorText(1) + L": ctx");
    CComError failure(E_FAIL);
    EXPECT_EQ(failure.GetDescription(), L"Failure during COM call: " + GetErrorText(0x80004005));
    EXPECT_EQ(failure.GetHResult(), E_FAIL);
    EXPECT_EQ(failure.GetErrorCode(), 0x80004005u);
    // what() is the UTF-8 form of the description, stable across calls.
    std::string first = nonSuccess.what();
    EXPECT_EQ(first, nonSuccess.GetDescription().GetAnsi(CP_UTF8));
    EXPECT_EQ(std::string(nonSuccess.what()), first);
}

TEST(Exception, WinErrorHResults)
{
    EXPECT_EQ(CWinError(0, nullptr).GetHResult(), E_FAIL);
    EXPECT_EQ(CWinError(5, nullptr).GetHResult(), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(CWinError(0x80070057, nullptr).GetHResult(), static_cast<HRESULT>(0x80070057));
    ::SetLastError(2);
    CWinError fromLast(L"C:\\missing");
    EXPECT_EQ(fromLast.GetErrorCode(), 2u);
    EXPECT_EQ(fromLast.GetDescription(), GetErrorText(2) + L": C:\\missing");
}

TEST(Exception, CrtErrorDescriptions)
{
    errno = 0;
    EXPECT_EQ(CCrtError(nullptr).GetDescription(), StringW(L"Failure during CRT call but no error code available"));
    errno = ENOENT;
    CCrtError e(L"file.txt");
    StringW d = e.GetDescription();
    EXPECT_EQ(d.rfind(L"Failure during CRT call: ", 0), 0u) << d.ToUtf8();
    EXPECT_NE(d.find(L" (2): file.txt"), StringW::npos) << d.ToUtf8();
    EXPECT_EQ(e.GetHResult(), E_FAIL);
}

TEST(Exception, BaseExceptionTextsAndFlags)
{
    CException fromUtf8(std::string("caf\xC3\xA9"));
    EXPECT_EQ(fromUtf8.GetDescription(), StringW(L"caf\u00e9"));
    EXPECT_STREQ(fromUtf8.what(), "caf\xC3\xA9");
    EXPECT_TRUE(CException(static_cast<const char*>(nullptr)).GetDescription().empty());
    EXPECT_TRUE(CException(static_cast<const wchar_t*>(nullptr)).GetDescription().empty());
    EXPECT_STREQ(CException(L"").what(), "");
    CException flagged(L"x");
    EXPECT_FALSE(flagged.IsUserMessage());
    flagged.SetUserMessage(true);
    CException copy(flagged);
    EXPECT_TRUE(copy.IsUserMessage());
    EXPECT_EQ(copy.GetErrorCode(), 0u);
    EXPECT_EQ(copy.GetHResult(), E_FAIL);
}

TEST(Exception, CombineMessage)
{
    EXPECT_EQ(CombineMessage(L"a", L"b"), StringW(L"a: b"));
    EXPECT_EQ(CombineMessage(L"a", L""), StringW(L"a"));
}

TEST(Exception, ReportLineNamesFileFunctionAndLine)
{
    EXPECT_EQ(SourceFileName("/x/y/StringW.cpp"), StringW(L"StringW.cpp"));
    EXPECT_EQ(SourceFileName("C:\\src\\Logging.cpp"), StringW(L"Logging.cpp"));
    EXPECT_EQ(SourceFileName("dir/com_cast.h/"), StringW(L"com_cast.h"));

    QzlTest::CLogCapture log;
    int line = 0;
    try {
        line = __LINE__ + 1;
        QZL_THROW(L"QzlTest::Raise", CWinError(5, L"ctx"));
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"QzlTest::Handle", e);
    }
    std::string text = log.Text();
    std::string expected = "EXCEPTION: Throwing exception at ExceptionTest.cpp, QzlTest::Raise, line " +
                           std::to_string(line) + ": " + GetErrorText(5).ToUtf8() + ": ctx\r\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    EXPECT_NE(text.find("EXCEPTION: Caught exception at ExceptionTest.cpp, QzlTest::Handle, line "),
              std::string::npos)
        << text;
}

namespace QzlTest {
namespace {

struct CNamed {
    CNamed() : name(QZL_FUNCTION) {}
    template <class T>
    std::map<T, std::wstring> Member(T) const
    {
        return {{T(), [] { return std::wstring(QZL_FUNCTION); }()}};
    }
    bool operator<(const CNamed&) const { throw std::wstring(QZL_FUNCTION); }
    std::wstring name;
};

} // namespace
} // namespace QzlTest

TEST(Exception, FunctionNameIsTheQualifiedNameOfTheEnclosingFunction)
{
    QzlTest::CNamed named;
    EXPECT_EQ(named.name, L"QzlTest::CNamed::CNamed");
    EXPECT_EQ(named.Member(1)[0], L"QzlTest::CNamed::Member");
    try {
        (void)(named < named);
    } catch (const std::wstring& name) {
        EXPECT_EQ(name, L"QzlTest::CNamed::operator<");
    }
    EXPECT_STREQ(QZL_FUNCTION, L"Exception_FunctionNameIsTheQualifiedNameOfTheEnclosingFunction_Test::TestBody");
}

TEST(Exception, ComCast)
{
    try {
        com_cast<IOleWindow>(nullptr);
        FAIL();
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_POINTER);
    }
    // A stream object has IUnknown but not IOleWindow.
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    try {
        com_cast<IOleWindow>(stream);
        FAIL();
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_NOINTERFACE);
    }
    auto sequential = com_cast<ISequentialStream>(stream);
    EXPECT_TRUE(sequential != nullptr);
    sequential = nullptr;
    stream->Release();
}

TEST(Exception, AtlComErrorHandlerThrowsComError)
{
    QzlTest::CLogCapture log;
    try {
        ThrowAtlComException(E_OUTOFMEMORY, nullptr);
    } catch (const CComError& e) {
        EXPECT_EQ(e.GetHResult(), E_OUTOFMEMORY);
    }
    EXPECT_TRUE(log.Contains("EXCEPTION: Throwing ATL COM exception: Failure during COM call: "));
}

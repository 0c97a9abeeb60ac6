#include "Exception.h"
#include "LogFile.h"
#include "Logging.h"
#include "Os.h"
#include "SmartPointer.h"
#include "TestSupport.h"
#include "TextFileUtil.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Logging;
using QzlTest::CLogCapture;
using QzlTest::ReadWholeFile;

namespace {

// The capture puts the log back on the standard output (closing our files)
// when the test ends.
class LogFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = QzlTest::UniqueTempPath(L"qzllogfile");
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        m_capture = std::make_unique<CLogCapture>();
    }
    void TearDown() override
    {
        m_capture.reset();
        EXPECT_TRUE(Os::TryDeleteDirectory(m_folder));
    }

    StringW Path(const wchar_t* relative) const { return m_folder + L"\\" + relative; }

    // True when no other handle has the file open.
    static bool IsClosed(const StringW& path)
    {
        Os::CHandle file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return static_cast<bool>(file);
    }

    StringW m_folder;
    std::unique_ptr<CLogCapture> m_capture;
};

} // namespace

TEST_F(LogFileTest, CreatesTheFolderAndItsParents)
{
    StringW path = Path(L"a\\b\\c\\addin.log");
    SetLogPath(path);
    Log(Debug, L"first line");
    std::string text = ReadWholeFile(path);
    std::regex line(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d first line\r\n$)");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    EXPECT_EQ(CLogFile::Instance().GetPath(), path);
    EXPECT_FALSE(m_capture->Contains("first line"));
}

TEST_F(LogFileTest, HandleIsInheritable)
{
    SetLogPath(Path(L"inherit.log"));
    DWORD flags = 0;
    ASSERT_TRUE(::GetHandleInformation(GetLogHandle(), &flags));
    EXPECT_NE(flags & HANDLE_FLAG_INHERIT, 0u);
}

TEST_F(LogFileTest, AppendsToAnExistingFile)
{
    StringW path = Path(L"old.log");
    {
        Os::CHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.Get(), "earlier\r\n", 9, &written, nullptr);
    }
    SetLogPath(path);
    Log(Warning, L"later");
    std::string text = ReadWholeFile(path);
    EXPECT_EQ(text.substr(0, 9), "earlier\r\n");
    EXPECT_NE(text.find("WARNING: later\r\n"), std::string::npos) << text;
}

TEST_F(LogFileTest, ASecondPathClosesTheFirstFileAndAppendsToTheSecond)
{
    StringW first = Path(L"first.log");
    StringW second = Path(L"sub\\second.log");
    SetLogPath(first);
    Log(Debug, L"one");
    SetLogPath(second);
    Log(Debug, L"two");
    EXPECT_TRUE(IsClosed(first));
    EXPECT_FALSE(IsClosed(second));
    std::string firstText = ReadWholeFile(first);
    std::string secondText = ReadWholeFile(second);
    EXPECT_NE(firstText.find(" one\r\n"), std::string::npos);
    EXPECT_EQ(firstText.find(" two"), std::string::npos);
    EXPECT_NE(secondText.find(" two\r\n"), std::string::npos);
    EXPECT_EQ(secondText.find(" one"), std::string::npos);

    // Back to the first: its lines stay and the new ones follow them.
    SetLogPath(first);
    Log(Debug, L"three");
    EXPECT_TRUE(IsClosed(second));
    firstText = ReadWholeFile(first);
    size_t one = firstText.find(" one\r\n");
    size_t three = firstText.find(" three\r\n");
    ASSERT_NE(one, std::string::npos);
    ASSERT_NE(three, std::string::npos);
    EXPECT_LT(one, three);
}

TEST_F(LogFileTest, ABareFileNameNeedsNoFolder)
{
    StringW saved = Os::GetCurrentDirectory();
    ASSERT_TRUE(::SetCurrentDirectoryW(m_folder.c_str()));
    EXPECT_NO_THROW(SetLogPath(L"bare.log"));
    Log(Debug, L"in the current folder");
    ::SetCurrentDirectoryW(saved.c_str());
    DWORD attributes = Os::GetFileAttributes(Path(L"bare.log"));
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(ReadWholeFile(Path(L"bare.log")).find("in the current folder"), std::string::npos);
}

TEST_F(LogFileTest, AFileThatCannotBeOpenedLeavesThePreviousTarget)
{
    StringW folderAsFile = Path(L"isafolder");
    ASSERT_TRUE(::CreateDirectoryW(folderAsFile.c_str(), nullptr));
    HANDLE before = GetLogHandle();
    try {
        SetLogPath(folderAsFile);
        FAIL() << "no exception";
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetContext(), folderAsFile);
        EXPECT_NE(e.GetErrorCode(), 0u);
    }
    EXPECT_EQ(GetLogHandle(), before);
    Log(Debug, L"still here");
    std::string text = m_capture->Text();
    std::regex report(R"(EXCEPTION: Throwing exception at Logging\.cpp, Quenzal::Logging::SetLogPath, line \d+: )");
    EXPECT_TRUE(std::regex_search(text, report)) << text;
    EXPECT_NE(text.find(" still here\r\n"), std::string::npos);
}

TEST_F(LogFileTest, AFolderThatCannotBeMadeLeavesThePreviousTarget)
{
    Os::CHandle file(::CreateFileW(Path(L"plain").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    file.Close();
    HANDLE before = GetLogHandle();
    EXPECT_THROW(SetLogPath(Path(L"plain\\sub\\x.log")), CException);
    EXPECT_EQ(GetLogHandle(), before);
    Log(Debug, L"still here");
    EXPECT_TRUE(m_capture->Contains(" still here\r\n"));
}

// Records past the bound: the file is cut to its last mebibyte at a record's
// start and keeps the newest records.
TEST_F(LogFileTest, StaysWithinItsBoundWhileWritten)
{
    const StringW path = Path(L"long.log");
    SetLogPath(path);
    for (int i = 0; i < 5000; ++i)
        LogFormat(Debug, L"record %d %s", i, std::wstring(1000, L'x').c_str());
    const std::string text = ReadWholeFile(path);
    EXPECT_LE(text.size(), kLogFileBound);
    const std::regex first(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d record \d+ x{1000}\r\n)");
    EXPECT_TRUE(std::regex_match(text.substr(0, text.find('\n') + 1), first)) << text.substr(0, 80);
    EXPECT_EQ(text.substr(text.size() - 1015, 12), " record 4999") << text.substr(text.size() - 1015, 40);
}

// However much one answer hands the log, each record carries at most its
// bound and a note of the rest, so the records before it stay; a record
// longer than the tail that the cut keeps is kept whole.
TEST_F(LogFileTest, LongRecordsNeitherPushOutEarlierOnesNorEmptyTheFile)
{
    const StringW path = Path(L"flood.log");
    SetLogPath(path);
    Log(Debug, L"before");
    const std::string kept(kLogRecordBound - 1, 'x');
    for (int i = 0; i < 16; ++i)
        LogA(Warning, (kept + "\xC3\xA9" + std::string(kTextFileTailSize, 'y')).c_str());
    // Text that is not UTF-8 is cut at the bound.
    LogA(Warning, std::string(9000, '\xA9').c_str());
    const std::string text = ReadWholeFile(path);
    EXPECT_NE(text.find(" before\r\n"), std::string::npos);
    EXPECT_EQ(QzlTest::CountOf(text, " " + std::string(kLogRecordBound, '\xA9') + " [808 more bytes not logged]\r\n"), 1u);
    EXPECT_EQ(QzlTest::CountOf(text, "WARNING: " + kept + " [1048578 more bytes not logged]\r\n"), 16u);

    WriteToLog(Debug, std::string(3 * kTextFileTailSize, 'o') + "\r\n");
    const std::string longest = FormatLogPrefix(Debug) + std::string(2 * kTextFileTailSize, 'h') + "\r\n";
    WriteToLog(Debug, longest);
    Log(Debug, L"after");
    EXPECT_EQ(ReadWholeFile(path).substr(0, longest.size() + 1), longest + FormatLogPrefix(Debug)[0]);
    // A record cut at the file's start keeps no piece of a character.
    WriteToLog(Debug, "h\xE2\x80\xA6" + std::string(kLogFileBound - 4, 'h') + "\r\n");
    EXPECT_EQ(ReadWholeFile(path), std::string(kLogFileBound - 4, 'h') + "\r\n");
}

#include "ErrorReport.h"
#include "Minidump.h"
#include "Os.h"
#include "TestLibrary.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;

namespace {

// A fault as the system would describe it to a filter, taken on this thread.
struct SyntheticFault {
    EXCEPTION_RECORD record = {};
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {&record, &context};

    explicit SyntheticFault(DWORD code)
    {
        RtlCaptureContext(&context);
        record.ExceptionCode = code;
        record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
    }
};

std::string SavedDumpPath(const std::string& log)
{
    std::smatch match;
    if (!std::regex_search(log, match, std::regex("Minidump saved to disk at: ([^\r\n]*)\r\n")))
        return std::string();
    return match[1];
}

} // namespace

TEST(Minidump, NameWithoutCommitIsHostAndGuid)
{
    // The test executable carries no version resource.
    std::string first = GetMinidumpFileName().ToUtf8();
    EXPECT_TRUE(std::regex_match(first, std::regex("test_trindle\\.[0-9a-f]{32}\\.mdmp"))) << first;
    EXPECT_NE(GetMinidumpFileName().ToUtf8(), first);
}

TEST(Minidump, NameCarriesTheModulesCleanedCommit)
{
    HMODULE library = LoadLibraryW(QzlTest::TestLibraryPath().c_str());
    ASSERT_NE(library, nullptr);
    auto name = reinterpret_cast<void (*)(wchar_t*, size_t)>(
        reinterpret_cast<void*>(GetProcAddress(library, "QzlTestMinidumpFileName")));
    ASSERT_NE(name, nullptr);
    wchar_t buffer[MAX_PATH] = {};
    name(buffer, MAX_PATH);
    FreeLibrary(library);
    // " 0a1b:2c3d " trimmed, and the colon is no file-name character.
    std::string text = StringW(buffer).ToUtf8();
    EXPECT_TRUE(std::regex_match(text, std::regex("test_trindle\\.0a1b2c3d\\.[0-9a-f]{32}\\.mdmp"))) << text;
}

TEST(Minidump, CrashDumpIsLoggedAndWrittenToTheTemporaryFolder)
{
    CLogCapture log;
    SyntheticFault fault(0xC0000005);
    WriteCrashDump(&fault.pointers);
    std::string text = log.Text();
    EXPECT_NE(text.find(StringW::Format(L"ERROR: Exception occurred in thread 0x%x (Exception: access violation)\r\n",
                                        GetCurrentThreadId())
                            .ToUtf8()),
              std::string::npos)
        << text;
    StringW path = StringW::FromAnsi(SavedDumpPath(text), CP_UTF8);
    ASSERT_FALSE(path.empty()) << text;
    QzlTest::CTemporaryFile dump(path);
    EXPECT_EQ(GetDirectoryFromPath(path), GetTemporaryDirectory());
    EXPECT_TRUE(std::regex_match(GetFileNameFromPath(path).ToUtf8(),
                                 std::regex("test_trindle\\.[0-9a-f]{32}\\.mdmp")));
    std::string bytes = QzlTest::ReadWholeFile(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), "MDMP");
}

TEST(Minidump, UnwritableDumpPathRaises)
{
    CLogCapture log;
    SyntheticFault fault(0xC0000005);
    StringW path = QzlTest::TempDirectory() + L"QzlNoSuchFolder\\dump.mdmp";
    try {
        CreateMinidump(&fault.pointers, path);
        FAIL();
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_TRUE(e.GetContext().empty());
    }
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at Minidump\\.cpp, "
                                                         "Quenzal::Os::CreateMinidump, line [0-9]+: ")))
        << log.Text();
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

#include "Exception.h"
#include "Os.h"
#include "SmartPointer.h"
#include "TestSupport.h"
#include "TextFileUtil.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using QzlTest::CLogCapture;
using QzlTest::ReadWholeFile;
using QzlTest::UniqueTempPath;

namespace {

constexpr size_t kMiB = 1048576;

void WriteFileBytes(const StringW& path, const std::string& data)
{
    Os::CHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
    ASSERT_EQ(written, data.size());
}

// Numbered CR LF lines cut to exactly size bytes.
std::string NumberedLines(size_t size)
{
    std::string text;
    text.reserve(size + 32);
    for (unsigned i = 0; text.size() < size; ++i)
        text += StringW::Format(L"line %06u of the log\r\n", i).ToAnsi();
    text.resize(size);
    return text;
}

// A file that removes itself.
class CTempFile {
public:
    explicit CTempFile(const wchar_t* prefix) : m_path(UniqueTempPath(prefix)) {}
    ~CTempFile() { DeleteFileW(m_path.c_str()); }
    const StringW& Path() const { return m_path; }

private:
    StringW m_path;
};

// Every entry of a folder but "." and "..".
std::vector<StringW> FolderEntries(const StringW& folder)
{
    std::vector<StringW> names;
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        StringW name(data.cFileName);
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

std::string EnvironmentText(const char* name)
{
    char buffer[MAX_PATH * 2] = {};
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return std::string(buffer, n);
}

// Files on these machines never take a write only in part; while this object
// lives, the program's own calls of WriteFile write half of what they are given.
class CShortWrites {
    using WriteFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static inline const WriteFunction s_real = reinterpret_cast<WriteFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "WriteFile")));

    static BOOL WINAPI Half(HANDLE file, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED overlapped)
    {
        return s_real(file, data, (length + 1) / 2, written, overlapped);
    }

    QzlTest::CImportRedirect m_redirect{GetModuleHandleW(nullptr), reinterpret_cast<void*>(s_real),
                                        reinterpret_cast<void*>(&Half)};
};

} // namespace

TEST(TextFileUtil, AFileOfExactlyOneMebibyteIsLeftAlone)
{
    CTempFile file(L"qzltrim");
    std::string content = NumberedLines(kMiB);
    WriteFileBytes(file.Path(), content);
    TrimTextFile(file.Path());
    EXPECT_EQ(ReadWholeFile(file.Path()), content);
}

TEST(TextFileUtil, OneByteOverIsTrimmedToTheFirstWholeLineOfTheLastMebibyte)
{
    CTempFile file(L"qzltrim");
    // The last mebibyte starts one byte into "line 000000 ...": that partial
    // line, CR LF included, goes.
    std::string content = NumberedLines(kMiB + 1);
    WriteFileBytes(file.Path(), content);
    EXPECT_TRUE(TryTrimTextFile(file.Path()));
    std::string trimmed = ReadWholeFile(file.Path());
    EXPECT_EQ(trimmed.substr(0, 27), "line 000001 of the log\r\nlin");
    EXPECT_EQ(trimmed, content.substr(content.find('\n') + 1));
    EXPECT_EQ(trimmed.size(), kMiB - 23);

    // Trimming again changes nothing.
    TrimTextFile(file.Path());
    EXPECT_EQ(ReadWholeFile(file.Path()), trimmed);
}

TEST(TextFileUtil, ALineFeedEndingTheFirstBlockStartsTheResultWithTheNextBlock)
{
    CTempFile source(L"qzltail");
    CTempFile destination(L"qzltail");
    const size_t skipped = 10;
    std::string content = "ab\ncd\r\nef\n";
    ASSERT_EQ(content.size(), skipped);
    content += std::string(4095, 'x') + "\n";
    content += NumberedLines(kMiB - 4096);
    ASSERT_EQ(content.size(), kMiB + skipped);
    WriteFileBytes(source.Path(), content);
    CopyTextFileTail(source.Path(), destination.Path());
    EXPECT_EQ(ReadWholeFile(destination.Path()), content.substr(skipped + 4096));
    // The source is not touched.
    EXPECT_EQ(ReadWholeFile(source.Path()), content);
}

TEST(TextFileUtil, ALastMebibyteWithoutLineFeedGivesAnEmptyFile)
{
    CTempFile file(L"qzltrim");
    std::string content = std::string(99, '\n') + std::string(kMiB + 1, 'x');
    WriteFileBytes(file.Path(), content);
    TrimTextFile(file.Path());
    EXPECT_EQ(GetFileAttributesW(file.Path().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(ReadWholeFile(file.Path()), "");
}

TEST(TextFileUtil, MissingPathsAndFoldersAreNotTrimmed)
{
    StringW missing = UniqueTempPath(L"qzlnone");
    EXPECT_TRUE(TryTrimTextFile(missing));
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);

    StringW folder = UniqueTempPath(L"qzldir");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_TRUE(TryTrimTextFile(folder));
    EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    RemoveDirectoryW(folder.c_str());
}

TEST(TextFileUtil, CopiesASmallFileWholeAndRaisesForAMissingOne)
{
    CTempFile source(L"qzlcopy");
    CTempFile destination(L"qzlcopy");
    std::string content = "no line feed at all";
    WriteFileBytes(source.Path(), content);
    WriteFileBytes(destination.Path(), std::string(5000, 'o'));
    CopyTextFileTail(source.Path(), destination.Path());
    EXPECT_EQ(ReadWholeFile(destination.Path()), content);

    StringW missing = UniqueTempPath(L"qzlnone");
    try {
        CopyTextFileTail(missing, destination.Path());
        ADD_FAILURE() << "nothing raised";
    } catch (const CWinError& e) {
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_EQ(ReadWholeFile(destination.Path()), content);
}

TEST(TextFileUtil, AWriteThatStopsShortFailsTheCopy)
{
    CTempFile source(L"qzlcopy");
    CTempFile destination(L"qzlcopy");
    WriteFileBytes(source.Path(), NumberedLines(kMiB + 100));
    CShortWrites shortWrites;
    EXPECT_EQ(QzlTest::Raised<CWinError>([&] { CopyTextFileTail(source.Path(), destination.Path()); }).GetErrorCode(),
              static_cast<DWORD>(ERROR_WRITE_FAULT));
}

TEST(TextFileUtil, AFileThatCannotBeReadIsReportedAndKept)
{
    CLogCapture log;
    CTempFile file(L"qzltrim");
    std::string content = NumberedLines(kMiB + 500);
    WriteFileBytes(file.Path(), content);
    {
        Os::CHandle exclusive(CreateFileW(file.Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(exclusive.IsValid());
        EXPECT_FALSE(TryTrimTextFile(file.Path()));
        try {
            TrimTextFile(file.Path());
            ADD_FAILURE() << "nothing raised";
        } catch (const CWinError& e) {
            EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_EQ(e.GetContext(), file.Path());
        }
    }
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at TextFileUtil\\.cpp, "
                                                         "Quenzal::CopyTextFileTail, line \\d+: ")));
    EXPECT_EQ(ReadWholeFile(file.Path()), content);
}

// Trims the file named by QZL_TRIM_TARGET, holding it open for reading without
// letting anyone replace it when QZL_TRIM_LOCK is 1; exits with 1 when the
// trim succeeded. The parent points the temporary folder at a private one.
QZL_CHILD_CASE(TrimTextFileInPrivateTemp)
{
    StringW target(EnvironmentText("QZL_TRIM_TARGET"));
    Os::CHandle hold;
    if (EnvironmentText("QZL_TRIM_LOCK") == "1")
        hold.Reset(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return TryTrimTextFile(target) ? 1 : 0;
}

TEST(TextFileUtil, TheTemporaryCopyIsRemovedWhenTheFileCannotBeReplaced)
{
    StringW privateTemp = UniqueTempPath(L"qzltmpdir");
    ASSERT_TRUE(CreateDirectoryW(privateTemp.c_str(), nullptr));
    CTempFile file(L"qzltrim");
    std::string content = NumberedLines(kMiB + 100);
    WriteFileBytes(file.Path(), content);

    wchar_t savedTmp[MAX_PATH + 1] = {};
    wchar_t savedTemp[MAX_PATH + 1] = {};
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH + 1);
    GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH + 1);
    SetEnvironmentVariableW(L"TMP", privateTemp.c_str());
    SetEnvironmentVariableW(L"TEMP", privateTemp.c_str());
    SetEnvironmentVariableW(L"QZL_TRIM_TARGET", file.Path().c_str());

    SetEnvironmentVariableW(L"QZL_TRIM_LOCK", L"1");
    QzlTest::ChildResult locked = QzlTest::RunChildCase("TrimTextFileInPrivateTemp");
    std::vector<StringW> leftAfterFailure = FolderEntries(privateTemp);
    std::string afterFailure = ReadWholeFile(file.Path());

    SetEnvironmentVariableW(L"QZL_TRIM_LOCK", L"0");
    QzlTest::ChildResult unlocked = QzlTest::RunChildCase("TrimTextFileInPrivateTemp");
    std::vector<StringW> leftAfterSuccess = FolderEntries(privateTemp);

    SetEnvironmentVariableW(L"TMP", savedTmp);
    SetEnvironmentVariableW(L"TEMP", savedTemp);
    SetEnvironmentVariableW(L"QZL_TRIM_TARGET", nullptr);
    SetEnvironmentVariableW(L"QZL_TRIM_LOCK", nullptr);

    EXPECT_EQ(locked.exitCode, 0u) << locked.output;
    // The copy was made; replacing the file with it failed.
    EXPECT_NE(locked.output.find("Throwing exception at FileSystem.cpp, Quenzal::Os::MoveFile, line "), std::string::npos)
        << locked.output;
    EXPECT_TRUE(leftAfterFailure.empty());
    EXPECT_EQ(afterFailure, content);
    EXPECT_EQ(unlocked.exitCode, 1u) << unlocked.output;
    EXPECT_TRUE(leftAfterSuccess.empty());
    EXPECT_EQ(ReadWholeFile(file.Path()), content.substr(content.find('\n', content.size() - kMiB) + 1));
    RemoveDirectoryW(privateTemp.c_str());
}

TEST(TextFileUtil, QuotesCommandLineArguments)
{
    EXPECT_EQ(QuoteCommandLineArgument(L""), L"\"\"");
    EXPECT_EQ(QuoteCommandLineArgument(L"c:\\my logs\\a.log"), L"\"c:\\my logs\\a.log\"");
    EXPECT_EQ(QuoteCommandLineArgument(L"a\"b"), L"\"a\"b\"");
}

TEST(TextFileUtil, TheEditorIsTheSystemNotepadByItsFullPath)
{
    wchar_t folder[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryW(folder, MAX_PATH + 1);
    StringW notepad = StringW(folder, n) + L"\\Notepad.exe";
    ASSERT_NE(GetFileAttributesW(notepad.c_str()), INVALID_FILE_ATTRIBUTES);

    Os::CreateProcess launcher = MakeTextEditorLauncher(L"c:\\my logs\\a.log");
    EXPECT_EQ(launcher.Command, notepad);
    EXPECT_EQ(launcher.FormatCommandLine(), L"\"" + notepad + L"\" \"c:\\my logs\\a.log\"");
    EXPECT_FALSE(launcher.InheritHandles);
    EXPECT_TRUE(launcher.WorkingDirectory.empty());
    EXPECT_EQ(launcher.ShowState, SW_SHOWDEFAULT);
    EXPECT_FALSE(launcher.SendOutputToLog);
    EXPECT_EQ(launcher.UserToken, nullptr);
}

#include "ErrorReport.h"
#include "Exception.h"
#include "File.h"
#include "Os.h"
#include "SmartPointer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;
using QzlTest::Raised;

namespace {

// Each test works in a fresh folder under the temporary folder.
class FileSystemTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_root = QzlTest::UniqueTempPath(L"qzlfs") + L"\\";
        ASSERT_TRUE(::CreateDirectoryW(m_root.c_str(), nullptr));
    }
    void TearDown() override { EXPECT_TRUE(TryDeleteDirectory(m_root.substr(0, m_root.size() - 1))); }

    StringW Path(const wchar_t* relative) const { return m_root + relative; }

    static void WriteFile(const StringW& path, const std::string& data)
    {
        CHandle file = OpenFileHandle(path, GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
        ASSERT_TRUE(file) << path.ToUtf8();
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
    }
    static std::string Read(const StringW& path) { return QzlTest::ReadWholeFile(GetLongPath(path)); }
    static bool IsDir(const StringW& path)
    {
        DWORD a = GetFileAttributes(path);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    static bool IsFile(const StringW& path)
    {
        DWORD a = GetFileAttributes(path);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    StringW m_root;
};

// A drive letter that names no drive here.
wchar_t MissingDrive()
{
    DWORD drives = ::GetLogicalDrives();
    for (int i = 25; i >= 3; --i) {
        if ((drives & (1u << i)) == 0)
            return static_cast<wchar_t>(L'A' + i);
    }
    return L'\0';
}

} // namespace

TEST_F(FileSystemTest, CurrentDirectoryIsTheSystemsOne)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH + 1, buffer);
    EXPECT_EQ(Os::GetCurrentDirectory(), buffer);
}

TEST_F(FileSystemTest, CreateDirectoryAcceptsWhatExists)
{
    StringW dir = Path(L"d");
    Os::CreateDirectory(dir);
    EXPECT_TRUE(IsDir(dir));
    EXPECT_NO_THROW(Os::CreateDirectory(dir));
    WriteFile(Path(L"f"), "x");
    EXPECT_NO_THROW(Os::CreateDirectory(Path(L"f")));
    EXPECT_TRUE(IsFile(Path(L"f")));
}

TEST_F(FileSystemTest, CreateDirectoryFailureNamesTheCallersPath)
{
    CLogCapture log;
    StringW missingParent = Path(L"no\\such");
    CWinError e = Raised<CWinError>([&] { Os::CreateDirectory(missingParent); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(e.GetContext(), missingParent);
    // A long path is given to the system in its prefixed form, but reported as the caller wrote it.
    StringW longMissing = Path(L"no\\") + StringW(260, L'x');
    e = Raised<CWinError>([&] { Os::CreateDirectory(longMissing); });
    EXPECT_EQ(e.GetContext(), longMissing);
    std::regex report(R"(EXCEPTION: Throwing exception at FileSystem\.cpp, Quenzal::Os::CreateDirectory, line \d+: )");
    EXPECT_TRUE(std::regex_search(log.Text(), report)) << log.Text();
}

TEST_F(FileSystemTest, CreateDirectoryByPathBuildsEveryLevel)
{
    CLogCapture log;
    StringW deep = Path(L"a\\b\\c");
    CreateDirectoryByPath(deep);
    EXPECT_TRUE(IsDir(Path(L"a\\b\\c")));
    CreateDirectoryByPath(Path(L"a\\b\\x\\y\\"));
    EXPECT_TRUE(IsDir(Path(L"a\\b\\x\\y")));
    EXPECT_NO_THROW(CreateDirectoryByPath(deep));
    EXPECT_NO_THROW(CreateDirectoryByPath(L"C:\\"));
    EXPECT_TRUE(log.Text().empty()) << log.Text();
}

TEST_F(FileSystemTest, CreateDirectoryByPathBeyondTheLengthLimit)
{
    std::vector<StringW> levels{m_root};
    for (int i = 0; i < 6; ++i)
        levels.push_back(levels.back() + StringW(60, static_cast<wchar_t>(L'a' + i)) + L"\\");
    StringW deep = levels.back();
    ASSERT_GT(deep.size(), 300u);
    CreateDirectoryByPath(deep);
    EXPECT_TRUE(IsDir(deep));
    StringW file = deep + L"f.txt";
    WriteFile(file, "12345");
    EXPECT_EQ(GetFileSizeByPath(file), 5u);
    // The shell's tree deletion stops at the classic length limit: take it down level by level.
    Os::DeleteFile(file);
    for (size_t i = levels.size() - 1; i > 0; --i) {
        DeleteEmptyDirectory(levels[i]);
        EXPECT_FALSE(IsDir(levels[i]));
    }
}

TEST_F(FileSystemTest, CreateDirectoryByPathStopsAtADoubledBackslash)
{
    CreateDirectoryByPath(Path(L"first\\\\second"));
    EXPECT_TRUE(IsDir(Path(L"first")));
    EXPECT_FALSE(IsDir(Path(L"first\\second")));
}

TEST_F(FileSystemTest, CreateDirectoryByPathOnAMissingDrive)
{
    wchar_t drive = MissingDrive();
    ASSERT_NE(drive, L'\0');
    StringW root = StringW::Format(L"%c:\\", drive);
    CLogCapture log;
    try {
        CreateDirectoryByPath(root);
        FAIL() << "no exception";
    } catch (const CWinError&) {
        FAIL() << "the check after the walk should fail, not the walk";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetDescription(), L"CreateDirectoryByPath succeeded, but directory is absent: " + root);
    }
    EXPECT_TRUE(log.Contains("WARNING: CreateDirectoryByPath called on fs root: " + root.ToUtf8() + "\r\n"))
        << log.Text();
    // Below a missing drive the first level cannot be made.
    CWinError e = Raised<CWinError>([&] { CreateDirectoryByPath(root + L"x\\y"); });
    EXPECT_EQ(e.GetContext(), root + L"x\\");
}

TEST_F(FileSystemTest, CreateDirectoryByPathResolvesRelativePaths)
{
    wchar_t saved[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH + 1, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(m_root.c_str()));
    CLogCapture log;
    CreateDirectoryByPath(L"rel\\one");
    // Rooted on the current drive: the folder is made from the drive's root.
    StringW rooted = StringW(m_root.substr(2)) + L"rooted\\two";
    CreateDirectoryByPath(rooted);
    ::SetCurrentDirectoryW(saved);

    EXPECT_TRUE(IsDir(Path(L"rel\\one")));
    EXPECT_TRUE(IsDir(Path(L"rooted\\two")));
    std::string text = log.Text();
    std::string current = StringW(m_root.substr(0, m_root.size() - 1)).ToUtf8();
    EXPECT_NE(text.find("WARNING: CreateDirectoryByPath called on relative path (rel\\one); using current "
                        "directory as base: " +
                        current + "\r\n"),
              std::string::npos)
        << text;
    std::string base = StringW::Format(L"%c:\\", m_root[0]).ToUtf8();
    EXPECT_NE(text.find("WARNING: CreateDirectoryByPath called on relative path (" + rooted.ToUtf8() +
                        "); using current drive as base: " + base + "\r\n"),
              std::string::npos)
        << text;
}

TEST_F(FileSystemTest, CreateDirectoryByPathOverAFile)
{
    WriteFile(Path(L"file"), "x");
    try {
        CreateDirectoryByPath(Path(L"file\\sub"));
        FAIL() << "no exception";
    } catch (const CException& e) {
        EXPECT_NE(e.GetDescription().find(Path(L"file")), StringW::npos) << e.what();
    }
}

TEST_F(FileSystemTest, AttributesAndSizes)
{
    StringW file = Path(L"five.bin");
    WriteFile(file, "12345");
    EXPECT_EQ(GetFileAttributes(Path(L"absent")), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(IsFile(file));
    WIN32_FILE_ATTRIBUTE_DATA data = GetFileAttributesEx(file);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    CWinError e = Raised<CWinError>([&] { GetFileAttributesEx(Path(L"absent")); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetContext(), Path(L"absent"));

    EXPECT_EQ(GetFileSizeByPath(file), 5u);
    EXPECT_EQ(GetFileSizeByPath(m_root), 0u);
    EXPECT_EQ(GetFileSizeByPath(Path(L"absent")), 0u);

    CHandle handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle);
    EXPECT_EQ(Os::GetFileSize(handle.Get()), 5u);
    e = Raised<CWinError>([&] { Os::GetFileSize(INVALID_HANDLE_VALUE); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(e.GetContext().empty());
}

TEST_F(FileSystemTest, CopyAndMoveReplaceTheDestination)
{
    WriteFile(Path(L"src"), "new");
    WriteFile(Path(L"dst"), "old contents");
    Os::CopyFile(Path(L"src"), Path(L"dst"));
    EXPECT_EQ(Read(Path(L"dst")), "new");
    EXPECT_EQ(Read(Path(L"src")), "new");

    WriteFile(Path(L"moved"), "older");
    WriteFile(Path(L"src"), "newest");
    Os::MoveFile(Path(L"src"), Path(L"moved"));
    EXPECT_EQ(Read(Path(L"moved")), "newest");
    EXPECT_FALSE(IsFile(Path(L"src")));

    CWinError e = Raised<CWinError>([&] { Os::CopyFile(Path(L"absent"), Path(L"to")); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetContext(), Path(L"to"));
    e = Raised<CWinError>([&] { Os::MoveFile(Path(L"absent"), Path(L"to")); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetContext(), Path(L"to"));
}

TEST_F(FileSystemTest, LongPathsWorkForFileOperations)
{
    StringW deep = m_root + StringW(200, L'd') + L"\\" + StringW(100, L'e') + L"\\";
    CreateDirectoryByPath(deep);
    WriteFile(Path(L"short"), "data");
    Os::CopyFile(Path(L"short"), deep + L"copy");
    Os::MoveFile(deep + L"copy", deep + L"moved");
    EXPECT_EQ(Read(deep + L"moved"), "data");
    Os::DeleteFile(deep + L"moved");
    EXPECT_EQ(GetFileAttributes(deep + L"moved"), INVALID_FILE_ATTRIBUTES);
    DeleteEmptyDirectory(deep);
    EXPECT_FALSE(IsDir(deep));
    for (size_t length : {259u, 260u, 261u}) {
        const StringW file = m_root + StringW(length - m_root.size(), L'f');
        WriteFileContents(file, "x", 1);
        EXPECT_EQ(GetFileSizeByPath(file), 1u) << length;
        Os::DeleteFile(file);
        EXPECT_EQ(GetFileAttributes(file), INVALID_FILE_ATTRIBUTES) << length;
    }
}

TEST_F(FileSystemTest, DeleteFileKeepsTheErrorWhileTheExceptionLeaves)
{
    CLogCapture log;
    ::SetLastError(0);
    try {
        Os::DeleteFile(Path(L"absent"));
        FAIL() << "no exception";
    } catch (const CWinError& e) {
        DWORD lastError = ::GetLastError();
        EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(lastError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(e.GetContext(), Path(L"absent"));
    }
    EXPECT_TRUE(log.Contains("Throwing exception at FileSystem.cpp, Quenzal::Os::DeleteFile, line "));
}

TEST_F(FileSystemTest, TryDeleteFile)
{
    WriteFile(Path(L"f"), "x");
    EXPECT_TRUE(TryDeleteFile(Path(L"f")));
    EXPECT_FALSE(IsFile(Path(L"f")));
    EXPECT_FALSE(TryDeleteFile(Path(L"f")));
    EXPECT_FALSE(TryDeleteFile(m_root));
    EXPECT_TRUE(IsDir(m_root));
    // A read-only file cannot be deleted: false, not an exception.
    WriteFile(Path(L"ro"), "x");
    ASSERT_TRUE(::SetFileAttributesW(Path(L"ro").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(TryDeleteFile(Path(L"ro")));
    ::SetFileAttributesW(Path(L"ro").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileSystemTest, DeleteDirectoryRemovesTheTree)
{
    CreateDirectoryByPath(Path(L"tree\\a\\b"));
    WriteFile(Path(L"tree\\a\\b\\f"), "x");
    WriteFile(Path(L"tree\\g"), "y");
    DeleteDirectory(Path(L"tree"));
    EXPECT_EQ(GetFileAttributes(Path(L"tree")), INVALID_FILE_ATTRIBUTES);

    CreateDirectoryByPath(Path(L"tree2\\a"));
    EXPECT_TRUE(TryDeleteDirectory(Path(L"tree2")));
    EXPECT_FALSE(IsDir(Path(L"tree2")));
    EXPECT_FALSE(TryDeleteDirectory(Path(L"tree2")));
    WriteFile(Path(L"file"), "x");
    EXPECT_FALSE(TryDeleteDirectory(Path(L"file")));
    EXPECT_TRUE(IsFile(Path(L"file")));
    // A folder in the long-path form: its prefix holds no wildcard.
    CreateDirectoryByPath(L"\\\\?\\" + Path(L"prefixed\\a"));
    WriteFile(Path(L"prefixed\\a\\f"), "x");
    DeleteDirectory(L"\\\\?\\" + Path(L"prefixed"));
    EXPECT_FALSE(IsDir(Path(L"prefixed")));
}

// A tree holding a path longer than MAX_PATH goes, and nothing beside it:
// neither the current folder's files nor, for an empty name, the folder.
// Both lie outside the fixture's folder, deleted once the current folder is
// back.
TEST_F(FileSystemTest, DeleteDirectoryStaysInsideTheTree)
{
    const StringW current = QzlTest::UniqueTempPath(L"current");
    CreateDirectoryByPath(current);
    WriteFile(CombinePath(current, L"canary"), "x");
    const StringW tree = QzlTest::UniqueTempPath(L"tree");
    StringW deep = tree;
    while (deep.size() <= MAX_PATH)
        deep = CombinePath(deep, std::wstring(50, L'd'));
    CreateDirectoryByPath(deep);
    WriteFile(CombinePath(deep, L"f"), "x");
    const StringW previous = GetCurrentDirectory();
    ASSERT_TRUE(::SetCurrentDirectoryW(current.c_str()));
    const bool deleted = TryDeleteDirectory(tree);
    Raised([] { DeleteDirectory(L""); });
    EXPECT_TRUE(IsFile(CombinePath(current, L"canary")));
    ::SetCurrentDirectoryW(previous.c_str());
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(IsDir(tree));
    DeleteDirectory(current);
}

TEST_F(FileSystemTest, DeleteDirectoryFailure)
{
    CLogCapture log;
    try {
        DeleteDirectory(Path(L"absent"));
        FAIL() << "no exception";
    } catch (const CException& e) {
        std::wregex form(LR"(Failure during system call \(SHFileOperationW\( FO_DELETE\)\): 0x[0-9A-F]+)");
        EXPECT_TRUE(std::regex_match(e.GetDescription(), form)) << e.what();
    }
    EXPECT_TRUE(log.Contains("Throwing exception at FileSystem.cpp, Quenzal::Os::DeleteDirectory, line "));
}

TEST_F(FileSystemTest, DeleteEmptyDirectoryLeavesAFullOne)
{
    CreateDirectoryByPath(Path(L"full"));
    WriteFile(Path(L"full\\f"), "x");
    EXPECT_NO_THROW(DeleteEmptyDirectory(Path(L"full")));
    EXPECT_TRUE(IsFile(Path(L"full\\f")));
    EXPECT_TRUE(TryDeleteEmptyDirectory(Path(L"full")));
    EXPECT_TRUE(IsDir(Path(L"full")));

    CreateDirectoryByPath(Path(L"empty"));
    DeleteEmptyDirectory(Path(L"empty"));
    EXPECT_FALSE(IsDir(Path(L"empty")));
    CWinError e = Raised<CWinError>([&] { DeleteEmptyDirectory(Path(L"empty")); });
    EXPECT_EQ(e.GetContext(), Path(L"empty"));
    EXPECT_NE(e.GetErrorCode(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));

    CreateDirectoryByPath(Path(L"empty2"));
    EXPECT_TRUE(TryDeleteEmptyDirectory(Path(L"empty2")));
    EXPECT_FALSE(IsDir(Path(L"empty2")));
    EXPECT_FALSE(TryDeleteEmptyDirectory(Path(L"empty2")));
    EXPECT_FALSE(TryDeleteEmptyDirectory(Path(L"full\\f")));
}

TEST_F(FileSystemTest, MakeUniqueFilePathCountsUp)
{
    StringW file = Path(L"f.txt");
    EXPECT_EQ(MakeUniqueFilePath(file), file);
    WriteFile(file, "x");
    EXPECT_EQ(MakeUniqueFilePath(file), Path(L"f (1).txt"));
    WriteFile(Path(L"f (1).txt"), "x");
    EXPECT_EQ(MakeUniqueFilePath(file), Path(L"f (2).txt"));
    WriteFile(Path(L"noext"), "x");
    EXPECT_EQ(MakeUniqueFilePath(Path(L"noext")), Path(L"noext (1)"));
}

TEST_F(FileSystemTest, MakeUniqueFilePathNeverGivesAFolder)
{
    CreateDirectoryByPath(Path(L"d.txt"));
    EXPECT_EQ(MakeUniqueFilePath(Path(L"d.txt")), Path(L"d (1).txt"));
    CreateDirectoryByPath(Path(L"d (1).txt"));
    WriteFile(Path(L"d (2).txt"), "x");
    StringW unique = MakeUniqueFilePath(Path(L"d.txt"));
    EXPECT_EQ(unique, Path(L"d (3).txt"));
    // The caller can create its file there.
    WriteFile(unique, "ok");
    EXPECT_EQ(Read(unique), "ok");
}

TEST_F(FileSystemTest, TemporaryFolderAndFiles)
{
    StringW temp = GetTemporaryDirectory();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_TRUE(IsDir(temp));
    EXPECT_EQ(temp, QzlTest::TempDirectory());
    EXPECT_EQ(GetTemporaryDirectory(), temp);

    StringW made = CreateTemporaryFilePath(L"");
    EXPECT_TRUE(IsFile(made));
    EXPECT_EQ(GetFileSizeByPath(made), 0u);
    EXPECT_EQ(GetDirectoryFromPath(made), temp);
    EXPECT_EQ(GetFileNameFromPath(made).substr(0, 3), L"QZL");
    EXPECT_EQ(GetFileExtension(made), L"tmp");
    Os::DeleteFile(made);

    StringW here = CreateTemporaryFilePath(m_root);
    EXPECT_EQ(GetDirectoryFromPath(here), m_root);
    EXPECT_NE(CreateTemporaryFilePath(m_root), here);

    StringW missing = Path(L"missing");
    CWinError e = Raised<CWinError>([&] { CreateTemporaryFilePath(missing); });
    EXPECT_EQ(e.GetContext(), missing);
}

TEST_F(FileSystemTest, LocalApplicationDataFolder)
{
    wchar_t expected[MAX_PATH + 1] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, expected), S_OK);
    StringW dir = GetApplicationDataDirectory();
    EXPECT_EQ(dir, StringW(expected) + L"\\");
    EXPECT_TRUE(IsDir(dir));

    StringW relative = GetFileNameFromPath(QzlTest::UniqueTempPath(L"qzlapp"));
    StringW sub = GetApplicationDataSubdirectory(L"\\" + relative + L"\\inner");
    EXPECT_EQ(sub, dir + relative + L"\\inner\\");
    EXPECT_EQ(GetFileAttributes(sub), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetApplicationDataSubdirectory(relative + L"\\"), dir + relative + L"\\");
}

#include "File.h"
#include "MemoryStream.h"
#include "StreamingError.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <vector>

using namespace Quenzal;
using Quenzal::Os::CFile;
using QzlTest::Raised;
using QzlTest::ReadWholeFile;

namespace {

class FileTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (const StringW& path : m_paths)
            ::DeleteFileW(path.c_str());
    }
    StringW NewPath()
    {
        m_paths.push_back(QzlTest::UniqueTempPath(L"qzlfile"));
        return m_paths.back();
    }
    StringW FileWith(const std::string& content)
    {
        StringW path = NewPath();
        Os::WriteFileContents(path, content.data(), content.size());
        return path;
    }

private:
    std::vector<StringW> m_paths;
};

// Another handle on the same file, as a second program would open it.
bool CanOpen(const StringW& path, DWORD access)
{
    Os::CHandle other(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    0, nullptr));
    return other.IsValid();
}

// Records the size of every write.
class CPieceStream : public CMemoryStream {
public:
    std::vector<uint64_t> chunks;

protected:
    void DoWrite(const void* data, uint64_t length) override
    {
        chunks.push_back(length);
        CMemoryStream::DoWrite(data, length);
    }
};

} // namespace

TEST_F(FileTest, WriteModeCreatesOrEmptiesTheFile)
{
    const StringW path = FileWith("old content");
    {
        CFile file(path, CFile::OpenWrite);
        EXPECT_TRUE(file.IsOpen());
        EXPECT_EQ(file.GetPath(), path);
        EXPECT_EQ(file.GetLength(), 0u);
        file.Write("new", 3, true);
    }
    EXPECT_EQ(ReadWholeFile(path), "new");

    const StringW created = NewPath();
    CFile file(created, CFile::OpenWrite);
    file.Write("x", 1, false);
    EXPECT_EQ(ReadWholeFile(created), "x");
}

TEST_F(FileTest, ReadWriteModeKeepsTheContentAndStartsAtTheBeginning)
{
    const StringW path = FileWith("abcdef");
    {
        CFile file(path, CFile::OpenReadWrite);
        EXPECT_EQ(file.GetCurrentPosition(), 0u);
        file.Write("XY", 2, false);
        EXPECT_EQ(file.Read(2), "cd");
    }
    EXPECT_EQ(ReadWholeFile(path), "XYcdef");

    const StringW created = NewPath();
    CFile file(created, CFile::OpenReadWrite);
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(::GetFileAttributesW(created.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(FileTest, AppendModeWritesAfterTheOldContent)
{
    const StringW path = FileWith("abc");
    {
        CFile file(path, CFile::OpenAppend);
        EXPECT_EQ(file.GetCurrentPosition(), 3u);
        file.Write("def", 3, false);
    }
    EXPECT_EQ(ReadWholeFile(path), "abcdef");

    const StringW created = NewPath();
    CFile file(created, CFile::OpenAppend);
    file.Write("1", 1, false);
    file.Seek(0, FILE_BEGIN);
    file.Append("2", 1, true);
    EXPECT_EQ(ReadWholeFile(created), "12");
}

TEST_F(FileTest, OpenFailuresNameThePath)
{
    QzlTest::CLogCapture log;
    const StringW missing = NewPath();
    CWinError e = Raised<CWinError>([&] { CFile file(missing, CFile::OpenRead); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetDescription(), GetErrorText(ERROR_FILE_NOT_FOUND) + L": " + missing);
    EXPECT_TRUE(log.Contains("Throwing exception at File.cpp, Quenzal::Os::CFile::Open, line ")) << log.Text();

    CException unexpected = Raised<CException>([&] { CFile file(missing, 7); });
    EXPECT_EQ(unexpected.GetDescription(), StringW(L"Unexpected case"));
    EXPECT_EQ(::GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);

    // A failed reopen leaves the object closed.
    const StringW path = FileWith("abc");
    CFile file(path, CFile::OpenRead);
    Raised<CWinError>([&] { file.Open(missing, CFile::OpenRead, CFile::DefaultShare, FILE_ATTRIBUTE_NORMAL); });
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.GetPath().empty());
}

TEST_F(FileTest, DefaultSharing)
{
    const StringW path = FileWith("abc");
    {
        CFile reader(path, CFile::OpenRead);
        EXPECT_TRUE(CanOpen(path, GENERIC_WRITE));
        EXPECT_TRUE(CanOpen(path, GENERIC_READ));
    }
    for (DWORD mode : {CFile::OpenWrite, CFile::OpenReadWrite, CFile::OpenAppend}) {
        CFile writer(path, mode);
        EXPECT_TRUE(CanOpen(path, GENERIC_READ)) << mode;
        EXPECT_FALSE(CanOpen(path, GENERIC_WRITE)) << mode;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    // Any other share value goes to the system as it is.
    CFile exclusive(path, CFile::OpenRead);
    exclusive.Open(path, CFile::OpenRead, 0, FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(CanOpen(path, GENERIC_READ));
    exclusive.Close();
    EXPECT_TRUE(CanOpen(path, GENERIC_READ));
}

TEST_F(FileTest, ReadsReturnOnlyTheBytesRead)
{
    QzlTest::CLogCapture log;
    const StringW path = FileWith("0123456789");
    CFile file(path, CFile::OpenRead);
    EXPECT_EQ(file.Read(4), "0123");
    std::string data = "x";
    EXPECT_EQ(file.Read(data, 4), 4u);
    EXPECT_EQ(data, "x4567");
    // A short read gives the bytes that were left and no padding.
    EXPECT_EQ(file.Read(100), "89");

    CException e = Raised<CException>([&] { file.Read(data, 5); });
    EXPECT_EQ(e.GetDescription(), L"Attempt to read past end of file: " + path);
    EXPECT_EQ(data, "x4567");
    EXPECT_TRUE(log.Contains("Throwing exception at File.cpp, Quenzal::Os::CFile::Read, line ")) << log.Text();
    char buffer[8];
    uint64_t count = 99;
    EXPECT_EQ(file.Read(buffer, sizeof(buffer), count), 0u);
    EXPECT_EQ(count, 0u);

    CFile again(path, CFile::OpenRead);
    EXPECT_EQ(again.Read(), "0123456789");
    EXPECT_EQ(again.Read(buffer, 0), 0u);

    const StringW empty = FileWith("");
    CFile nothing(empty, CFile::OpenRead);
    EXPECT_EQ(nothing.Read(), "");
}

TEST_F(FileTest, PositionsTruncationAndInformation)
{
    const StringW path = NewPath();
    CFile file(path, CFile::OpenReadWrite);
    file.Write("hello world", 11, false);
    EXPECT_EQ(file.GetCurrentPosition(), 11u);
    file.Seek(-5, FILE_END);
    EXPECT_EQ(file.GetCurrentPosition(), 6u);
    EXPECT_EQ(file.Read(5), "world");
    file.Seek(0, FILE_BEGIN);
    file.Append("!", 1, false);
    file.Commit();
    EXPECT_EQ(ReadWholeFile(path), "hello world!");

    BY_HANDLE_FILE_INFORMATION information{};
    EXPECT_EQ(&file.GetFileInformation(information), &information);
    EXPECT_EQ(information.nFileSizeLow, 12u);
    EXPECT_EQ(information.nFileSizeHigh, 0u);
    EXPECT_EQ(information.nNumberOfLinks, 1u);
    EXPECT_EQ(file.GetLength(), 12u);

    CWinError e = Raised<CWinError>([&] { file.Seek(-1, FILE_BEGIN); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(e.GetContext(), path);

    file.Truncate();
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(file.GetCurrentPosition(), 0u);
    EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(FileTest, FailedCallsRaiseWithThePath)
{
    const StringW path = FileWith("abc");
    CFile reader(path, CFile::OpenRead);
    CWinError write = Raised<CWinError>([&] { reader.Write("x", 1, false); });
    EXPECT_EQ(write.GetErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(write.GetDescription(), GetErrorText(ERROR_ACCESS_DENIED) + L": " + path);

    CFile writer(path, CFile::OpenWrite);
    CWinError read = Raised<CWinError>([&] { writer.Read(1); });
    EXPECT_EQ(read.GetErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read.GetContext(), path);
}

TEST_F(FileTest, CloseAndDelete)
{
    const StringW path = FileWith("abc");
    CFile file(path, CFile::OpenRead);
    file.Delete();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.GetPath().empty());
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    file.Close();
    file.Close();

    // Deleting while another program holds the file open without delete sharing fails.
    const StringW held = FileWith("abc");
    Os::CHandle other(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other.IsValid());
    CFile second(held, CFile::OpenRead);
    CWinError e = Raised<CWinError>([&] { second.Delete(); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(e.GetContext(), held);
}

TEST_F(FileTest, AsAnOutputStream)
{
    const StringW path = NewPath();
    CFile file(path, CFile::OpenWrite);
    IOutStream& stream = file;
    stream.Write("abc", 3);
    stream.Write("", 0);
    EXPECT_EQ(stream.GetBytesWritten(), 3u);
    EXPECT_EQ(ReadWholeFile(path), "abc");

    // A failing system call reaches the producer as a write error with its text.
    CFile reader(path, CFile::OpenRead);
    CStreamWritingError e = Raised<CStreamWritingError>([&] { static_cast<IOutStream&>(reader).Write("x", 1); });
    EXPECT_EQ(e.GetDescription(), CWinError(ERROR_ACCESS_DENIED, path.c_str()).GetDescription());
    EXPECT_EQ(reader.GetBytesWritten(), 0u);

    // Even 0 bytes to a closed file are an error.
    file.Close();
    CStreamWritingError closed = Raised<CStreamWritingError>([&] { stream.Write("", 0); });
    EXPECT_EQ(closed.GetDescription(), StringW(L"Operation cannot be performed on null stream"));
}

TEST_F(FileTest, StreamsOutInPiecesFromTheStart)
{
    std::string content;
    for (int i = 0; i < 10000; ++i)
        content.push_back(static_cast<char>('a' + i % 26));
    const StringW path = FileWith(content);
    CFile file(path, CFile::OpenRead);
    file.Seek(17, FILE_BEGIN);
    EXPECT_EQ(file.GetLength(), 10000u);
    CPieceStream stream;
    stream << file;
    EXPECT_EQ(stream.chunks, (std::vector<uint64_t>{4096, 4096, 1808}));
    EXPECT_EQ(stream.GetData(), content);
    EXPECT_EQ(file.GetCurrentPosition(), 10000u);
    EXPECT_EQ(StreamToString(file), content);

    // A file that cannot be read fails as a streamable.
    CFile writer(NewPath(), CFile::OpenWrite);
    writer.Write("abc", 3, false);
    CStreamReadingError e = Raised<CStreamReadingError>([&] { StreamToString(writer); });
    EXPECT_EQ(e.GetDescription(), CWinError(ERROR_ACCESS_DENIED, writer.GetPath().c_str()).GetDescription());
}

TEST_F(FileTest, WholeFileFunctions)
{
    const StringW path = NewPath();
    Os::AppendFileContents(path, "abc", 3); // created when missing
    Os::AppendFileContents(path, "def", 3);
    EXPECT_EQ(Os::ReadFileContents(path), "abcdef");
    Os::WriteFileContents(path, "xy", 2);
    EXPECT_EQ(Os::ReadFileContents(path), "xy");
    Os::WriteFileContents(path, nullptr, 0);
    EXPECT_EQ(Os::ReadFileContents(path), "");
    EXPECT_EQ(ReadWholeFile(path), "");
    std::string binary("\0\1\2\xff", 4);
    Os::WriteFileContents(path, binary.data(), binary.size());
    EXPECT_EQ(Os::ReadFileContents(path), binary);

    const StringW missing = NewPath();
    CWinError e = Raised<CWinError>([&] { Os::ReadFileContents(missing); });
    EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetContext(), missing);
}

TEST_F(FileTest, FilesLargerThan4GiB)
{
    // A sparse file: the 5 GiB take no room on the disk.
    const StringW path = NewPath();
    {
        Os::CHandle raw(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(raw.IsValid());
        DWORD returned = 0;
        ASSERT_TRUE(::DeviceIoControl(raw.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr))
            << ::GetLastError();
    }
    const uint64_t offset = (5ull << 30) + 123;
    {
        CFile file(path, CFile::OpenReadWrite);
        file.Seek(static_cast<int64_t>(offset), FILE_BEGIN);
        file.Write("tail", 4, true);
        EXPECT_EQ(file.GetCurrentPosition(), offset + 4);
        EXPECT_EQ(file.GetLength(), offset + 4);
        BY_HANDLE_FILE_INFORMATION information{};
        file.GetFileInformation(information);
        EXPECT_EQ((static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow, offset + 4);
    }
    {
        CFile file(path, CFile::OpenAppend);
        EXPECT_EQ(file.GetCurrentPosition(), offset + 4);
        file.Write("more", 4, false);
    }
    Os::AppendFileContents(path, "!", 1);
    {
        CFile file(path, CFile::OpenRead);
        EXPECT_EQ(file.GetLength(), offset + 9);
        file.Seek(static_cast<int64_t>(offset), FILE_BEGIN);
        EXPECT_EQ(file.Read(100), "tailmore!");
        file.Seek(-9, FILE_END);
        EXPECT_EQ(file.GetCurrentPosition(), offset);
        file.Seek((4ll << 30) - 2, FILE_BEGIN);
        EXPECT_EQ(file.Read(4), std::string(4, '\0'));

        // A request of 4 GiB is not cut to its low 32 bits (which are 0). The
        // buffer is committed but only its first page is ever touched.
        const uint64_t fourGiB = 4ull << 30;
        void* buffer = ::VirtualAlloc(nullptr, fourGiB, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        ASSERT_NE(buffer, nullptr);
        file.Seek(-9, FILE_END);
        uint64_t count = 0;
        EXPECT_EQ(file.Read(buffer, fourGiB, count), 9u);
        EXPECT_EQ(std::string(static_cast<const char*>(buffer), 9), "tailmore!");
        ::VirtualFree(buffer, 0, MEM_RELEASE);
    }
    {
        CFile file(path, CFile::OpenReadWrite);
        EXPECT_EQ(file.GetLength(), offset + 9);
        file.Truncate();
        EXPECT_EQ(file.GetLength(), 0u);
    }
}

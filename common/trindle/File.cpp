#include "File.h"

#include "ErrorReport.h"
#include "Os.h"

#include <algorithm>
#include <utility>

namespace Quenzal::Os {

namespace {

// ReadFile and WriteFile take a 32-bit length: larger transfers are split,
// into chunks kept moderate because some implementations prepare the whole
// buffer of a call before they read into it.
constexpr uint64_t kMaxTransfer = 64ull * 1024 * 1024;

} // namespace

CFile::CFile(const std::wstring& path, DWORD mode)
{
    Open(path, mode, DefaultShare, FILE_ATTRIBUTE_NORMAL);
}

CFile::~CFile()
{
    try {
        Close();
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
}

bool CFile::IsOpen() const
{
    return m_handle.IsValid();
}

void CFile::Open(const std::wstring& path, DWORD mode, DWORD share, DWORD flagsAndAttributes)
{
    Close();

    DWORD access = 0;
    DWORD disposition = 0;
    DWORD defaultShare = 0;
    switch (mode) {
    case OpenRead:
        access = FILE_GENERIC_READ;
        disposition = OPEN_EXISTING;
        defaultShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    case OpenWrite:
        access = FILE_GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        defaultShare = FILE_SHARE_READ;
        break;
    case OpenReadWrite:
    case OpenAppend:
        access = FILE_GENERIC_READ | FILE_GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        defaultShare = FILE_SHARE_READ;
        break;
    default:
        QZL_THROW(QZL_FUNCTION, CException(L"Unexpected case"));
    }
    if (share == DefaultShare)
        share = defaultShare;

    CHandle handle = OpenFileHandle(path, access, share, disposition, flagsAndAttributes);
    if (!handle) {
        const DWORD error = ::GetLastError();
        QZL_THROW(QZL_FUNCTION, CWinError(error, path.c_str()));
    }
    m_handle = std::move(handle);
    m_path = path;
    if (mode == OpenAppend)
        Seek(0, FILE_END);
}

void CFile::Close()
{
    m_handle.Close();
    m_path.clear();
}

uint64_t CFile::Read(void* buffer, uint64_t size, uint64_t& bytesRead)
{
    char* target = static_cast<char*>(buffer);
    bytesRead = 0;
    while (bytesRead < size) {
        const DWORD chunk = static_cast<DWORD>(std::min(size - bytesRead, kMaxTransfer));
        DWORD count = 0;
        if (!::ReadFile(m_handle.Get(), target + bytesRead, chunk, &count, nullptr)) {
            const DWORD error = ::GetLastError();
            QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
        }
        if (count == 0)
            break;
        bytesRead += count;
    }
    return bytesRead;
}

void CFile::Write(const void* data, uint64_t length, bool commit)
{
    const char* source = static_cast<const char*>(data);
    for (uint64_t done = 0; done < length;) {
        const DWORD chunk = static_cast<DWORD>(std::min(length - done, kMaxTransfer));
        DWORD count = 0;
        if (!::WriteFile(m_handle.Get(), source + done, chunk, &count, nullptr)) {
            const DWORD error = ::GetLastError();
            QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
        }
        // A file write that stops short has lost data.
        if (count != chunk)
            QZL_THROW(QZL_FUNCTION, CWinError(ERROR_WRITE_FAULT, m_path.c_str()));
        done += chunk;
    }
    if (commit)
        Commit();
}

void CFile::Append(const void* data, uint64_t length, bool commit)
{
    Seek(0, FILE_END);
    Write(data, length, commit);
}

void CFile::Commit()
{
    if (!::FlushFileBuffers(m_handle.Get())) {
        const DWORD error = ::GetLastError();
        QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
    }
}

void CFile::Truncate()
{
    Seek(0, FILE_BEGIN);
    if (!::SetEndOfFile(m_handle.Get())) {
        const DWORD error = ::GetLastError();
        QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
    }
}

void CFile::Delete()
{
    const StringW path = m_path;
    Close();
    DeleteFile(path);
}

uint64_t CFile::GetCurrentPosition() const
{
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(m_handle.Get(), LARGE_INTEGER{}, &position, FILE_CURRENT)) {
        const DWORD error = ::GetLastError();
        QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
    }
    return static_cast<uint64_t>(position.QuadPart);
}

void CFile::Seek(int64_t offset, DWORD moveMethod)
{
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(m_handle.Get(), distance, nullptr, moveMethod)) {
        const DWORD error = ::GetLastError();
        QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
    }
}

BY_HANDLE_FILE_INFORMATION& CFile::GetFileInformation(BY_HANDLE_FILE_INFORMATION& information) const
{
    if (!::GetFileInformationByHandle(m_handle.Get(), &information)) {
        const DWORD error = ::GetLastError();
        QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
    }
    return information;
}

uint64_t CFile::Read(void* buffer, uint64_t size)
{
    if (size == 0)
        return 0;
    uint64_t count = 0;
    Read(buffer, size, count);
    if (count == 0)
        QZL_THROW(QZL_FUNCTION, CException(L"Attempt to read past end of file: " + m_path));
    return count;
}

uint64_t CFile::Read(std::string& data, uint64_t size)
{
    const size_t start = data.size();
    data.resize(start + static_cast<size_t>(size));
    try {
        const uint64_t count = Read(data.data() + start, size);
        // Only what was read stays: a short read leaves no padding behind.
        data.resize(start + static_cast<size_t>(count));
        return count;
    } catch (...) {
        data.resize(start);
        throw;
    }
}

std::string CFile::Read(uint64_t size)
{
    std::string data;
    Read(data, size);
    return data;
}

std::string CFile::Read()
{
    const uint64_t size = GetLength();
    if (size == 0)
        return std::string();
    return Read(size);
}

uint64_t CFile::GetLength() const
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_handle.Get(), &size)) {
        const DWORD error = ::GetLastError();
        QZL_THROW(QZL_FUNCTION, CWinError(error, m_path.c_str()));
    }
    return static_cast<uint64_t>(size.QuadPart);
}

void CFile::WriteTo(IOutStream& stream) const
{
    // Streaming out moves the file position, which the handle keeps; the
    // object itself does not change.
    CFile& file = const_cast<CFile&>(*this);
    file.Seek(0, FILE_BEGIN);
    char buffer[4096];
    for (;;) {
        uint64_t count = 0;
        file.Read(buffer, sizeof(buffer), count);
        if (count == 0)
            break;
        stream.Write(buffer, count);
    }
}

void CFile::DoWrite(const void* data, uint64_t length)
{
    Write(data, length, false);
}

std::string ReadFileContents(const std::wstring& path)
{
    CFile file(path, CFile::OpenRead);
    return file.Read();
}

void WriteFileContents(const std::wstring& path, const void* data, uint64_t length)
{
    CFile file(path, CFile::OpenWrite);
    if (length == 0)
        file.Truncate();
    else
        file.Write(data, length, false);
}

void AppendFileContents(const std::wstring& path, const void* data, uint64_t length)
{
    CFile file(path, CFile::OpenReadWrite);
    file.Seek(0, FILE_END);
    file.Write(data, length, false);
}

} // namespace Quenzal::Os

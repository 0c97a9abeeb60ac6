#pragma once
// A file on disk as an output stream and as a streamable, plus the
// whole-file helpers that read, write or append a file in one call.

#include "OutStream.h"
#include "SmartPointer.h"
#include "StringW.h"

#include <cstdint>
#include <string>

namespace Quenzal::Os {

// An open Win32 file. Every failed system call raises CWinError with the
// file's path; the destructor never raises.
class CFile : public IOutStream, public IStreamable {
public:
    // Open modes.
    static constexpr DWORD OpenRead = 0;      // existing file; others may read and write
    static constexpr DWORD OpenWrite = 1;     // created or emptied; others may only read
    static constexpr DWORD OpenReadWrite = 2; // opened or created; others may only read
    static constexpr DWORD OpenAppend = 3;    // as OpenReadWrite, positioned at the end
    // Selects the mode's own share flags.
    static constexpr DWORD DefaultShare = 0xFFFFFFFF;

    CFile(const std::wstring& path, DWORD mode);
    ~CFile() override;

    bool IsOpen() const override;
    virtual void Open(const std::wstring& path, DWORD mode, DWORD share, DWORD flagsAndAttributes);
    virtual void Close();
    // Reads up to size bytes from the current position; fewer only at the end
    // of the file. Returns the count, also stored in bytesRead.
    virtual uint64_t Read(void* buffer, uint64_t size, uint64_t& bytesRead);
    // Writes all bytes at the current position; commit flushes them to disk.
    virtual void Write(const void* data, uint64_t length, bool commit);
    virtual void Append(const void* data, uint64_t length, bool commit);
    virtual void Commit();
    // Empties the file.
    virtual void Truncate();
    // Closes the file and deletes it.
    virtual void Delete();
    virtual uint64_t GetCurrentPosition() const;
    virtual void Seek(int64_t offset, DWORD moveMethod);
    virtual BY_HANDLE_FILE_INFORMATION& GetFileInformation(BY_HANDLE_FILE_INFORMATION& information) const;

    // Reads up to size bytes; raises when not a single byte could be read.
    uint64_t Read(void* buffer, uint64_t size);
    // Appends up to size bytes to data.
    uint64_t Read(std::string& data, uint64_t size);
    std::string Read(uint64_t size);
    // The rest of the file, which is all of it for a file just opened.
    std::string Read();

    // The stream write, counted and with failures as CStreamWritingError.
    using IOutStream::Write;

    uint64_t GetLength() const override;
    // Streams the whole file from its start; leaves the position at the end.
    void WriteTo(IOutStream& stream) const override;

    const StringW& GetPath() const { return m_path; }

protected:
    void DoWrite(const void* data, uint64_t length) override;

private:
    CHandle m_handle;
    StringW m_path;
};

std::string ReadFileContents(const std::wstring& path);
// Creates or replaces the file with the bytes given.
void WriteFileContents(const std::wstring& path, const void* data, uint64_t length);
// Adds the bytes at the end of the file, creating it when missing.
void AppendFileContents(const std::wstring& path, const void* data, uint64_t length);

} // namespace Quenzal::Os

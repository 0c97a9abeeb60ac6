#pragma once
// The state behind the process log: where lines go and how they are written.
// A log file of our own is kept within kLogFileBound while it is written:
// once it passes the bound it is cut to its last mebibyte, at a line start,
// so that an Outlook that runs for weeks does not fill the disk. The newest
// record stays whole even when it is longer than that mebibyte: an empty
// file would lose the very record that made it grow.

#include "CriticalSection.h"
#include "StringW.h"

#include <atomic>
#include <cstdint>

namespace Quenzal::Logging {

inline constexpr uint64_t kLogFileBound = 4 * 0x100000;

class CLogFile {
public:
    // The one log of the process, created on first use and destroyed at exit.
    static CLogFile& Instance();
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    void Write(const std::string& line);
    HANDLE GetHandle() const { return m_handle.load(); }
    // Makes handle the log; the previous one is closed when it was our own file.
    void Replace(HANDLE handle, const StringW& path);
    StringW GetPath();
    std::atomic<bool>& ThreadIds() { return m_threadIds; }
    Os::CCriticalSection& Lock() { return m_lock; }

private:
    CLogFile();
    void KeepWithinBound(HANDLE handle);

    StringW m_path;
    // The file's size as our own writes left it; a child process that was
    // given the handle may have added to it.
    uint64_t m_size = 0;
    std::atomic<bool> m_threadIds{false};
    Os::CCriticalSection m_lock;
    std::atomic<HANDLE> m_handle{nullptr};
};

} // namespace Quenzal::Logging

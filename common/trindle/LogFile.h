#pragma once
// The state behind the process log: where lines go and how they are written.

#include "CriticalSection.h"
#include "StringW.h"

#include <atomic>

namespace Quenzal::Logging {

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

    StringW m_path;
    std::atomic<bool> m_threadIds{false};
    Os::CCriticalSection m_lock;
    std::atomic<HANDLE> m_handle{nullptr};
};

} // namespace Quenzal::Logging

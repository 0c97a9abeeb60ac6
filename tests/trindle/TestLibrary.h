#pragma once
// Where the tests' own library lies, and small file helpers around it.

#include "StringW.h"

#include <windows.h>

namespace QzlTest {

// The folder of the test executable, with a trailing backslash.
inline Quenzal::StringW ExecutableFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    Quenzal::StringW folder(path, n);
    folder.resize(folder.find_last_of(L'\\') + 1);
    return folder;
}

inline Quenzal::StringW TestLibraryPath()
{
    return ExecutableFolder() + L"QzlTestDll.dll";
}

// Deletes a file when the test ends, whatever happens.
class CTemporaryFile {
public:
    explicit CTemporaryFile(Quenzal::StringW path) : m_path(std::move(path)) {}
    ~CTemporaryFile() { ::DeleteFileW(m_path.c_str()); }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;
    const Quenzal::StringW& Path() const { return m_path; }
    const wchar_t* c_str() const { return m_path.c_str(); }

private:
    Quenzal::StringW m_path;
};

} // namespace QzlTest

#pragma once
// Registry fixtures for tests: every key a test creates is deleted again when
// the fixture ends, also when the test fails.

#include "SmartPointer.h"
#include "StringW.h"

#include <memory>
#include <string>
#include <vector>

namespace QzlTest {

// A named mutex held for the lifetime of the object: tests in parallel
// processes that use the same real registry names take turns.
class CNamedTestLock {
public:
    explicit CNamedTestLock(const wchar_t* name);
    ~CNamedTestLock();
    CNamedTestLock(const CNamedTestLock&) = delete;
    CNamedTestLock& operator=(const CNamedTestLock&) = delete;

private:
    Quenzal::Os::CHandle m_mutex;
};

// A key of its own under HKCU\Software\QuenzalTest, deleted with all it holds.
class CScratchRegistryKey {
public:
    CScratchRegistryKey();
    ~CScratchRegistryKey();
    CScratchRegistryKey(const CScratchRegistryKey&) = delete;
    CScratchRegistryKey& operator=(const CScratchRegistryKey&) = delete;

    // Relative to HKEY_CURRENT_USER.
    const Quenzal::StringW& Path() const { return m_path; }
    Quenzal::StringW SubPath(const wchar_t* name) const { return m_path + L"\\" + name; }
    // Opened with full access.
    HKEY Key() const { return m_key; }

private:
    Quenzal::StringW m_path;
    HKEY m_key = nullptr;
};

// Remembers which keys along a path exist and, when it ends, deletes the
// keys that the test created along that path: with everything below them, or,
// for keys that other code may share, only those left empty.
class CRegistryPathCleanup {
public:
    enum Mode { WholeTree, OnlyEmptyKeys };
    CRegistryPathCleanup(HKEY root, const wchar_t* path, Mode mode = WholeTree);
    ~CRegistryPathCleanup();
    CRegistryPathCleanup(const CRegistryPathCleanup&) = delete;
    CRegistryPathCleanup& operator=(const CRegistryPathCleanup&) = delete;

    // Whether the whole path existed before the test.
    bool Existed() const { return m_firstMissing.empty(); }

private:
    HKEY m_root;
    Quenzal::StringW m_path;
    Mode m_mode;
    Quenzal::StringW m_firstMissing;
};

// Keeps a value's data and puts it back (or removes the value) when it ends.
class CRegistryValueRestore {
public:
    CRegistryValueRestore(HKEY root, const wchar_t* path, const wchar_t* name);
    ~CRegistryValueRestore();
    CRegistryValueRestore(const CRegistryValueRestore&) = delete;
    CRegistryValueRestore& operator=(const CRegistryValueRestore&) = delete;

private:
    HKEY m_root;
    Quenzal::StringW m_path;
    Quenzal::StringW m_name;
    bool m_existed = false;
    DWORD m_type = REG_NONE;
    std::vector<BYTE> m_data;
};

// A COM class registered for the test (ProgID, class id in braces, in-process
// server), removed again at the end. Tests of one ProgID take turns.
class CComClassRegistration {
public:
    CComClassRegistration(const Quenzal::StringW& progId, const Quenzal::StringW& classId,
                          const Quenzal::StringW& serverPath);
    ~CComClassRegistration();
    CComClassRegistration(const CComClassRegistration&) = delete;
    CComClassRegistration& operator=(const CComClassRegistration&) = delete;

    const Quenzal::StringW& GetClassId() const { return m_classId; }
    // The turn at a ProgID, for a test that needs it unregistered.
    static std::unique_ptr<CNamedTestLock> TakeTurn(const Quenzal::StringW& progId);

private:
    std::unique_ptr<CNamedTestLock> m_turn;
    Quenzal::StringW m_progId;
    Quenzal::StringW m_classId;
};

bool RegistryKeyExists(HKEY root, const wchar_t* path);
// True when the key exists and holds neither values nor sub-keys.
bool IsRegistryKeyEmpty(HKEY root, const wchar_t* path);
// Whether the log holds "<event> at <file>, <function>, line <number>: <description>"
// (the description's control characters shown as '?', as the log shows them).
bool HasReportLine(const std::string& log, const char* event, const char* file, const char* function,
                   const Quenzal::StringW& description);
// Writes a value with exactly these bytes and type (no terminator added).
void SetRawValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size);

} // namespace QzlTest

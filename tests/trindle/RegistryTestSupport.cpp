#include "RegistryTestSupport.h"

#include "Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace QzlTest {

using Quenzal::StringW;

namespace {

const wchar_t* const ScratchParent = L"Software\\QuenzalTest";

} // namespace

CNamedTestLock::CNamedTestLock(const wchar_t* name) : m_mutex(::CreateMutexW(nullptr, FALSE, name))
{
    // An abandoned mutex (a crashed test) is ours all the same.
    if (m_mutex)
        ::WaitForSingleObject(m_mutex.Get(), INFINITE);
}

CNamedTestLock::~CNamedTestLock()
{
    if (m_mutex)
        ::ReleaseMutex(m_mutex.Get());
}

CScratchRegistryKey::CScratchRegistryKey()
{
    static std::atomic<unsigned> counter{0};
    m_path = StringW::Format(L"%s\\Test_%lu_%lu_%u", ScratchParent, ::GetCurrentProcessId(), ::GetTickCount(),
                             counter.fetch_add(1));
    CNamedTestLock lock(L"Local\\QuenzalTest.ScratchRegistry");
    LSTATUS result = ::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    EXPECT_EQ(result, ERROR_SUCCESS) << "cannot create the test key";
}

CScratchRegistryKey::~CScratchRegistryKey()
{
    if (m_key != nullptr)
        ::RegCloseKey(m_key);
    CNamedTestLock lock(L"Local\\QuenzalTest.ScratchRegistry");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
    // Fails while other tests still have keys there, which is what we want.
    ::RegDeleteKeyW(HKEY_CURRENT_USER, ScratchParent);
}

bool RegistryKeyExists(HKEY root, const wchar_t* path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool IsRegistryKeyEmpty(HKEY root, const wchar_t* path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    LSTATUS result = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                        nullptr, nullptr, nullptr, nullptr);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

CRegistryPathCleanup::CRegistryPathCleanup(HKEY root, const wchar_t* path, Mode mode)
    : m_root(root), m_path(path), m_mode(mode)
{
    StringW full(path);
    size_t position = 0;
    for (;;) {
        size_t separator = full.find(L'\\', position);
        StringW prefix = full.substr(0, separator);
        if (!RegistryKeyExists(root, prefix.c_str())) {
            m_firstMissing = prefix;
            return;
        }
        if (separator == StringW::npos)
            return;
        position = separator + 1;
    }
}

CRegistryPathCleanup::~CRegistryPathCleanup()
{
    if (m_firstMissing.empty())
        return;
    if (m_mode == WholeTree) {
        ::RegDeleteTreeW(m_root, m_firstMissing.c_str());
        ::RegDeleteKeyW(m_root, m_firstMissing.c_str());
        return;
    }
    // From the deepest key up to the first one we created.
    StringW path = m_path;
    for (;;) {
        if (IsRegistryKeyEmpty(m_root, path.c_str()))
            ::RegDeleteKeyW(m_root, path.c_str());
        if (path.size() <= m_firstMissing.size())
            return;
        path.resize(path.rfind(L'\\'));
    }
}

CRegistryValueRestore::CRegistryValueRestore(HKEY root, const wchar_t* path, const wchar_t* name)
    : m_root(root), m_path(path), m_name(name)
{
    DWORD size = 0;
    if (::RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &m_type, nullptr, &size) != ERROR_SUCCESS)
        return;
    m_data.resize(size);
    if (::RegGetValueW(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &m_type, m_data.data(), &size) ==
        ERROR_SUCCESS) {
        m_data.resize(size);
        m_existed = true;
    }
}

CRegistryValueRestore::~CRegistryValueRestore()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (m_existed)
        ::RegSetValueExW(key, m_name.c_str(), 0, m_type, m_data.data(), static_cast<DWORD>(m_data.size()));
    else
        ::RegDeleteValueW(key, m_name.c_str());
    ::RegCloseKey(key);
}

bool HasReportLine(const std::string& log, const char* event, const char* file, const char* function,
                   const StringW& description)
{
    std::string head = std::string(event) + " at " + file + ", " + function + ", line ";
    std::string tail = ": " + description.ToUtf8();
    // The log shows a record's control characters as '?'.
    Quenzal::ShowControlCharacters(tail);
    tail += "\r\n";
    for (size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
        size_t digits = at + head.size();
        size_t end = digits;
        while (end < log.size() && isdigit(static_cast<unsigned char>(log[end])))
            ++end;
        if (end > digits && log.compare(end, tail.size(), tail) == 0)
            return true;
    }
    return false;
}

namespace {

void SetClassesValue(const StringW& path, const wchar_t* name, const StringW& value)
{
    Quenzal::Os::CRegKeyHandle key = Quenzal::Os::CreateSubkey(HKEY_CLASSES_ROOT, path.c_str());
    SetRawValue(key.Get(), name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

} // namespace

CComClassRegistration::CComClassRegistration(const StringW& progId, const StringW& classId, const StringW& serverPath)
    : m_turn(TakeTurn(progId)), m_progId(progId), m_classId(classId)
{
    SetClassesValue(m_progId + L"\\CLSID", nullptr, m_classId);
    SetClassesValue(L"CLSID\\" + m_classId + L"\\InprocServer32", nullptr, serverPath);
    SetClassesValue(L"CLSID\\" + m_classId + L"\\InprocServer32", L"ThreadingModel", L"Both");
}

CComClassRegistration::~CComClassRegistration()
{
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, m_progId.c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + m_classId).c_str());
}

std::unique_ptr<CNamedTestLock> CComClassRegistration::TakeTurn(const StringW& progId)
{
    return std::make_unique<CNamedTestLock>((L"Local\\QuenzalTest.Class." + progId).c_str());
}

void SetRawValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS) << name;
}

} // namespace QzlTest

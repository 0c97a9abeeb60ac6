#pragma once
// Helpers for the message-table tests: a private HKEY_CURRENT_USER for this
// process (test processes share one Wine registry and run in parallel), and
// the core library's switches written into it.

#include "Localization.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

namespace QzlTest {

// Redirects HKEY_CURRENT_USER of this process to a fresh key until destroyed.
class CPrivateCurrentUser {
public:
    CPrivateCurrentUser()
    {
        m_path = Quenzal::StringW::Format(L"Software\\QzlTest\\PrivateUser-%lu-%llu", ::GetCurrentProcessId(),
                                          static_cast<unsigned long long>(::GetTickCount64()));
        HKEY key = nullptr;
        EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, key), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    ~CPrivateCurrentUser()
    {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    }
    CPrivateCurrentUser(const CPrivateCurrentUser&) = delete;
    CPrivateCurrentUser& operator=(const CPrivateCurrentUser&) = delete;

private:
    Quenzal::StringW m_path;
};

inline const wchar_t CoreKeyPath[] = L"Software\\Quenzal\\Trindle";

inline void SetCoreString(const wchar_t* name, const std::wstring& value)
{
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, CoreKeyPath, name, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

inline void SetCoreDword(const wchar_t* name, DWORD value)
{
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, CoreKeyPath, name, REG_DWORD, &value, sizeof(value)),
              ERROR_SUCCESS);
}

// Every language test starts and ends in English, with no switch set.
class LocalizationFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        m_user.reset();
        Quenzal::Localization::SetLanguageId(0x0409);
    }
    std::unique_ptr<CPrivateCurrentUser> m_user = std::make_unique<CPrivateCurrentUser>();
};

} // namespace QzlTest

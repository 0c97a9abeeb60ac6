#pragma once
// What the add-in's tests share: turns at the add-in's real data folder and
// settings key (tests run in parallel processes in one Wine prefix), each
// left as it was found.

#include "RegistryTestSupport.h"
#include "StringW.h"

#include <string>
#include <thread>

namespace NxoTest {

class CApplianceStandIn;

// The data folder without the cache files, before and after.
class CDataFolderTurn {
public:
    CDataFolderTurn();
    ~CDataFolderTurn();
    CDataFolderTurn(const CDataFolderTurn&) = delete;
    CDataFolderTurn& operator=(const CDataFolderTurn&) = delete;

    static Quenzal::StringW WhitelistPath();
    static Quenzal::StringW LegacyFolder();

private:
    void Clean();
    QzlTest::CNamedTestLock m_lock{L"Local\\QuenzalTest.NxoDataFolder"};
};

// The data folder and a settings key of its own, with the process's settings
// object started anew over it, as a new start of Outlook would.
class CAddInTurn {
public:
    CAddInTurn();
    ~CAddInTurn();

    // The stand-in as the configured appliance with an account it knows;
    // hostName names the same server another way.
    void Configure(CApplianceStandIn& appliance, const char* hostName = "127.0.0.1");
    static Quenzal::StringW SettingsString(const wchar_t* name);

    static constexpr wchar_t Identity[] = L"user@example.com";

private:
    // Policies hide buttons and switch features off for every process; taken
    // before the settings, as every test that takes both does.
    QzlTest::CNamedTestLock m_policyLock{L"Local\\QuenzalTest.PolicyKeys"};
    QzlTest::CNamedTestLock m_settingsLock{L"Local\\QuenzalTest.NxoSettings"};
    // Requests carry the installation's client id, which the core library's
    // own tests remove and create again in this same prefix.
    QzlTest::CNamedTestLock m_clientIdLock{L"Local\\QuenzalTest.ClientId"};
    CDataFolderTurn m_dataFolder;
    QzlTest::CRegistryPathCleanup m_parents;
};

// A file of patterned bytes to link to, in a folder of its own that goes with it.
struct CLinkedFile {
    CLinkedFile(const wchar_t* name, size_t size);
    ~CLinkedFile();
    CLinkedFile(const CLinkedFile&) = delete;
    CLinkedFile& operator=(const CLinkedFile&) = delete;

    Quenzal::StringW path;
    std::string bytes;
};

// The user of the add-in's next message box, on a thread of its own: reads
// its text into shown (at most 511 characters) and answers OK. Joined when
// it goes, also when a failure leaves the test early.
std::jthread AnswerMessageBox(wchar_t (&shown)[512]);

} // namespace NxoTest

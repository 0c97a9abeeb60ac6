#include "NxoTestSupport.h"

#include "ApplianceStandIn.h"
#include "AsyncHttpRequestContext.h"
#include "ClientId.h"
#include "DialogUser.h"
#include "NxoDataDirectory.h"
#include "NxoOutlookAddInConfig.h"
#include "File.h"
#include "Os.h"
#include "Path.h"
#include "TestSupport.h"

#include <new>

using namespace Quenzal;

namespace NxoTest {

namespace {

const wchar_t* const SettingsPath = L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In";

// The settings object is built once per process; a test starts it again in
// place so that it reads the test's own key.
struct CRestartedConfig : CNxoOutlookAddInConfig {
    static void Restart()
    {
        CNxoOutlookAddInConfig& instance = GetInstance();
        instance.~CNxoOutlookAddInConfig();
        new (&instance) CRestartedConfig();
    }
};
static_assert(sizeof(CRestartedConfig) == sizeof(CNxoOutlookAddInConfig));

} // namespace

CDataFolderTurn::CDataFolderTurn()
{
    Clean();
}

CDataFolderTurn::~CDataFolderTurn()
{
    Clean();
}

void CDataFolderTurn::Clean()
{
    Os::TryDeleteFile(WhitelistPath());
    Os::TryDeleteFile(GetNxoDataDirectory() + L"whitelist.appliance");
    Os::TryDeleteDirectory(LegacyFolder());
    Os::TryDeleteEmptyDirectory(Os::GetApplicationDataSubdirectory(L"Quenzal\\Threat Rampart"));
}

StringW CDataFolderTurn::WhitelistPath()
{
    return GetNxoDataDirectory() + L"whitelist.txt";
}

StringW CDataFolderTurn::LegacyFolder()
{
    return Os::CombinePath(Os::GetApplicationDataSubdirectory(L"Quenzal\\Threat Rampart"), L"Outlook Add-In");
}

CAddInTurn::CAddInTurn() : m_parents(HKEY_CURRENT_USER, SettingsPath, QzlTest::CRegistryPathCleanup::OnlyEmptyKeys)
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, SettingsPath);
    CRestartedConfig::Restart();
    // An add-in disconnected earlier in this process, one linked into the
    // program too, ended the requests' pool; Outlook would have unloaded it.
    Net::CAsyncHttpRequestContext::ResumeAsynchronousHttpRequests();
}

CAddInTurn::~CAddInTurn()
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, SettingsPath);
}

void CAddInTurn::Configure(CApplianceStandIn& appliance, const char* hostName)
{
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    config.SetNxoUri(CNxoOutlookAddInConfig::ParseNxoUri(appliance.Uri(hostName)), Identity);
    const StringW account = StringW(Identity) + L"===" + App::GetClientId();
    const StringW secret = StringW(L"secret+/=") + StringW(hostName);
    config.SetAccountName(account);
    config.SetAccountKey(secret);
    appliance.AddAccount(account, secret);
}

StringW CAddInTurn::SettingsString(const wchar_t* name)
{
    Os::CRegistryKey key;
    return key.TryOpen(HKEY_CURRENT_USER, SettingsPath, KEY_READ) ? key.TryGetString(name) : StringW();
}

CLinkedFile::CLinkedFile(const wchar_t* name, size_t size)
    : path(Os::CombinePath(QzlTest::UniqueTempPath(L"lnk"), name)), bytes(size, '\0')
{
    ::CreateDirectoryW(Os::GetDirectoryFromPath(path).c_str(), nullptr);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 31 + (i >> 13));
    Os::WriteFileContents(path, bytes.data(), bytes.size());
}

CLinkedFile::~CLinkedFile()
{
    Os::TryDeleteDirectory(Os::GetDirectoryFromPath(path));
}

std::jthread AnswerMessageBox(wchar_t (&shown)[512])
{
    return std::jthread([&shown] {
        for (int i = 0; i < 1200 && !*shown; ++i, ::Sleep(25)) {
            using NxoTest::CDialogUser;
            HWND box = CDialogUser::FindDialog(L"Quenzal Inbox Rampart", CDialogUser::MessageBoxText);
            if (box && ::GetDlgItemTextW(box, CDialogUser::MessageBoxText, shown, 512))
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    });
}

} // namespace NxoTest

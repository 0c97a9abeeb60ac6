#include "NxoTestSupport.h"

#include "NxoDataDirectory.h"
#include "Os.h"

using namespace Quenzal;

namespace NxoTest {

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

} // namespace NxoTest

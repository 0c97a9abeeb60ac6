#include "NxoDataDirectory.h"

#include "Os.h"

Quenzal::StringW GetNxoDataDirectory()
{
    return Quenzal::Os::GetApplicationDataSubdirectory(L"Quenzal\\Inbox Rampart\\Outlook Add-In");
}

#include "AddInFamily.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Guid.h"
#include "Registry.h"
#include "RegistryValues.h"
#include "VersionInfo.h"

namespace Quenzal::OutlookAddIn {

namespace {

struct FamilyMember {
    const wchar_t* description;
    const wchar_t* progId;
    UINT iconId;
    UINT bitmapId;
    const wchar_t* settingsPath; // under HKEY_CURRENT_USER
};

constexpr FamilyMember Family[QuenzalAddInCount] = {
    {L"Quenzal Inbox Rampart", L"Quenzal.NxoOutlookAddIn", 909, 904,
     L"Software\\Quenzal\\Inbox Rampart\\Outlook Add-In"},
    {L"Quenzal Ledger Vault", L"Quenzal.LvtOutlookAddIn", 910, 902,
     L"Software\\Quenzal\\Ledger Vault\\Outlook Add-In"},
    {L"Quenzal Voice Relay", L"Quenzal.VrlOutlookAddIn", 911, 905,
     L"Software\\Quenzal\\Voice Relay\\Outlook Add-In"},
};

constexpr const wchar_t* DebugValueName = L"Debug";

const FamilyMember& GetMember(int index)
{
    if (index < 0 || index >= QuenzalAddInCount)
        QZL_THROW(L"Quenzal::OutlookAddIn::GetQuenzalAddIn", CException(L"Unexpected case"));
    return Family[index];
}

} // namespace

StringW GetQuenzalAddInDescription(int index)
{
    return GetMember(index).description;
}

StringW GetQuenzalAddInProgId(int index)
{
    return GetMember(index).progId;
}

UINT GetQuenzalAddInIconResourceId(int index)
{
    return GetMember(index).iconId;
}

UINT GetQuenzalAddInBitmapResourceId(int index)
{
    return GetMember(index).bitmapId;
}

Os::CIcon LoadQuenzalAddInIcon(int index)
{
    return LoadModuleIcon(GetQuenzalAddInIconResourceId(index), 55, 55);
}

CBitmap LoadQuenzalAddInBitmap(int index)
{
    UINT id = GetQuenzalAddInBitmapResourceId(index);
    return id == 0 ? CBitmap() : LoadModuleBitmap(id);
}

StringW GetQuenzalAddInSettingsPath(int index)
{
    return GetMember(index).settingsPath;
}

bool IsQuenzalAddInDebugEnabled(int index)
{
    return Os::IsRegistryFlagSet(GetQuenzalAddInSettingsPath(index).c_str(), DebugValueName);
}

void SetQuenzalAddInDebugEnabled(int index, bool enabled)
{
    Os::CRegKeyHandle key = Os::CreateSubkey(HKEY_CURRENT_USER, GetQuenzalAddInSettingsPath(index).c_str());
    Os::SetRegistryDword(key.Get(), DebugValueName, enabled ? 1 : 0);
}

CLSID GetQuenzalAddInClassId(int index)
{
    CLSID classId = {};
    StringW progId = GetQuenzalAddInProgId(index);
    if (progId.empty())
        return classId;
    QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::GetQuenzalAddInClassId", ::CLSIDFromProgID(progId.c_str(), &classId));
    return classId;
}

StringW GetQuenzalAddInServerPath(int index)
{
    CLSID classId = GetQuenzalAddInClassId(index);
    if (classId == CLSID_NULL)
        return StringW();
    StringW key = L"CLSID\\" + StringW::FromAnsi(Guid::ToString(classId), CP_ACP) + L"\\InprocServer32";
    return Os::TryGetRegistryString(HKEY_CLASSES_ROOT, key.c_str(), L"");
}

StringW GetQuenzalAddInVersion(int index)
{
    try {
        StringW path = GetQuenzalAddInServerPath(index);
        return path.empty() ? StringW() : Os::FormatVersionString(path.c_str(), false);
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::GetQuenzalAddInVersion")
    return StringW();
}

CDispatchObject FindQuenzalAddIn(const CDispatchObject& application, int index)
{
    StringW progId = GetQuenzalAddInProgId(index);
    try {
        return application.GetDispatch(L"COMAddIns").GetDispatch(L"Item", {_variant_t(progId.c_str())});
    } catch (const CException&) {
        // Outlook answers an unknown ProgID with an error.
        return CDispatchObject();
    }
}

} // namespace Quenzal::OutlookAddIn

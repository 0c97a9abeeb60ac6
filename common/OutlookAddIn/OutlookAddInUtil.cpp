#include "OutlookAddInUtil.h"

#include "CaughtException.h"
#include "DateTime.h"
#include "Logging.h"
#include "NameTables.h"
#include "Registry.h"

namespace Quenzal::OutlookAddIn {

namespace {

Net::CEnumNameMap<wchar_t>& RibbonKinds()
{
    static Net::CEnumNameMap<wchar_t> table({
        {0, L"Microsoft.Outlook.Appointment"},
        {1, L"Microsoft.Outlook.Contact"},
        {2, L"Microsoft.Outlook.DistributionList"},
        {3, L"Microsoft.Outlook.Explorer"},
        {4, L"Microsoft.Outlook.Journal"},
        {5, L"Microsoft.Outlook.Mail.Compose"},
        {6, L"Microsoft.Outlook.Mail.Read"},
        {7, L"Microsoft.Outlook.MeetingRequest.Read"},
        {8, L"Microsoft.Outlook.MeetingRequest.Send"},
        {9, L"Microsoft.Outlook.Post.Compose"},
        {10, L"Microsoft.Outlook.Post.Read"},
        {11, L"Microsoft.Mso.IMLayerUI"},
        {12, L"Microsoft.Outlook.Report"},
        {13, L"Microsoft.Outlook.Resend"},
        {14, L"Microsoft.Outlook.Response.Compose"},
        {15, L"Microsoft.Outlook.Response.CounterPropose"},
        {16, L"Microsoft.Outlook.Response.Read"},
        {17, L"Microsoft.Outlook.RSS"},
        {18, L"Microsoft.Outlook.Sharing.Compose"},
        {19, L"Microsoft.Outlook.Sharing.Read"},
        {20, L"Microsoft.Outlook.Task"},
    });
    return table;
}

// Built with the module's other tables, not on the first ribbon request.
[[maybe_unused]] const bool g_ribbonKindsBuilt = (RibbonKinds(), true);

} // namespace

bool IsOutlookClickToRun()
{
    const wchar_t* valueName = L"VirtualOutlook";
    for (int version = 14; version <= 16; ++version) {
        StringW path = StringW::Format(L"Software\\Microsoft\\Office\\%d.0\\Common\\InstallRoot\\Virtual", version);
        StringW value = Os::TryGetRegistryString(HKEY_LOCAL_MACHINE, path.c_str(), valueName);
        if (!value.empty()) {
            Logging::LogFormat(Logging::Debug, L"Outlook Click-to-Run found: %s\\%s = \"%s\"", path.c_str(),
                               valueName, value.c_str());
            return true;
        }
    }
    return false;
}

StringW GetExchangeConnectionModeName(long mode)
{
    switch (mode) {
    case 0:
        return L"olNoExchange";
    case 100:
        return L"olOffline";
    case 200:
        return L"olCachedOffline";
    case 300:
        return L"olDisconnected";
    case 400:
        return L"olCachedDisconnected";
    case 500:
        return L"olCachedConnectedHeaders";
    case 600:
        return L"olCachedConnectedDrizzle";
    case 700:
        return L"olCachedConnectedFull";
    case 800:
        return L"olOnline";
    default:
        return StringW::Format(L"Unknown OlExchangeConnectionMode: %d", static_cast<int>(mode));
    }
}

StringW FormatRestrictionDateTime(DATE date)
{
    return DateTime(date).ToString(true);
}

StringW TryGetAttachmentFilename(const CDispatchObject& attachment)
{
    try {
        return attachment.GetString(L"FileName");
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::TryGetAttachmentFilename")
    return StringW();
}

bool ActivateVisualStyles(Os::CActivationContext& context)
{
    for (int resource : {3, 2}) {
        try {
            if (context.ActivateContext(resource))
                return true;
        }
        QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::ActivateVisualStyles")
    }
    return false;
}

int GetRibbonKind(const std::wstring& ribbonId)
{
    return RibbonKinds().LookupValue(ribbonId);
}

StringW GetRibbonId(int kind)
{
    return RibbonKinds().LookupName(kind);
}

void AddRibbonId(const wchar_t* ribbonId, int kind)
{
    RibbonKinds().Add(kind, ribbonId);
}

} // namespace Quenzal::OutlookAddIn

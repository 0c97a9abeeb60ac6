// The add-in's commands: their table, their buttons' texts and images, and
// what a click in an explorer does.
#include "NxoOutlookAddIn.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "NxoOlaUtil.h"
#include "OutlookIds.h"

#include <map>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

enum NxoCommand { CommandSpam = 0, CommandNotSpam = 1, CommandEncrypt = 2, CommandAttachLink = 3 };

struct CommandEntry {
    int id;
    const wchar_t* name;
    int labelLid;
    int tooltipLid;
    UINT iconId;
};

constexpr CommandEntry Commands[] = {
    {CommandSpam, L"Quenzal.TQ.Spam", 83, 35, 229},
    {CommandNotSpam, L"Quenzal.TQ.NotSpam", 82, 34, 228},
    {CommandEncrypt, L"Quenzal.TQ.Encrypt", 246, 247, 0},
    {CommandAttachLink, L"Quenzal.TQ.AttachLink", 284, 285, 0},
};

const CommandEntry& FindCommand(int commandId)
{
    for (const CommandEntry& entry : Commands)
        if (entry.id == commandId)
            return entry;
    QZL_THROW(QZL_FUNCTION, CException(L"Unexpected case"));
}

} // namespace

StringW CNxoOutlookAddIn::GetCommandName(int commandId)
{
    for (const CommandEntry& entry : Commands)
        if (entry.id == commandId)
            return entry.name;
    return StringW();
}

int CNxoOutlookAddIn::GetCommandId(const std::wstring& name)
{
    for (const CommandEntry& entry : Commands)
        if (_wcsicmp(entry.name, name.c_str()) == 0)
            return entry.id;
    return -1;
}

int CNxoOutlookAddIn::GetRibbonButtonId(IDispatch* ribbonControl)
{
    if (ribbonControl == nullptr)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    return GetCommandId(CDispatchObject(ribbonControl).GetString(L"Id"));
}

int CNxoOutlookAddIn::GetRibbonButtonLabelLid(int commandId)
{
    return FindCommand(commandId).labelLid;
}

int CNxoOutlookAddIn::GetRibbonButtonTooltipLid(int commandId)
{
    return FindCommand(commandId).tooltipLid;
}

UINT CNxoOutlookAddIn::GetRibbonButtonIconId(int commandId)
{
    return commandId == CommandSpam || commandId == CommandNotSpam ? FindCommand(commandId).iconId : 0;
}

void CNxoOutlookAddIn::CreateToolbarButtons(CAddInToolbar&) {}

Net::CXmlFragment CNxoOutlookAddIn::FormatRibbonGroupXml(int, const StringW&)
{
    return Net::CXmlFragment();
}

void CNxoOutlookAddIn::OnExplorerButtonClicked(int commandId, IDispatch* explorer)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnExplorerButtonClicked");
    try {
        if (commandId != CommandSpam && commandId != CommandNotSpam)
            return;
        CDispatchObject selection = CDispatchObject(explorer).GetDispatch(L"Selection");
        if (!selection)
            return;
        std::vector<CDispatchObject> messages;
        for (long i = 1; i <= selection.GetLong(L"Count"); ++i) {
            if (CDispatchObject message = AsMailItem(selection.GetDispatch(L"Item", {_variant_t(i)}).GetInterface()))
                messages.push_back(message);
        }
        if (messages.empty())
            return;
        if (commandId == CommandSpam)
            MarkMessagesAsSpam(messages);
        else
            MarkMessagesAsNotSpam(messages);
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
}

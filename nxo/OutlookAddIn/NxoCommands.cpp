// The add-in's commands: their table, their buttons' texts and images, and
// what a click or a toggle does in each kind of window.
#include "NxoOutlookAddIn.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ComUtil.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "Localization.h"
#include "NxoApiError.h"
#include "NxoCommandIds.h"
#include "NxoErrorBox.h"
#include "NxoOlaUtil.h"
#include "OutlookIds.h"

#include <map>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr int LidUnableToPerform = 178;

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

namespace {

// The explorer's inline response (Outlook 2013 and later); empty when there
// is none, also in an Outlook that does not know the property.
CDispatchObject GetActiveInlineResponse(const CDispatchObject& explorer)
{
    DISPID member = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(L"ActiveInlineResponse");
    if (FAILED(explorer.GetInterface()->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &member)))
        return CDispatchObject();
    _variant_t response;
    Com::GetDispatchPropertyById(response.GetVARIANT(), explorer.GetPointer(), member);
    return CDispatchObject::FromVariant(response);
}

} // namespace

// An inspector's current item or an explorer's inline response, as a mail
// item; empty for any other window or item.
CDispatchObject CNxoOutlookAddIn::GetWindowMessage(IDispatch* window)
{
    if (CDispatchObject inspector = CDispatchObject::Query(window, IID_OutlookInspector))
        return AsMailItem(inspector.GetDispatch(L"CurrentItem").GetInterface());
    if (CDispatchObject explorer = CDispatchObject::Query(window, IID_OutlookExplorer))
        return AsMailItem(GetActiveInlineResponse(explorer).GetInterface());
    return CDispatchObject();
}

void CNxoOutlookAddIn::RunUserCommand(const wchar_t* function, HWND owner, const std::function<void()>& command)
{
    const unsigned shown = CountNxoErrorBoxes();
    try {
        StringW text;
        try {
            command();
            return;
        } catch (const CNxoApiError& e) {
            QZL_REPORT_CAUGHT(function, e);
            text = e.GetUserMessage();
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(function, e);
            text = GetErrorMessage(e, LidUnableToPerform);
        } catch (...) {
            (void)ReportCaughtException(__FILE__, function, __LINE__);
            text = GetLocalizedMessage(LidUnableToPerform);
        }
        if (!text.empty() && CountNxoErrorBoxes() == shown)
            ShowNxoErrorBox(owner != nullptr ? owner : GetActiveOutlookWindow(), text);
    }
    QZL_CATCH_REPORT(function)
}

void CNxoOutlookAddIn::OnExplorerButtonClicked(int commandId, IDispatch* explorer)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnExplorerButtonClicked");
    RunUserCommand(QZL_FUNCTION, nullptr, [&] {
        if (commandId == CommandAttachLink) {
            AttachLinkToMessage(GetWindowMessage(explorer));
            return;
        }
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
    });
}

void CNxoOutlookAddIn::OnInspectorButtonClicked(int commandId, IDispatch* inspector)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnInspectorButtonClicked");
    RunUserCommand(QZL_FUNCTION, nullptr, [&] {
        CDispatchObject message = GetWindowMessage(inspector);
        switch (commandId) {
        case CommandSpam:
        case CommandNotSpam:
            if (!message)
                return;
            if (commandId == CommandSpam)
                MarkMessagesAsSpam({message});
            else
                MarkMessagesAsNotSpam({message});
            break;
        case CommandAttachLink:
            AttachLinkToMessage(message);
            break;
        default:
            QZL_THROW(QZL_FUNCTION, CException(L"Unexpected case"));
        }
    });
}

namespace {

// The encryption toggle is the only toggle, in either kind of window.
void RequireEncryptToggle(int commandId, const wchar_t* function)
{
    if (commandId != CommandEncrypt)
        QZL_THROW(function, CException(L"Unexpected case"));
}

} // namespace

void CNxoOutlookAddIn::OnExplorerButtonToggled(int commandId, bool pressed, IDispatch* explorer)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnExplorerButtonToggled");
    RunUserCommand(QZL_FUNCTION, nullptr, [&] {
        RequireEncryptToggle(commandId, QZL_FUNCTION);
        ToggleEncryption(GetWindowMessage(explorer), pressed);
    });
}

void CNxoOutlookAddIn::OnInspectorButtonToggled(int commandId, bool pressed, IDispatch* inspector)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnInspectorButtonToggled");
    RunUserCommand(QZL_FUNCTION, nullptr, [&] {
        RequireEncryptToggle(commandId, QZL_FUNCTION);
        ToggleEncryption(GetWindowMessage(inspector), pressed);
    });
}

// Office keeps a toggle in the state the user clicked it to until asked
// again: a declined confirmation must not leave it showing "encrypt".
void CNxoOutlookAddIn::ToggleEncryption(const CDispatchObject& message, bool pressed)
{
    CAddInBusy busy(*this);
    SetMessageEncryptionFlag(message, pressed);
    if (busy.IsDisconnected() || GetMessageEncryptionFlag(message) == pressed)
        return;
    if (const CDispatchObject& ribbon = GetRibbonUI())
        ribbon.Call(L"InvalidateControl", {_variant_t(GetCommandName(CommandEncrypt).c_str())});
}

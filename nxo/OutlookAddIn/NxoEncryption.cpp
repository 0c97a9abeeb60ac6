// The encryption flag: the user's request travels with the message as one of
// its Outlook categories until the message is sent, when it becomes the
// internet header that the appliance acts on.
#include "NxoOutlookAddIn.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ComUtil.h"
#include "EncryptConfirmDlg.h"
#include "ErrorReport.h"
#include "InternetHeader.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoErrorBox.h"
#include "NxoOlaUtil.h"
#include "NxoOutlookAddInConfig.h"
#include "Registry.h"
#include "RegistryValues.h"

#include <algorithm>
#include <optional>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr wchar_t EncryptionCategory[] = L"Quenzal.NxoOutlookAddIn.EncryptMessage";
constexpr wchar_t EncryptionHeader[] = L"X-Quenzal-PluginEncrypt";

// Outlook delimits an item's categories with the user's list separator
// ("sList" of the regional settings: ";" in many European locales, ","
// in others), not always with a comma.
std::wstring GetListSeparator()
{
    std::wstring separator = Os::TryGetRegistryString(HKEY_CURRENT_USER, L"Control Panel\\International", L"sList");
    if (separator.empty()) {
        wchar_t text[8] = {};
        if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SLIST, text, 8) > 1)
            separator = text;
    }
    return separator.empty() ? std::wstring(L",") : separator;
}

// Every separator ends an entry, an empty entry between two separators
// counts, a trailing separator adds none.
std::vector<std::wstring> SplitCategories(const std::wstring& text, const std::wstring& separator)
{
    std::vector<std::wstring> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::wstring::npos)
            end = text.size();
        entries.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    return entries;
}

// Entries the add-in did not touch keep their own spacing.
std::wstring JoinCategories(const std::vector<std::wstring>& entries, const std::wstring& separator)
{
    std::wstring text;
    for (size_t i = 0; i < entries.size(); ++i)
        text += (i == 0 ? L"" : separator) + entries[i];
    return text;
}

std::vector<std::wstring> GetCategories(const CDispatchObject& message)
{
    return SplitCategories(message.GetString(L"Categories"), GetListSeparator());
}

// A send that does not happen leaves the encryption request where the user
// left it: the categories as they were and no header, which would encrypt
// the next send while the Encrypt button shows the message unflagged.
class CEncryptionRequestUndo {
public:
    explicit CEncryptionRequestUndo(const CDispatchObject& message)
        : m_message(message), m_categories(message.GetString(L"Categories"))
    {
    }
    CEncryptionRequestUndo(const CEncryptionRequestUndo&) = delete;
    CEncryptionRequestUndo& operator=(const CEncryptionRequestUndo&) = delete;
    ~CEncryptionRequestUndo()
    {
        if (m_kept)
            return;
        try {
            Mapi::RemoveCustomHeader(GetMapiObject<IMessage>(m_message).GetInterfacePtr(), EncryptionHeader);
            m_message.Put(L"Categories", Com::ToBstr(m_categories));
        }
        QZL_CATCH_REPORT(L"CNxoOutlookAddIn::OnItemSend")
    }
    void Keep() { m_kept = true; }

private:
    CDispatchObject m_message;
    StringW m_categories;
    bool m_kept = false;
};

} // namespace

std::vector<std::wstring>::iterator CNxoOutlookAddIn::FindEncryptionCategory(std::vector<std::wstring>::iterator begin,
                                                                             std::vector<std::wstring>::iterator end)
{
    return std::find_if(begin, end,
                        [](const std::wstring& entry) { return StringW(entry).Trimmed() == EncryptionCategory; });
}

bool CNxoOutlookAddIn::GetMessageEncryptionFlag(const CDispatchObject& message)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::GetMessageEncryptionFlag");
    if (!message)
        return false;
    std::vector<std::wstring> entries = GetCategories(message);
    return FindEncryptionCategory(entries.begin(), entries.end()) != entries.end();
}

void CNxoOutlookAddIn::SetMessageEncryptionFlag(const CDispatchObject& message, bool flag)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::SetMessageEncryptionFlag");
    if (!message)
        return;
    if (flag && !CanEncryptMessage(message))
        return;
    if (GetMessageEncryptionFlag(message) == flag)
        return;
    const std::wstring separator = GetListSeparator();
    std::vector<std::wstring> entries = SplitCategories(message.GetString(L"Categories"), separator);
    if (flag) {
        entries.push_back(EncryptionCategory);
    } else {
        auto found = FindEncryptionCategory(entries.begin(), entries.end());
        if (found == entries.end())
            QZL_THROW(QZL_FUNCTION, CException(L"Unable to find encryption category flag in message"));
        entries.erase(found);
    }
    // Not saved: the category travels with the item as Outlook keeps it.
    message.Put(L"Categories", Com::ToBstr(JoinCategories(entries, separator)));
}

bool CNxoOutlookAddIn::CanEncryptMessage(const CDispatchObject& message)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::CanEncryptMessage");
    // The confirmation's loop may see the add-in disconnected: that is no consent.
    CAddInBusy busy(*this);
    if (HasLinkedAttachments(message)) {
        ShowNxoErrorBox(GetActiveOutlookWindow(), GetLocalizedMessage(288));
        return false;
    }
    if (CNxoOutlookAddInConfig::GetInstance().IsEncryptionWarningSuppressed())
        return true;
    // A warning that could not be shown is no consent: the failure leaves
    // here, and the command tells the user of it.
    CEncryptConfirmDlg dialog;
    if (dialog.DoModal(GetActiveOutlookWindow()) == IDOK && !busy.IsDisconnected()) {
        if (dialog.IsWarningSuppressed())
            CNxoOutlookAddInConfig::GetInstance().SetEncryptionWarningSuppressed();
        return true;
    }
    Logging::Log(Logging::Debug, L"User canceled message encryption");
    return false;
}

// The send stays cancelled unless every step that must happen before the
// message leaves has happened, and then leaves the draft as it was, its
// encryption request included. A send that Outlook or another add-in has
// cancelled already is no send: nothing is uploaded or written, and it
// stays cancelled.
void CNxoOutlookAddIn::OnItemSend(IDispatch* item, VARIANT_BOOL* cancel)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnItemSend");
    try {
        CDispatchObject message = AsMailItem(item);
        if (!message || cancel == nullptr)
            return;
        if (*cancel != VARIANT_FALSE) {
            Logging::Log(Logging::Debug, L"Send was canceled before the add-in saw it");
            return;
        }
        *cancel = VARIANT_TRUE;
        std::optional<CEncryptionRequestUndo> undo;
        if (GetMessageEncryptionFlag(message))
            undo.emplace(message);
        AddMessageEncryptionHeader(message);
        if (!StubLinksOnSend(message))
            return;
        if (undo)
            undo->Keep();
        *cancel = VARIANT_FALSE;
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
}

void CNxoOutlookAddIn::AddMessageEncryptionHeader(const CDispatchObject& message)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::AddMessageEncryptionHeader");
    if (!GetMessageEncryptionFlag(message))
        return;
    Logging::Log(Logging::Debug, L"Flagging message for encryption");
    try {
        Mapi::AddCustomHeader(GetMapiObject<IMessage>(message).GetInterfacePtr(), EncryptionHeader, L"1");
        // The request has become the header; the category stays home.
        SetMessageEncryptionFlag(message, false);
    } catch (...) {
        (void)ReportCaughtException(__FILE__, QZL_FUNCTION, __LINE__);
        StringW text = GetLocalizedMessage(372) + L"\r\n\r\n" + GetLocalizedMessage(245) + L"\r\n";
        ShowNxoErrorBox(GetActiveOutlookWindow(), text);
        throw;
    }
}

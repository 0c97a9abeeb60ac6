// Marking messages as spam or not spam: each message is reported to the
// appliance that delivered it, spam is then disposed of as the user chose,
// and the senders of good mail are whitelisted.
#include "NxoOutlookAddIn.h"

#include "CaughtException.h"
#include "ComUtil.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "MapiPointers.h"
#include "MessageHeaders.h"
#include "NxoMapi.h"
#include "NxoOlaUtil.h"
#include "NxoOutlookAddInConfig.h"
#include "ThreadPoolWork.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

bool CNxoOutlookAddIn::MarkMessagesAsSpam(const std::vector<CDispatchObject>& messages)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::MarkMessagesAsSpam");
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    std::exception_ptr failure;
    for (const CDispatchObject& message : messages) {
        try {
            ClassifyMessage(message, true);
            switch (config.GetSpamAction()) {
            case SpamActionDeletePermanently:
                DeleteMessagePermanently(message);
                break;
            case SpamActionMoveToDeletedItems:
                MoveMessageToDeletedItems(message);
                break;
            case SpamActionMoveToFolder:
                // The settings hold the two ids under each other's names.
                try {
                    MoveMessageToSpecifiedFolder(message, config.GetMoveToFolderStoreEntryId(),
                                                 config.GetMoveToFolderEntryId());
                } catch (const CException& e) {
                    Logging::Log(Logging::Error,
                                 (L"Unable to move message to user-specified folder; deleting instead: " +
                                  e.GetDescription())
                                     .c_str());
                    MoveMessageToDeletedItems(message);
                }
                break;
            default:
                break;
            }
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
            if (!failure)
                failure = e.Clone();
        }
    }
    SubmitQueuedApiRequests();
    // The other messages were marked; the command tells the user of the first failure.
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

bool CNxoOutlookAddIn::MarkMessagesAsNotSpam(const std::vector<CDispatchObject>& messages)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::MarkMessagesAsNotSpam");
    CNxoOutlookAddInConfig& config = CNxoOutlookAddInConfig::GetInstance();
    std::exception_ptr failure;
    for (const CDispatchObject& message : messages) {
        try {
            ClassifyMessage(message, false);
            if (!config.IsWhitelistOnNotSpamEnabled())
                continue;
            std::set<std::string> addresses;
            for (const std::string& address : Mapi::GetMessageSmtpSenders(GetMapiObject<IMAPIProp>(message).GetInterfacePtr()))
                addresses.insert(address);
            if (addresses.empty()) {
                Logging::Log(Logging::Debug, L"Message has no SMTP senders to whitelist");
                continue;
            }
            QueueApiRequest([addresses](CNxoApiClient& client) mutable { client.WhitelistAddresses(addresses); });
        } catch (const CException& e) {
            QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
            if (!failure)
                failure = e.Clone();
        }
    }
    SubmitQueuedApiRequests();
    // The other messages were marked; the command tells the user of the first failure.
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

void CNxoOutlookAddIn::ClassifyMessage(const CDispatchObject& message, bool isSpam)
{
    const wchar_t* function = QZL_FUNCTION;
    try {
        if (!message)
            QZL_THROW(function, CComError(E_POINTER));
        Logging::Log(Logging::Debug, (L"Classifying message: " + message.GetString(L"Subject")).c_str());
        Mapi::IMessagePtr mapiMessage = GetMapiObject<IMessage>(message);
        if (!CNxoOutlookAddInConfig::GetInstance().IsNxoUriConfigured())
            ConfigureNxoUriFromMessage(mapiMessage.GetInterfacePtr());
        Mapi::QuenzalMessageProps props = Mapi::GetQuenzalMessageProps(mapiMessage.GetInterfacePtr(), true);
        QueueApiRequest(
            [props, isSpam](CNxoApiClient& client) { client.MarkMessage(props.Url, props.DebugId, isSpam); });
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(function, e);
    }
}

void CNxoOutlookAddIn::QueueApiRequest(std::function<void(CNxoApiClient&)> request)
{
    if (!m_apiClient)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    m_queuedApiRequests.push_back(std::move(request));
}

// Queueing a request can take the pool a new thread while earlier requests
// wait for the appliance; that is done on a pool thread of its own, so that
// marking many messages never keeps Outlook waiting.
void CNxoOutlookAddIn::SubmitQueuedApiRequests()
{
    std::erase_if(m_apiRequestSubmitters, [](const auto& submitter) { return submitter->IsComplete(); });
    if (m_queuedApiRequests.empty())
        return;
    auto submitter = std::make_shared<Os::CThreadPoolWork>();
    submitter->SetName(L"Appliance request submission");
    submitter->SetWorkFunction([client = m_apiClient, requests = std::move(m_queuedApiRequests)] {
        for (const auto& request : requests) {
            try {
                request(*client);
            }
            QZL_CATCH_REPORT(QZL_FUNCTION)
        }
    });
    m_queuedApiRequests.clear();
    Os::QueueThreadPoolWork(submitter);
    m_apiRequestSubmitters.push_back(std::move(submitter));
}

CDispatchObject CNxoOutlookAddIn::MoveMessage(const CDispatchObject& message, const CDispatchObject& folder)
{
    return message.GetDispatch(L"Move", {_variant_t(folder.GetInterface())});
}

// The moved message's entry id is remembered: only that message is deleted
// for good when it arrives in Deleted Items, never another one that happens
// to arrive first.
void CNxoOutlookAddIn::DeleteMessagePermanently(const CDispatchObject& message)
{
    Logging::Log(Logging::Debug, (L"Permanently deleting message: " + message.GetString(L"Subject")).c_str());
    CDispatchObject moved = MoveMessage(message, GetDefaultFolder(olFolderDeletedItems));
    if (!moved)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    m_pendingPermanentDeletions.insert(moved.GetString(L"EntryID"));
}

void CNxoOutlookAddIn::MoveMessageToDeletedItems(const CDispatchObject& message)
{
    Logging::Log(Logging::Debug, L"Moving message to Deleted Items");
    MoveMessage(message, GetDefaultFolder(olFolderDeletedItems));
}

void CNxoOutlookAddIn::MoveMessageToSpecifiedFolder(const CDispatchObject& message, const std::wstring& folderId,
                                                    const std::wstring& storeId)
{
    const wchar_t* function = QZL_FUNCTION;
    Logging::Log(Logging::Debug, L"Moving message to specified folder");
    if (folderId.empty() || storeId.empty())
        QZL_THROW(function, CException(L"Specified folder properties missing from config"));
    // Ids as stored, whole: cut at a NUL they could name another folder.
    CDispatchObject folder =
        GetSession().GetDispatch(L"GetFolderFromID", {Com::ToBstr(folderId), Com::ToBstr(storeId)});
    if (!folder)
        QZL_THROW(function, CException(L"User-specified folder not found"));
    MoveMessage(message, folder);
}

void CNxoOutlookAddIn::CompletePermanentDeletion(IDispatch* item)
{
    if (m_pendingPermanentDeletions.empty())
        return;
    CDispatchObject message = AsMailItem(item);
    if (!message)
        return;
    auto pending = m_pendingPermanentDeletions.find(message.GetString(L"EntryID"));
    if (pending == m_pendingPermanentDeletions.end())
        return;
    m_pendingPermanentDeletions.erase(pending);
    StringW subject = message.GetString(L"Subject");
    message.Call(L"Delete");
    Logging::Log(Logging::Debug, (L"Permanently deleted message: " + subject).c_str());
}

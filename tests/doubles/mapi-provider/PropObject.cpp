// The objects of the provider, each over a property bag: plain property
// objects, messages with their recipient tables, folders with their contents
// tables and deletions, and address-book entries.
#include "Provider.h"

namespace QzlTestMapi {
namespace {

class CPropStubs : public IMAPIProp {
public:
    QZL_TEST_MAPI_STUBS(MAPI_IMAPIPROP_METHODS)
};

class CMessageStubs : public IMessage {
public:
    QZL_TEST_MAPI_STUBS(MAPI_IMAPIPROP_METHODS)
    QZL_TEST_MAPI_STUBS(MAPI_IMESSAGE_METHODS)
};

class CFolderStubs : public IMAPIFolder {
public:
    QZL_TEST_MAPI_STUBS(MAPI_IMAPIPROP_METHODS)
    QZL_TEST_MAPI_STUBS(MAPI_IMAPICONTAINER_METHODS)
    QZL_TEST_MAPI_STUBS(MAPI_IMAPIFOLDER_METHODS)
};

class CMailUserStubs : public IMailUser {
public:
    QZL_TEST_MAPI_STUBS(MAPI_IMAPIPROP_METHODS)
};

// A new table over the rows, in *table; counts the call by its name.
HRESULT HandOutTable(const char* call, const std::vector<PropBagPtr>& rows, LPMAPITABLE* table,
                     NotificationHubPtr hub = nullptr)
{
    HRESULT hr = CallResult(call);
    if (FAILED(hr))
        return hr;
    if (table == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *table = NewTable(rows, std::move(hub));
    return hr;
}

class CMessage : public CPropObject<CMessageStubs, IMessage> {
public:
    CMessage(PropBagPtr bag, std::vector<PropBagPtr> recipients)
        : CPropObject(std::move(bag)), m_recipients(std::move(recipients))
    {
    }

    STDMETHODIMP GetRecipientTable(ULONG, LPMAPITABLE* table) override
    {
        return HandOutTable("IMessage::GetRecipientTable", m_recipients, table);
    }

private:
    std::vector<PropBagPtr> m_recipients;
};

// Its messages can be deleted; each contents table is a snapshot of them.
class CFolder : public CPropObject<CFolderStubs, IMAPIContainer, IMAPIFolder> {
public:
    CFolder(PropBagPtr bag, std::vector<PropBagPtr> messages)
        : CPropObject(std::move(bag)), m_messages(std::move(messages))
    {
    }

    STDMETHODIMP GetContentsTable(ULONG, LPMAPITABLE* table) override
    {
        return HandOutTable("IMAPIContainer::GetContentsTable", Messages(), table, m_hub);
    }
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID entryId, LPCIID, ULONG, ULONG* type, LPUNKNOWN* object) override
    {
        return OpenFoundEntry("IMAPIContainer::OpenEntry", FindEntry(Messages(), size, entryId), MAPI_E_NOT_FOUND,
                              MAPI_MESSAGE, type, object);
    }
    STDMETHODIMP DeleteMessages(LPENTRYLIST list, ULONG, LPMAPIPROGRESS, ULONG flags) override
    {
        RecordFlags("IMAPIFolder::DeleteMessages", flags);
        HRESULT hr = CallResult("IMAPIFolder::DeleteMessages");
        if (SUCCEEDED(hr) && (flags & DELETE_HARD_DELETE) != 0)
            hr = CallResult("IMAPIFolder::DeleteMessages DELETE_HARD_DELETE");
        if (FAILED(hr) || hr == MAPI_W_PARTIAL_COMPLETION)
            return hr;
        if (list == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_lock);
        for (ULONG i = 0; i < list->cValues; ++i) {
            const SBinary& entry = list->lpbin[i];
            std::erase_if(m_messages, [&](const PropBagPtr& message) {
                return message->HasEntryId(entry.cb, reinterpret_cast<const ENTRYID*>(entry.lpb));
            });
        }
        return hr;
    }
    STDMETHODIMP SetReadFlags(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG flags) override
    {
        RecordFlags("IMAPIFolder::SetReadFlags", flags);
        return CallResult("IMAPIFolder::SetReadFlags");
    }

    const NotificationHubPtr& Hub() const { return m_hub; }
    void Add(PropBagPtr message)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_messages.push_back(std::move(message));
    }

private:
    std::vector<PropBagPtr> Messages()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_messages;
    }

    std::mutex m_lock;
    std::vector<PropBagPtr> m_messages;
    const NotificationHubPtr m_hub = NewNotificationHub();
};

class CMailUser : public CPropObject<CMailUserStubs, IMailUser> {
public:
    using CPropObject::CPropObject;
};

} // namespace

HRESULT OpenFoundEntry(const char* call, PropBagPtr found, HRESULT missing, ULONG kind, ULONG* type,
                       LPUNKNOWN* object)
{
    HRESULT hr = CallResult(call);
    if (FAILED(hr))
        return hr;
    if (type == nullptr || object == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    if (!found)
        return missing;
    *type = kind;
    *object = kind == MAPI_MESSAGE ? static_cast<IUnknown*>(NewMessage(std::move(found), {}))
                                   : static_cast<IUnknown*>(NewMailUser(std::move(found)));
    return hr;
}

IMAPIProp* NewPropObject(PropBagPtr bag)
{
    return new CPropObject<CPropStubs>(std::move(bag));
}

IMessage* NewMessage(PropBagPtr bag, std::vector<PropBagPtr> recipients)
{
    return new CMessage(std::move(bag), std::move(recipients));
}

IMAPIFolder* NewFolder(PropBagPtr bag, std::vector<PropBagPtr> messages)
{
    return new CFolder(std::move(bag), std::move(messages));
}

NotificationHubPtr NotificationHubOf(IMAPIFolder* folder)
{
    auto* ours = dynamic_cast<CFolder*>(folder);
    return ours != nullptr ? ours->Hub() : nullptr;
}

bool AddFolderMessage(IMAPIFolder* folder, PropBagPtr message)
{
    auto* ours = dynamic_cast<CFolder*>(folder);
    if (ours == nullptr)
        return false;
    ours->Add(std::move(message));
    return true;
}

IMailUser* NewMailUser(PropBagPtr bag)
{
    return new CMailUser(std::move(bag));
}

} // namespace QzlTestMapi

// The objects of the provider, each over a property bag: plain property
// objects, messages with their recipient tables, folders with their contents
// tables, and address-book entries.
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
HRESULT HandOutTable(const char* call, const std::vector<PropBagPtr>& rows, LPMAPITABLE* table)
{
    HRESULT hr = CallResult(call);
    if (FAILED(hr))
        return hr;
    if (table == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *table = NewTable(rows);
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

class CFolder : public CPropObject<CFolderStubs, IMAPIContainer, IMAPIFolder> {
public:
    CFolder(PropBagPtr bag, std::vector<PropBagPtr> messages)
        : CPropObject(std::move(bag)), m_messages(std::move(messages))
    {
    }

    STDMETHODIMP GetContentsTable(ULONG, LPMAPITABLE* table) override
    {
        return HandOutTable("IMAPIContainer::GetContentsTable", m_messages, table);
    }
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID entryId, LPCIID, ULONG, ULONG* type, LPUNKNOWN* object) override
    {
        return OpenFoundEntry("IMAPIContainer::OpenEntry", FindEntry(m_messages, size, entryId), MAPI_E_NOT_FOUND,
                              MAPI_MESSAGE, type, object);
    }

private:
    std::vector<PropBagPtr> m_messages;
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

IMailUser* NewMailUser(PropBagPtr bag)
{
    return new CMailUser(std::move(bag));
}

} // namespace QzlTestMapi

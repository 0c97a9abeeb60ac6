#pragma once
// The test MAPI provider: a DLL of the tests, never of the product, that the
// MAPI layer binds in place of Outlook's MAPI. Tests drive the copy loaded in
// their process through the control interface it exports.

#include <windows.h>

#include <mapidefs.h>
#include <mapitags.h>

#include <string>
#include <vector>

namespace QzlTestMapi {

// Values for the provider's tables, written as literals. The provider copies
// them: the texts and bytes they point at need to live only until then.
using PropRow = std::vector<SPropValue>;
// A text (narrow or wide as the tag says) or a GUID.
inline SPropValue Prop(ULONG tag, const void* pointer)
{
    SPropValue value = {tag, 0, {}};
    value.Value.lpszA = static_cast<LPSTR>(const_cast<void*>(pointer));
    return value;
}
inline SPropValue BinaryProp(ULONG tag, const std::string& bytes)
{
    SPropValue value = {tag, 0, {}};
    value.Value.bin = {static_cast<ULONG>(bytes.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data()))};
    return value;
}
inline SPropValue MultiProp(ULONG tag, const std::vector<const char*>& texts)
{
    SPropValue value = {tag, 0, {}};
    value.Value.MVszA = {static_cast<ULONG>(texts.size()), const_cast<LPSTR*>(texts.data())};
    return value;
}
inline std::vector<SRow> Rows(std::vector<PropRow>& rows)
{
    std::vector<SRow> result;
    for (PropRow& row : rows)
        result.push_back({0, static_cast<ULONG>(row.size()), row.data()});
    return result;
}

// A table notification of one event and, for added rows, the row.
inline NOTIFICATION TableNotification(ULONG tableEvent, PropRow* row = nullptr)
{
    NOTIFICATION notification{};
    notification.ulEventType = fnevTableModified;
    notification.info.tab.ulTableEvent = tableEvent;
    if (row != nullptr)
        notification.info.tab.row = {0, static_cast<ULONG>(row->size()), row->data()};
    return notification;
}

class IControl {
public:
    // Forgets injected results, call counts, the extended error, components,
    // address-book entries and named properties.
    virtual void Reset() = 0;
    // The result of a call by name ("MAPILogonEx", "IMAPISession::QueryIdentity",
    // "IMAPIProp::GetProps", ...) from now on: a failure is returned without
    // doing the work, any other result after it.
    virtual void SetResult(const char* call, HRESULT result) = 0;
    virtual long GetCallCount(const char* call) = 0;
    // The record every object's GetLastError hands out; a null text is left
    // out. Without one, GetLastError gives no record.
    virtual void SetLastError(const wchar_t* component, const wchar_t* error, ULONG lowLevelError,
                              ULONG context) = 0;
    // What FGetComponentPath answers for a component id and qualifier.
    virtual void SetComponentPath(const char* component, const char* qualifier, const char* path) = 0;
    // Blocks of MAPIAllocateBuffer and MAPIAllocateMore not yet freed, and
    // MAPIFreeBuffer calls on memory that is no live buffer of ours.
    virtual long GetLiveAllocations() = 0;
    virtual long GetForeignFrees() = 0;
    // The provider's objects (sessions, tables, messages...) not yet released.
    virtual long GetLiveObjects() = 0;
    // A property object holding copies of the values (one reference).
    virtual IMAPIProp* CreatePropObject(const SPropValue* values, ULONG count) = 0;
    // A message over copies of the values whose recipient table holds one
    // row of values for each recipient (one reference).
    virtual IMessage* CreateMessage(const SPropValue* values, ULONG count, const SRow* recipients,
                                    ULONG recipientCount) = 0;
    // A folder whose contents table holds one row for each message; the
    // folder opens a message by its PR_ENTRYID (one reference).
    virtual IMAPIFolder* CreateFolder(const SPropValue* values, ULONG count, const SRow* messages,
                                      ULONG messageCount) = 0;
    // An address-book entry that IMAPISession::OpenEntry opens by its
    // PR_ENTRYID; the user is the entry of UserEntryId.
    virtual void AddMailUser(const SPropValue* values, ULONG count) = 0;
    // The tag that GetIDsFromNames gives the name, with the type put in
    // (the name is created when it is new).
    virtual ULONG GetNamedPropertyTag(const MAPINAMEID& name, ULONG type) = 0;
    // The type GetIDsFromNames puts into the tags of the names it maps
    // (PT_UNSPECIFIED until set): a typed tag, or PT_ERROR for a store that
    // cannot map names.
    virtual void SetNamedPropertyType(ULONG type) = 0;
    // SetProps writes no property of this id but lists it with the problem in
    // its problem array (the call itself succeeds).
    virtual void SetPropertyProblem(ULONG propertyId, SCODE problem) = 0;
    // The flags of the last call of IMAPIFolder::DeleteMessages or
    // IMAPIFolder::SetReadFlags. A result set for the call
    // "IMAPIFolder::DeleteMessages DELETE_HARD_DELETE" answers only deletes
    // with that flag (MAPI_E_UNKNOWN_FLAGS: a store without hard deletes);
    // MAPI_W_PARTIAL_COMPLETION deletes nothing.
    virtual ULONG GetLastFlags(const char* call) = 0;
    // Table notifications for the sinks advised on the folder's contents
    // tables, in one OnNotify call on the provider's own thread (the rows are
    // copied; returns at once). With duringAdvise they wait for the next
    // Advise on those tables, which returns only once they are delivered.
    virtual void NotifyTable(IMAPIFolder* folder, const NOTIFICATION* notifications, ULONG count,
                             bool duringAdvise) = 0;
    // Returns once every notification queued so far has been delivered.
    virtual void WaitForNotifications() = 0;
    // Whether a delivery holds a reference to each sink while it calls (as
    // after Reset). Without, only the advise reference keeps the sink, which
    // Unadvise gives back at once, also while OnNotify runs.
    virtual void HoldSinksWhileNotifying(bool hold) = 0;
    // New mail: the message joins the folder, and the sinks advised on its
    // contents tables hear of its row (TABLE_ROW_ADDED) as NotifyTable tells.
    virtual void DeliverMessage(IMAPIFolder* folder, const SPropValue* values, ULONG count) = 0;
    // As NotifyTable, but still on its way to the sink when the next Unadvise
    // on the folder's contents tables returns: it reaches that sink alone,
    // with a reference of the store's, at the next WaitForNotifications.
    virtual void NotifyTableAfterUnadvise(IMAPIFolder* folder, const NOTIFICATION* notifications, ULONG count) = 0;

    // The same from rows of values.
    IMessage* CreateMessage(PropRow values, std::vector<PropRow> recipients = {})
    {
        std::vector<SRow> rows = Rows(recipients);
        return CreateMessage(values.data(), static_cast<ULONG>(values.size()), rows.data(),
                             static_cast<ULONG>(rows.size()));
    }
    IMAPIFolder* CreateFolder(std::vector<PropRow> messages)
    {
        std::vector<SRow> rows = Rows(messages);
        return CreateFolder(nullptr, 0, rows.data(), static_cast<ULONG>(rows.size()));
    }
    void AddMailUser(const std::string& entryId, PropRow values)
    {
        values.push_back(BinaryProp(PR_ENTRYID, entryId));
        AddMailUser(values.data(), static_cast<ULONG>(values.size()));
    }

protected:
    ~IControl() = default;
};

// The entry id IMAPISession::QueryIdentity gives: flags, then a name.
inline constexpr BYTE UserEntryId[] = {0, 0, 0, 0, 'Q', 'Z', 'L', 'T', 'E', 'S', 'T', '-', 'U', 'S', 'E', 'R', 0};

// The control of a loaded copy of the provider, or null when the module is
// no test provider.
inline IControl* GetControl(HMODULE provider)
{
    using ControlFunction = IControl*(WINAPI*)();
    auto control = reinterpret_cast<ControlFunction>(
        reinterpret_cast<void*>(::GetProcAddress(provider, "QzlTestMapiControl")));
    return control != nullptr ? control() : nullptr;
}

} // namespace QzlTestMapi

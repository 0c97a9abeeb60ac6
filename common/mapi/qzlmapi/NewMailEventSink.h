#pragma once
// Watches one MAPI folder for arriving messages through its contents table
// and hands each new message to a callback; a message the callback answers
// true for (an authentication probe) is deleted for good.
//
// MAPI calls OnNotify on a thread of its own choosing, also while the owner
// initialises or uninitialises the sink on the user-interface thread. The
// folder, table and callback are therefore set before the sink is advised
// and dropped only after it is unadvised, and each notification works on
// references of its own taken under the sink's lock.
//
// Every notification of a call is handled. A table that reports a bulk
// change (TABLE_CHANGED, TABLE_RELOAD) instead of rows is read again for the
// messages delivered since the sink began watching; no message is handed to
// the callback twice.

#include "CriticalSection.h"
#include "MapiPointers.h"
#include "StringW.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

namespace Quenzal::Mapi {

class CNewMailEventSink : public IMAPIAdviseSink {
public:
    // True: the message was an authentication probe, to be deleted.
    using NewMessageCallback = std::function<bool(IMessage*)>;

    // One reference, which the owner gives back after Uninitialize.
    CNewMailEventSink() = default;
    CNewMailEventSink(const CNewMailEventSink&) = delete;
    CNewMailEventSink& operator=(const CNewMailEventSink&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Always S_OK; nothing raised reaches MAPI.
    STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION notifications) override;

    // Raises CMapiError, leaving the sink unregistered and empty, when the
    // table cannot be had or advised.
    void Initialize(IMAPIFolder* folder, NewMessageCallback callback);
    // Harmless when not registered.
    void Uninitialize() noexcept;

protected:
    // Unregisters a sink still registered.
    virtual ~CNewMailEventSink();

private:
    // What one notification works with, held by the notification.
    struct Watch {
        IMAPIFolderPtr folder;
        std::shared_ptr<const NewMessageCallback> callback;
        StringW folderName;
    };

    // Drops the folder and the table; the callback and the name stay.
    void Forget();
    Watch CurrentWatch();
    void HandleNotification(const Watch& watch, const NOTIFICATION& notification);
    void HandleAddedRow(const Watch& watch, const SRow& row);
    void RereadTable(const Watch& watch);
    void HandleMessage(const Watch& watch, const std::string& entryId);
    bool OnNewMessage(const Watch& watch, const std::string& entryId);
    void DeleteMessage(const Watch& watch, const std::string& entryId);

    LONG m_references = 1;
    Os::CCriticalSection m_lock;
    IMAPIFolderPtr m_folder;
    IMAPITablePtr m_table;
    StringW m_folderName;
    ULONG m_connection = 0;
    std::shared_ptr<const NewMessageCallback> m_callback;
    // The UTC moment watching began, and the messages handed out since.
    ULONGLONG m_watchedSince = 0;
    std::set<std::string> m_handed;
};

} // namespace Quenzal::Mapi

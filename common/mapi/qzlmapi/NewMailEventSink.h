#pragma once
// Watches one MAPI folder for arriving messages through its contents table
// and hands each new message to a callback; a message the callback answers
// true for (an authentication probe) is deleted for good.
//
// MAPI calls OnNotify on a thread of its own choosing, also while the owner
// initialises or uninitialises the sink on the user-interface thread. The
// folder, table and callback are therefore set before the sink is advised
// and dropped only after it is unadvised, and each notification works on
// references of its own taken under the sink's lock. A store may hold no
// reference of its own while it calls, so each notification holds one, and
// Uninitialize waits for the notifications under way on other threads: once
// it returns, the callback runs no more.
//
// Every notification of a call is handled. A table that reports a bulk
// change (TABLE_CHANGED, TABLE_RELOAD) instead of rows is read again, but
// only for the window of recent deliveries: it opens when watching begins
// and follows the newest message handed over, less a margin for messages
// that reach the table out of delivery order (a store that cannot restrict
// its tables to it has them read whole). The entry ids handed over in
// that window are kept, so no message is handed to the callback twice, and
// the ones older than the window are forgotten.

#include "CriticalSection.h"
#include "MapiPointers.h"
#include "ModuleLock.h"
#include "StringW.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // table cannot be had or advised; raises CComError E_FAIL, leaving the
    // registration as it is, on a sink that is already watching.
    void Initialize(IMAPIFolder* folder, NewMessageCallback callback);
    // Harmless when not registered. Called from within a notification it
    // does not wait for that one, which hands nothing more over.
    void Uninitialize() noexcept;

protected:
    // Unregisters a sink still registered.
    virtual ~CNewMailEventSink();
    // The entry ids kept so that no message is handed over twice.
    size_t GetRememberedCount();

private:
    // What one notification works with, held by the notification.
    struct Watch {
        IMAPIFolderPtr folder;
        std::shared_ptr<const NewMessageCallback> callback;
        StringW folderName;
    };

    // One notification's hold on the sink: its reference and its place among
    // the notifications under way, given back together however it ends.
    class CNotificationHold {
    public:
        explicit CNotificationHold(CNewMailEventSink& sink);
        ~CNotificationHold();
        CNotificationHold(const CNotificationHold&) = delete;
        CNotificationHold& operator=(const CNotificationHold&) = delete;

    private:
        CNewMailEventSink& m_sink;
    };

    // Drops the folder and the table; the callback and the name stay.
    void Forget();
    Watch CurrentWatch();
    void HandleNotification(const Watch& watch, const NOTIFICATION& notification);
    void HandleAddedRow(const Watch& watch, const SRow& row);
    void RereadTable(const Watch& watch);
    void EnterNotification();
    void LeaveNotification();
    // Until no notification runs on another thread.
    void WaitForOtherNotifications();
    // A delivery time not known from the row is read from the message.
    void HandleMessage(const Watch& watch, const std::string& entryId, std::optional<ULONGLONG> delivered);
    bool OnNewMessage(const Watch& watch, const std::string& entryId, std::optional<ULONGLONG>& delivered);
    void DeleteMessage(const Watch& watch, const std::string& entryId);
    // Keeps the handed message while it is in the window, which it may move.
    void Remember(const std::string& entryId, std::optional<ULONGLONG> delivered);

    // A store may call the sink long after its owner let it go: the module
    // that holds its code stays loaded as long as the sink lives.
    Os::CModuleLock m_moduleLock;
    LONG m_references = 1;
    Os::CCriticalSection m_lock;
    IMAPIFolderPtr m_folder;
    IMAPITablePtr m_table;
    StringW m_folderName;
    ULONG m_connection = 0;
    std::shared_ptr<const NewMessageCallback> m_callback;
    // Set by Uninitialize: no callback starts any more.
    bool m_stopped = false;
    // The threads of the notifications under way, and their ending.
    std::vector<DWORD> m_notifying;
    CONDITION_VARIABLE m_notificationEnded = CONDITION_VARIABLE_INIT;
    // The window's start (UTC) and the messages handed over in it, with their
    // delivery times.
    ULONGLONG m_windowStart = 0;
    std::map<std::string, ULONGLONG> m_handed;
    // The store refused to restrict the table once, which is told only once.
    std::atomic<bool> m_readsWholeTable{false};
};

} // namespace Quenzal::Mapi

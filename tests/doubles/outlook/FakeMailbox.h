#pragma once
// The stand-in Outlook's mailbox: default folders with their Items (Count,
// Item, Restrict with the filters the add-in writes, Sort, ItemAdd and
// ItemChange events), mail items over MAPI messages of the test provider
// (Subject, ReceivedTime, EntryID, MAPIOBJECT, Categories, Sent, Move,
// Delete), contact items over MAPI property objects (Subject, EntryID,
// MAPIOBJECT), and the
// NameSpace members that reach them (GetDefaultFolder, GetFolderFromID,
// MAPIOBJECT, Offline, PickFolder). As in Outlook, ItemAdd is raised later, from the
// user-interface thread's message loop, never inside the call that moved the
// item.

#include "FakeOutlook.h"

#include <deque>
#include <memory>

namespace QzlFake {

namespace Outlook {

inline constexpr IID ContactItem = Iid(0x00063021);
inline constexpr IID ItemsEvents = Iid(0x00063077);
inline constexpr DISPID ItemAdd = 0xF001;
inline constexpr DISPID ItemChange = 0xF002;

// Default folder numbers.
inline constexpr long DeletedItems = 3;
inline constexpr long SentMail = 5;
inline constexpr long Inbox = 6;
inline constexpr long Contacts = 10;
inline constexpr long Junk = 23;

} // namespace Outlook

class CFakeMailbox {
public:
    // Puts the mailbox into the outlook's NameSpace; mapiSession (may be
    // null) is what NameSpace.MAPIOBJECT gives.
    CFakeMailbox(CFakeOutlook& outlook, IUnknown* mapiSession);
    ~CFakeMailbox();
    CFakeMailbox(const CFakeMailbox&) = delete;
    CFakeMailbox& operator=(const CFakeMailbox&) = delete;

    // A default folder; null once removed.
    CFakeRef Folder(long defaultFolder) const;
    // A folder of the user's own, found by GetFolderFromID(EntryID, StoreID).
    CFakeRef AddFolder(const std::wstring& name);
    // The profile has no such default folder.
    void RemoveFolder(long defaultFolder);
    // The items in a folder, oldest first.
    std::vector<CFakeRef>& Items(const CFakeRef& folder);
    // The folder that holds the item; null once it is deleted for good.
    CFakeRef FolderHolding(const CFakeRef& item);

    // A mail item over the MAPI message; with announce, ItemAdd follows.
    CFakeRef AddMail(const CFakeRef& folder, const std::wstring& subject, DATE received, IUnknown* message,
                     bool announce = false);
    // A contact item in Contacts over the MAPI properties; with announce,
    // ItemAdd follows.
    CFakeRef AddContact(const std::wstring& name, IUnknown* properties, bool announce = false);
    // The user saved the item again: ItemChange follows.
    void ChangeItem(const CFakeRef& item);
    // Raises the events waiting for the message loop now.
    void DeliverEvents();
    size_t PendingEventCount() const { return m_events.size(); }

    // Subjects of the items deleted for good, in order.
    std::vector<std::wstring> permanentlyDeleted;
    // What the user picks at each NameSpace.PickFolder; none left: the user cancels.
    std::deque<CFakeRef> folderPicks;

private:
    struct FolderData {
        long id = 0;
        CFakeRef folder;
        CFakeRef items;
        std::vector<CFakeRef> list;
    };

    FolderData& MakeFolder(long id, const std::wstring& name);
    FolderData* Find(const CFakeRef& folder);
    FolderData* FolderOf(CFakeObject* item);
    _variant_t Move(CFakeObject* item, IDispatch* target);
    void Delete(CFakeObject* item);
    CFakeRef AddItem(FolderData& folder, const IID& kind, const std::wstring& subject, IUnknown* mapiObject,
                     bool announce);
    void QueueEvent(FolderData& folder, CFakeObject* item, DISPID event = Outlook::ItemAdd);
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);

    CFakeOutlook& m_outlook;
    std::deque<std::unique_ptr<FolderData>> m_folders;
    struct PendingEvent {
        FolderData* folder;
        CFakeRef item;
        DISPID event;
    };
    std::deque<PendingEvent> m_events;
    UINT_PTR m_timer = 0;
    int m_nextEntryId = 1;
};

// Items.Restrict: conditions "[Property] op "value"" joined by AND and OR,
// in parentheses or not; dates are read as Outlook reads them, in the user's
// locale. Raises E_INVALIDARG for a filter it cannot read.
bool MatchesRestriction(CFakeObject& item, const std::wstring& filter);

} // namespace QzlFake

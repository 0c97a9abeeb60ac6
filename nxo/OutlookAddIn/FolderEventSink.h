#pragma once
// Items arriving in (and, for Contacts, changing in) one of Outlook's default
// folders, handed to the add-in with the folder's number. Each event has its
// own connection to the folder's Items collection, so a folder that is not
// watched for changes never hears of them.

#include "DispatchObject.h"
#include "EventSink.h"

#include <functional>

class CFolderEventSink {
public:
    using Handler = std::function<void(long folderId, IDispatch* item)>;

    CFolderEventSink(Handler onItemAdd, Handler onItemChange);
    ~CFolderEventSink();
    CFolderEventSink(const CFolderEventSink&) = delete;
    CFolderEventSink& operator=(const CFolderEventSink&) = delete;

    // Raises CComError E_FAIL without a folder or Items, or when already connected.
    void Initialize(const Quenzal::OutlookAddIn::CDispatchObject& folder, long folderId, bool watchChanges);
    // Never fails; harmless when not connected.
    void Uninitialize();

    long GetFolderId() const { return m_folderId; }
    // Null before Initialize.
    Quenzal::OutlookAddIn::CDispatchObject GetItems() const { return m_items; }
    long GetItemCount() const;
    // 1-based.
    Quenzal::OutlookAddIn::CDispatchObject GetItem(long index) const;

private:
    Quenzal::OutlookAddIn::CEventSinkRef m_itemAddSink;
    Quenzal::OutlookAddIn::CEventSinkRef m_itemChangeSink;
    Quenzal::OutlookAddIn::CDispatchObject m_folder;
    long m_folderId = 0;
    Quenzal::OutlookAddIn::CDispatchObject m_items;
};

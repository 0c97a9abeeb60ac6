#include "FolderEventSink.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "OutlookIds.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

CFolderEventSink::CFolderEventSink(Handler onItemAdd, Handler onItemChange)
{
    m_itemAddSink = CEventSinkRef::Create(
        DIID_ItemsEvents, std::map<DISPID, CEventSink::Handler>{
                              {DISPID_ItemAdd, [this, onItemAdd](const CEventArguments& arguments) {
                                   Logging::Log(Logging::Trace, L"Entered CFolderEventSink::OnFolderItemAdd");
                                   onItemAdd(m_folderId, arguments.GetDispatch(0));
                               }}});
    m_itemChangeSink = CEventSinkRef::Create(
        DIID_ItemsEvents, std::map<DISPID, CEventSink::Handler>{
                              {DISPID_ItemChange, [this, onItemChange](const CEventArguments& arguments) {
                                   Logging::Log(Logging::Trace, L"Entered CFolderEventSink::OnFolderItemChange");
                                   onItemChange(m_folderId, arguments.GetDispatch(0));
                               }}});
}

CFolderEventSink::~CFolderEventSink()
{
    Uninitialize();
    m_itemAddSink->Disconnect();
    m_itemChangeSink->Disconnect();
}

void CFolderEventSink::Initialize(const CDispatchObject& folder, long folderId, bool watchChanges)
{
    const wchar_t* function = QZL_FUNCTION;
    if (!folder || m_itemAddSink->IsAdvised())
        QZL_THROW(function, CComError(E_FAIL));
    CDispatchObject items = folder.GetDispatch(L"Items");
    if (!items)
        QZL_THROW(function, CComError(E_FAIL));
    m_folder = folder;
    m_folderId = folderId;
    m_items = items;
    try {
        m_itemAddSink->Advise(items.GetInterface());
        if (watchChanges)
            m_itemChangeSink->Advise(items.GetInterface());
    } catch (...) {
        // No connection is left half made: Outlook would hold the sink for good.
        Uninitialize();
        throw;
    }
}

void CFolderEventSink::Uninitialize()
{
    if (m_items) {
        for (CEventSink* sink : {m_itemAddSink.Get(), m_itemChangeSink.Get()}) {
            try {
                sink->Unadvise();
            }
            QZL_CATCH_REPORT(QZL_FUNCTION)
        }
        m_items = CDispatchObject();
    }
    m_folder = CDispatchObject();
}

long CFolderEventSink::GetItemCount() const
{
    if (!m_items)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    return m_items.GetLong(L"Count");
}

CDispatchObject CFolderEventSink::GetItem(long index) const
{
    if (!m_items)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    return m_items.GetDispatch(L"Item", {_variant_t(index)});
}

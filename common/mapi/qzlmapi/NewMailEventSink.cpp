#include "NewMailEventSink.h"

#include "CaughtException.h"
#include "Logging.h"
#include "MapiCursor.h"
#include "MapiErrorPolicy.h"
#include "MapiNames.h"
#include "PropValue.h"

#include <algorithm>

namespace Quenzal::Mapi {
namespace {

ULONGLONG FileTimeValue(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG UtcNow()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

// How far the window reaches back behind the newest message handed over.
constexpr ULONGLONG WindowMargin = 60ULL * 10000000;
// The mark of a message being handed over: no move of the window forgets it.
constexpr ULONGLONG BeingHandedOver = ~0ULL;

std::optional<ULONGLONG> DeliveryTime(const SPropValue* value)
{
    if (value == nullptr || value->ulPropTag != PR_MESSAGE_DELIVERY_TIME)
        return std::nullopt;
    return FileTimeValue(value->Value.ft);
}

std::optional<ULONGLONG> DeliveryTimeOf(IMAPIProp* message)
{
    LPSPropValue value = nullptr;
    HRESULT hr = Mapi::HrGetOneProp(message, PR_MESSAGE_DELIVERY_TIME, &value);
    CMapiBuffer<SPropValue> held = TakeMapiBuffer(hr, value);
    return hr == S_OK ? DeliveryTime(held.Get()) : std::nullopt;
}

// A one-message list that comes back partly done kept its message.
void CheckDeletion(const wchar_t* function, IMAPIFolder* folder, HRESULT hr)
{
    if (hr == MAPI_W_PARTIAL_COMPLETION)
        QZL_THROW(function, CMapiError(hr, GetMapiLastError(hr, folder).Get(), L"The message was not deleted"));
    QZL_CHECK_MAPI_RESULT(function, folder, hr);
}

} // namespace

STDMETHODIMP CNewMailEventSink::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (iid != __uuidof(IMAPIAdviseSink) && iid != __uuidof(IUnknown))
        return E_NOINTERFACE;
    *object = static_cast<IMAPIAdviseSink*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CNewMailEventSink::AddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_references));
}

STDMETHODIMP_(ULONG) CNewMailEventSink::Release()
{
    LONG left = ::InterlockedDecrement(&m_references);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

CNewMailEventSink::~CNewMailEventSink()
{
    Uninitialize();
}

void CNewMailEventSink::Initialize(IMAPIFolder* folder, NewMessageCallback callback)
{
    Logging::Log(Logging::Trace, L"Entered CNewMailEventSink::Initialize");
    {
        // A second registration would never be unadvised, nor the sink freed.
        Os::CCriticalSectionLock lock(m_lock);
        if (m_folder)
            QZL_THROW(L"Quenzal::Mapi::CNewMailEventSink::Initialize",
                      CComError(E_FAIL, L"new-mail event sink already watching a folder"));
    }
    IMAPITable* contents = nullptr;
    HRESULT hr = folder->GetContentsTable(0, &contents);
    IMAPITablePtr table(SUCCEEDED(hr) ? contents : nullptr, false);
    QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::CNewMailEventSink::Initialize", folder, hr);

    StringW folderName;
    LPSPropValue name = nullptr;
    hr = Mapi::HrGetOneProp(folder, PR_DISPLAY_NAME_W, &name);
    CMapiBuffer<SPropValue> nameValue = TakeMapiBuffer(hr, name);
    if (hr == S_OK) {
        Value text = PropValueToValue(nameValue.Get());
        folderName = ValueToStringW(text);
    }

    {
        Os::CCriticalSectionLock lock(m_lock);
        m_folder = folder;
        m_table = table;
        if (!folderName.empty())
            m_folderName = folderName;
        m_callback = std::make_shared<const NewMessageCallback>(std::move(callback));
        m_stopped = false;
        m_windowStart = UtcNow();
        m_handed.clear();
    }
    ULONG connection = 0;
    try {
        QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::CNewMailEventSink::Initialize", table,
                              table->Advise(fnevTableModified, this, &connection));
    } catch (...) {
        Forget();
        throw;
    }
    Os::CCriticalSectionLock lock(m_lock);
    m_connection = connection;
}

void CNewMailEventSink::Forget()
{
    IMAPIFolderPtr folder;
    IMAPITablePtr table;
    Os::CCriticalSectionLock lock(m_lock);
    folder.Attach(m_folder.Detach());
    table.Attach(m_table.Detach());
    m_connection = 0;
    // The lock goes first, then the references: MAPI may take its time releasing.
}

void CNewMailEventSink::Uninitialize() noexcept
{
    try {
        Logging::Log(Logging::Trace, L"Entered CNewMailEventSink::Uninitialize");
        IMAPITablePtr table;
        ULONG connection = 0;
        {
            Os::CCriticalSectionLock lock(m_lock);
            m_stopped = true;
            table = m_table;
            connection = m_connection;
        }
        // Not under the lock: MAPI may wait for a notification in progress,
        // and that notification takes the lock.
        if (connection != 0) {
            try {
                QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::CNewMailEventSink::Uninitialize", table,
                                      table->Unadvise(connection));
            } catch (const CException& e) {
                QZL_REPORT_CAUGHT(L"Quenzal::Mapi::CNewMailEventSink::Uninitialize", e);
            }
        }
        // Also after a second call: the first may have come from within a notification.
        WaitForOtherNotifications();
        if (connection != 0)
            Forget();
    }
    QZL_CATCH_REPORT(L"Quenzal::Mapi::CNewMailEventSink::Uninitialize")
}

CNewMailEventSink::CNotificationHold::CNotificationHold(CNewMailEventSink& sink) : m_sink(sink)
{
    m_sink.AddRef();
    try {
        m_sink.EnterNotification();
    } catch (...) {
        m_sink.Release();
        throw;
    }
}

CNewMailEventSink::CNotificationHold::~CNotificationHold()
{
    m_sink.LeaveNotification();
    m_sink.Release();
}

void CNewMailEventSink::EnterNotification()
{
    Os::CCriticalSectionLock lock(m_lock);
    m_notifying.push_back(::GetCurrentThreadId());
}

void CNewMailEventSink::LeaveNotification()
{
    Os::CCriticalSectionLock lock(m_lock);
    auto entry = std::find(m_notifying.begin(), m_notifying.end(), ::GetCurrentThreadId());
    if (entry != m_notifying.end())
        m_notifying.erase(entry);
    ::WakeAllConditionVariable(&m_notificationEnded);
}

void CNewMailEventSink::WaitForOtherNotifications()
{
    DWORD self = ::GetCurrentThreadId();
    Os::CCriticalSectionLock lock(m_lock);
    while (std::any_of(m_notifying.begin(), m_notifying.end(), [self](DWORD thread) { return thread != self; }))
        ::SleepConditionVariableCS(&m_notificationEnded, m_lock.Get(), INFINITE);
}

size_t CNewMailEventSink::GetRememberedCount()
{
    Os::CCriticalSectionLock lock(m_lock);
    return m_handed.size();
}

CNewMailEventSink::Watch CNewMailEventSink::CurrentWatch()
{
    Os::CCriticalSectionLock lock(m_lock);
    return Watch{m_folder, m_callback, m_folderName};
}

STDMETHODIMP_(ULONG) CNewMailEventSink::OnNotify(ULONG count, LPNOTIFICATION notifications)
{
    try {
        // The store may call with only the reference the owner gives back meanwhile.
        CNotificationHold hold(*this);
        Logging::Log(Logging::Trace, L"Entered CNewMailEventSink::OnNotify");
        Watch watch = CurrentWatch();
        // A notification still on its way when the sink was unadvised finds nothing to work on.
        if (!watch.folder)
            return S_OK;
        for (ULONG i = 0; notifications != nullptr && i < count; ++i) {
            try {
                HandleNotification(watch, notifications[i]);
            }
            QZL_CATCH_REPORT(L"Quenzal::Mapi::CNewMailEventSink::OnNotify")
        }
    }
    QZL_CATCH_REPORT(L"Quenzal::Mapi::CNewMailEventSink::OnNotify")
    return S_OK;
}

void CNewMailEventSink::HandleNotification(const Watch& watch, const NOTIFICATION& notification)
{
    if (notification.ulEventType != fnevTableModified)
        QZL_THROW(L"Quenzal::Mapi::CNewMailEventSink::OnNotify",
                  CException(StringW::Format(L"CNewMailEventSink received unexpected notification for folder '%s': %s",
                                             watch.folderName.c_str(),
                                             FormatNotificationEventMask(notification.ulEventType).c_str())));
    const TABLE_NOTIFICATION& table = notification.info.tab;
    Logging::LogFormat(Logging::Trace, L"Entered CNewMailEventSink::OnNotify for folder '%s', notification %s, table event %s",
                       watch.folderName.c_str(), FormatNotificationEventMask(notification.ulEventType).c_str(),
                       GetTableEventName(table.ulTableEvent).c_str());
    if (table.ulTableEvent == TABLE_ROW_ADDED)
        HandleAddedRow(watch, table.row);
    else if (table.ulTableEvent == TABLE_CHANGED || table.ulTableEvent == TABLE_RELOAD)
        RereadTable(watch);
}

void CNewMailEventSink::HandleAddedRow(const Watch& watch, const SRow& row)
{
    LPSPropValue entryId = Mapi::PpropFindProp(row.lpProps, row.cValues, PR_ENTRYID);
    if (entryId == nullptr)
        QZL_THROW(L"Quenzal::Mapi::CNewMailEventSink::OnNotify",
                  CException(L"Entry ID not found in TABLE_ROW_ADDED row properties"));
    Value value = PropValueToValue(entryId);
    std::string bytes = value.MakeBinary();
    if (bytes.empty())
        QZL_THROW(L"Quenzal::Mapi::CNewMailEventSink::OnNotify",
                  CException(L"Entry ID in TABLE_ROW_ADDED row properties is null"));
    HandleMessage(watch, bytes,
                  DeliveryTime(Mapi::PpropFindProp(row.lpProps, row.cValues, PR_MESSAGE_DELIVERY_TIME)));
}

void CNewMailEventSink::RereadTable(const Watch& watch)
{
    const wchar_t* function = L"Quenzal::Mapi::CNewMailEventSink::OnNotify";
    IMAPITable* contents = nullptr;
    HRESULT hr = watch.folder->GetContentsTable(0, &contents);
    IMAPITablePtr table(SUCCEEDED(hr) ? contents : nullptr, false);
    QZL_CHECK_MAPI_RESULT(function, watch.folder, hr);
    ULONGLONG windowStart = 0;
    {
        Os::CCriticalSectionLock lock(m_lock);
        windowStart = m_windowStart;
    }
    SPropValue since{PR_MESSAGE_DELIVERY_TIME, 0, {}};
    since.Value.ft = {static_cast<DWORD>(windowStart), static_cast<DWORD>(windowStart >> 32)};
    SRestriction inWindow{RES_PROPERTY, {}};
    inWindow.res.resProperty = {RELOP_GE, PR_MESSAGE_DELIVERY_TIME, &since};
    // A store without restrictions still has its new mail found: the table is
    // read whole, and the window is kept below.
    hr = table->Restrict(&inWindow, TBL_BATCH);
    if (FAILED(hr) && !m_readsWholeTable.exchange(true))
        Logging::LogFormat(Logging::Warning,
                           L"Contents table of folder '%s' cannot be restricted (%s); bulk changes read it whole",
                           watch.folderName.c_str(), GetErrorText(static_cast<DWORD>(hr)).c_str());
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_MESSAGE_DELIVERY_TIME}};
    // Collected first: handling a message may delete it from the table.
    std::vector<std::pair<std::string, ULONGLONG>> arrived;
    CMapiCursor cursor = QueryMapiTable(table, reinterpret_cast<const SPropTagArray*>(&columns));
    while (const SRow* row = cursor.GetNextRow()) {
        if (row->cValues == 2 && row->lpProps[0].ulPropTag == PR_ENTRYID &&
            row->lpProps[1].ulPropTag == PR_MESSAGE_DELIVERY_TIME &&
            FileTimeValue(row->lpProps[1].Value.ft) >= windowStart)
            arrived.emplace_back(std::string(reinterpret_cast<const char*>(row->lpProps[0].Value.bin.lpb),
                                             row->lpProps[0].Value.bin.cb),
                                 FileTimeValue(row->lpProps[1].Value.ft));
    }
    // In the order of delivery: the window each handing over moves keeps the ones still to come.
    std::sort(arrived.begin(), arrived.end(),
              [](const auto& left, const auto& right) { return left.second < right.second; });
    for (const auto& [entryId, delivered] : arrived) {
        try {
            HandleMessage(watch, entryId, delivered);
        }
        QZL_CATCH_REPORT(function)
    }
}

void CNewMailEventSink::HandleMessage(const Watch& watch, const std::string& entryId,
                                      std::optional<ULONGLONG> delivered)
{
    {
        Os::CCriticalSectionLock lock(m_lock);
        if (m_stopped || !m_handed.emplace(entryId, BeingHandedOver).second)
            return;
    }
    // Remembered also when handling fails: a message that failed is not retried.
    try {
        if (OnNewMessage(watch, entryId, delivered))
            DeleteMessage(watch, entryId);
    } catch (...) {
        Remember(entryId, delivered);
        throw;
    }
    Remember(entryId, delivered);
}

void CNewMailEventSink::Remember(const std::string& entryId, std::optional<ULONGLONG> delivered)
{
    Os::CCriticalSectionLock lock(m_lock);
    ULONGLONG start = delivered && *delivered > WindowMargin ? *delivered - WindowMargin : 0;
    if (start > m_windowStart) {
        m_windowStart = start;
        std::erase_if(m_handed, [start](const auto& handed) { return handed.second < start; });
    }
    // No reading of the table finds a message older than the window, or one without a delivery time.
    if (delivered && *delivered >= m_windowStart)
        m_handed[entryId] = *delivered;
    else
        m_handed.erase(entryId);
}

bool CNewMailEventSink::OnNewMessage(const Watch& watch, const std::string& entryId,
                                     std::optional<ULONGLONG>& delivered)
{
    ULONG objectType = 0;
    IUnknown* opened = nullptr;
    HRESULT hr = watch.folder->OpenEntry(static_cast<ULONG>(entryId.size()),
                                         reinterpret_cast<LPENTRYID>(const_cast<char*>(entryId.data())),
                                         &__uuidof(IMessage), 0, &objectType, &opened);
    IMessagePtr message(SUCCEEDED(hr) ? static_cast<IMessage*>(opened) : nullptr, false);
    QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::CNewMailEventSink::OnNewMessage", watch.folder, hr);
    if (!delivered)
        delivered = DeliveryTimeOf(message.GetInterfacePtr());
    Logging::Log(Logging::Trace, L"Invoking new message callback");
    return (*watch.callback)(message.GetInterfacePtr());
}

void CNewMailEventSink::DeleteMessage(const Watch& watch, const std::string& entryId)
{
    const wchar_t* function = L"Quenzal::Mapi::CNewMailEventSink::DeleteMessage";
    Logging::Log(Logging::Debug, L"Deleting authentication probe");
    SBinary entry{static_cast<ULONG>(entryId.size()), reinterpret_cast<LPBYTE>(const_cast<char*>(entryId.data()))};
    ENTRYLIST list{1, &entry};
    IMAPIFolder* folder = watch.folder.GetInterfacePtr();
    try {
        CheckDeletion(function, folder, folder->DeleteMessages(&list, 0, nullptr, DELETE_HARD_DELETE));
        return;
    } catch (const CMapiError& e) {
        // Whatever kept the hard delete from deleting, a plain delete may
        // still take the probe out of the Inbox.
        const DWORD code = static_cast<DWORD>(e.GetHResult());
        StringW refusal = GetErrorCodeName(code);
        if (refusal.empty())
            refusal = FormatErrorCode(code);
        Logging::LogFormat(Logging::Warning,
                           L"DeleteItems( DELETE_HARD_DELETE) failed with %s; marking as read and deleting "
                           L"without flag",
                           refusal.c_str());
    }
    // The probe must not stay because it could not be marked as read.
    try {
        QZL_CHECK_MAPI_RESULT(function, folder, folder->SetReadFlags(&list, 0, nullptr, SUPPRESS_RECEIPT));
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(function, e);
    }
    CheckDeletion(function, folder, folder->DeleteMessages(&list, 0, nullptr, 0));
}

} // namespace Quenzal::Mapi

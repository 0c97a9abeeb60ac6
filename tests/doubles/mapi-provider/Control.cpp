// The state tests set through the control interface: injected results, call
// counts and flags, the extended error, the Windows Installer components,
// named properties and the properties SetProps refuses.
#include "Provider.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace QzlTestMapi {
namespace {

struct ErrorRecord {
    std::optional<std::wstring> component;
    std::optional<std::wstring> error;
    ULONG lowLevelError = 0;
    ULONG context = 0;
};

// A named property's set, kind and number or name.
using NameKey = std::tuple<std::string, ULONG, LONG, std::wstring>;

NameKey KeyOf(const MAPINAMEID& name)
{
    std::string set = name.lpguid != nullptr ? std::string(reinterpret_cast<const char*>(name.lpguid), sizeof(GUID))
                                             : std::string();
    if (name.ulKind == MNID_STRING)
        return {set, MNID_STRING, 0, name.Kind.lpwstrName != nullptr ? name.Kind.lpwstrName : L""};
    return {set, MNID_ID, name.Kind.lID, L""};
}

class CControl final : public IControl {
public:
    void Reset() override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_results.clear();
        m_calls.clear();
        m_lastError.reset();
        m_components.clear();
        m_mailUsers.clear();
        m_names.clear();
        m_namedType = PT_UNSPECIFIED;
        m_problems.clear();
        m_flags.clear();
        QzlTestMapi::HoldSinksWhileNotifying(true);
    }
    void SetResult(const char* call, HRESULT result) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_results[call] = result;
    }
    long GetCallCount(const char* call) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_calls[call];
    }
    void SetLastError(const wchar_t* component, const wchar_t* error, ULONG lowLevelError, ULONG context) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lastError = ErrorRecord{component != nullptr ? std::optional<std::wstring>(component) : std::nullopt,
                                  error != nullptr ? std::optional<std::wstring>(error) : std::nullopt,
                                  lowLevelError, context};
    }
    void SetComponentPath(const char* component, const char* qualifier, const char* path) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_components[{component, qualifier}] = path;
    }
    long GetLiveAllocations() override { return LiveAllocations(); }
    long GetForeignFrees() override { return ForeignFrees(); }
    long GetLiveObjects() override { return m_liveObjects; }
    void CountObject(long change) { m_liveObjects += change; }
    IMAPIProp* CreatePropObject(const SPropValue* values, ULONG count) override
    {
        return NewPropObject(std::make_shared<const CPropBag>(values, count));
    }
    IMessage* CreateMessage(const SPropValue* values, ULONG count, const SRow* recipients,
                            ULONG recipientCount) override
    {
        return NewMessage(std::make_shared<const CPropBag>(values, count), NewPropBags(recipients, recipientCount));
    }
    IMAPIFolder* CreateFolder(const SPropValue* values, ULONG count, const SRow* messages, ULONG messageCount) override
    {
        return NewFolder(std::make_shared<const CPropBag>(values, count), NewPropBags(messages, messageCount));
    }
    void AddMailUser(const SPropValue* values, ULONG count) override
    {
        auto user = std::make_shared<const CPropBag>(values, count);
        std::lock_guard<std::mutex> lock(m_lock);
        m_mailUsers.push_back(std::move(user));
    }
    ULONG GetNamedPropertyTag(const MAPINAMEID& name, ULONG type) override
    {
        return PROP_TAG(type, NamedPropertyId(name, true));
    }
    void SetNamedPropertyType(ULONG type) override { m_namedType = type; }
    void SetPropertyProblem(ULONG propertyId, SCODE problem) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_problems[propertyId] = problem;
    }
    ULONG GetLastFlags(const char* call) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_flags[call];
    }
    void NotifyTable(IMAPIFolder* folder, const NOTIFICATION* notifications, ULONG count, bool duringAdvise) override
    {
        QueueNotifications(NotificationHubOf(folder), notifications, count,
                           duringAdvise ? NotificationTime::DuringAdvise : NotificationTime::Now);
    }
    void NotifyTableAfterUnadvise(IMAPIFolder* folder, const NOTIFICATION* notifications, ULONG count) override
    {
        QueueNotifications(NotificationHubOf(folder), notifications, count, NotificationTime::AfterUnadvise);
    }
    void WaitForNotifications() override { QzlTestMapi::WaitForNotifications(); }
    void HoldSinksWhileNotifying(bool hold) override { QzlTestMapi::HoldSinksWhileNotifying(hold); }
    void DeliverMessage(IMAPIFolder* folder, const SPropValue* values, ULONG count) override
    {
        if (!AddFolderMessage(folder, std::make_shared<const CPropBag>(values, count)))
            return;
        PropRow row(values, values + count);
        NOTIFICATION added = TableNotification(TABLE_ROW_ADDED, &row);
        NotifyTable(folder, &added, 1, false);
    }

    ULONG NamedType() const { return m_namedType; }
    SCODE Problem(ULONG propertyId)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = m_problems.find(propertyId);
        return it != m_problems.end() ? it->second : S_OK;
    }
    void RecordFlags(const char* call, ULONG flags)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_flags[call] = flags;
    }

    PropBagPtr FindMailUser(ULONG size, const ENTRYID* entryId)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return FindEntry(m_mailUsers, size, entryId);
    }
    ULONG NamedPropertyId(const MAPINAMEID& name, bool create)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = m_names.find(KeyOf(name));
        if (it != m_names.end())
            return it->second;
        if (!create)
            return 0;
        ULONG id = 0x8000 + static_cast<ULONG>(m_names.size());
        m_names.emplace(KeyOf(name), id);
        return id;
    }

    HRESULT CallResult(const char* call)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_calls[call];
        auto it = m_results.find(call);
        return it != m_results.end() ? it->second : S_OK;
    }
    std::optional<ErrorRecord> LastError()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lastError;
    }
    bool FindComponentPath(const char* component, const char* qualifier, std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = m_components.find({component, qualifier});
        if (it == m_components.end())
            return false;
        path = it->second;
        return true;
    }

private:
    std::atomic<long> m_liveObjects{0};
    std::mutex m_lock;
    std::map<std::string, HRESULT> m_results;
    std::map<std::string, long> m_calls;
    std::optional<ErrorRecord> m_lastError;
    std::map<std::pair<std::string, std::string>, std::string> m_components;
    std::vector<PropBagPtr> m_mailUsers;
    std::map<NameKey, ULONG> m_names;
    std::atomic<ULONG> m_namedType{PT_UNSPECIFIED};
    std::map<ULONG, SCODE> m_problems;
    std::map<std::string, ULONG> m_flags;
};

CControl& Control()
{
    static CControl control;
    return control;
}

// A text of the record in memory chained to it, wide or in the ANSI code page.
LPTSTR CopyErrorText(const std::optional<std::wstring>& text, bool unicode, void* record)
{
    if (!text)
        return nullptr;
    std::string narrow(text->begin(), text->end());
    size_t size = unicode ? (text->size() + 1) * sizeof(wchar_t) : narrow.size() + 1;
    void* copy = nullptr;
    if (FAILED(MAPIAllocateMore(static_cast<ULONG>(size), record, &copy)))
        return nullptr;
    memcpy(copy, unicode ? static_cast<const void*>(text->c_str()) : narrow.c_str(), size);
    return static_cast<LPTSTR>(copy);
}

} // namespace

HRESULT CallResult(const char* call)
{
    return Control().CallResult(call);
}

HRESULT ProvideLastError(const char* call, ULONG flags, LPMAPIERROR* error)
{
    HRESULT hr = CallResult(call);
    if (FAILED(hr))
        return hr;
    if (error == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *error = nullptr;
    std::optional<ErrorRecord> record = Control().LastError();
    if (!record)
        return hr;
    void* buffer = nullptr;
    if (FAILED(MAPIAllocateBuffer(sizeof(MAPIERROR), &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* result = static_cast<LPMAPIERROR>(buffer);
    result->ulVersion = MAPI_ERROR_VERSION;
    result->lpszComponent = CopyErrorText(record->component, (flags & MAPI_UNICODE) != 0, result);
    result->lpszError = CopyErrorText(record->error, (flags & MAPI_UNICODE) != 0, result);
    result->ulLowLevelError = record->lowLevelError;
    result->ulContext = record->context;
    *error = result;
    return hr;
}

bool FindComponentPath(const char* component, const char* qualifier, std::string& path)
{
    return Control().FindComponentPath(component, qualifier, path);
}

void CountObject(long change)
{
    Control().CountObject(change);
}

PropBagPtr FindMailUser(ULONG size, const ENTRYID* entryId)
{
    return Control().FindMailUser(size, entryId);
}

ULONG NamedPropertyId(const MAPINAMEID& name, bool create)
{
    return Control().NamedPropertyId(name, create);
}

ULONG NamedPropertyType()
{
    return Control().NamedType();
}

SCODE PropertyProblem(ULONG propertyId)
{
    return Control().Problem(propertyId);
}

void RecordFlags(const char* call, ULONG flags)
{
    Control().RecordFlags(call, flags);
}

} // namespace QzlTestMapi

extern "C" QzlTestMapi::IControl* WINAPI QzlTestMapiControl()
{
    return &QzlTestMapi::Control();
}

#include "FakeMailbox.h"

#include <algorithm>
#include <cwctype>

namespace QzlFake {

namespace {

CFakeMailbox* g_timerMailbox = nullptr;

_variant_t DateValue(DATE date)
{
    _variant_t value;
    value.vt = VT_DATE;
    value.date = date;
    return value;
}

// Count, Item and Sort over a snapshot that the collection owns.
CFakeRef MakeSnapshot(std::vector<CFakeRef> items)
{
    auto list = std::make_shared<std::vector<CFakeRef>>(std::move(items));
    CFakeRef collection = CFakeObject::Create();
    collection->Define(L"Count", {[list](const Values&) { return _variant_t(static_cast<long>(list->size())); },
                                  nullptr, nullptr});
    collection->Method(L"Item", [list](const Values& arguments) {
        long index = arguments.size() == 1 ? static_cast<long>(arguments[0]) : 0;
        if (index < 1 || static_cast<size_t>(index) > list->size())
            throw DISP_E_BADINDEX;
        return _variant_t(static_cast<IDispatch*>((*list)[index - 1].Get()));
    });
    collection->Method(L"Sort", [list](const Values& arguments) {
        if (arguments.empty() || arguments[0].vt != VT_BSTR)
            throw DISP_E_BADPARAMCOUNT;
        std::wstring name = arguments[0].bstrVal;
        if (name.size() < 2 || name.front() != L'[' || name.back() != L']')
            throw E_INVALIDARG;
        name = name.substr(1, name.size() - 2);
        bool descending = arguments.size() > 1 && static_cast<bool>(arguments[1]);
        std::stable_sort(list->begin(), list->end(), [&](const CFakeRef& a, const CFakeRef& b) {
            HRESULT order = ::VarCmp(&a->Value(name), &b->Value(name), LOCALE_USER_DEFAULT, NORM_IGNORECASE);
            return descending ? order == VARCMP_GT : order == VARCMP_LT;
        });
        return _variant_t();
    });
    return collection;
}

// A small reader of Restrict filters.
class CFilterReader {
public:
    CFilterReader(CFakeObject& item, const std::wstring& text) : m_item(item), m_text(text) {}

    bool Read()
    {
        bool result = Or();
        Skip();
        if (m_at != m_text.size())
            throw E_INVALIDARG;
        return result;
    }

private:
    bool Or()
    {
        bool result = And();
        while (Keyword(L"OR"))
            result = And() || result;
        return result;
    }
    bool And()
    {
        bool result = Condition();
        while (Keyword(L"AND"))
            result = Condition() && result;
        return result;
    }
    bool Condition()
    {
        Skip();
        if (Take(L'(')) {
            bool result = Or();
            Skip();
            if (!Take(L')'))
                throw E_INVALIDARG;
            return result;
        }
        if (!Take(L'['))
            throw E_INVALIDARG;
        size_t end = m_text.find(L']', m_at);
        if (end == std::wstring::npos)
            throw E_INVALIDARG;
        std::wstring name = m_text.substr(m_at, end - m_at);
        m_at = end + 1;
        Skip();
        std::wstring op;
        while (m_at < m_text.size() && wcschr(L"<>=", m_text[m_at]) != nullptr)
            op += m_text[m_at++];
        Skip();
        if (!Take(L'"'))
            throw E_INVALIDARG;
        end = m_text.find(L'"', m_at);
        if (end == std::wstring::npos)
            throw E_INVALIDARG;
        std::wstring literal = m_text.substr(m_at, end - m_at);
        m_at = end + 1;
        return Compare(m_item.Value(name), op, literal);
    }
    static bool Compare(const _variant_t& value, const std::wstring& op, const std::wstring& literal)
    {
        _variant_t other(literal.c_str());
        if (value.vt == VT_DATE) {
            DATE date = 0;
            if (FAILED(::VarDateFromStr(const_cast<OLECHAR*>(literal.c_str()), LOCALE_USER_DEFAULT, 0, &date)))
                throw E_INVALIDARG;
            other = DateValue(date);
        }
        HRESULT order = ::VarCmp(const_cast<VARIANT*>(static_cast<const VARIANT*>(&value)), &other,
                                 LOCALE_USER_DEFAULT, NORM_IGNORECASE);
        if (op == L"=")
            return order == VARCMP_EQ;
        if (op == L"<>")
            return order != VARCMP_EQ;
        if (op == L">=")
            return order == VARCMP_GT || order == VARCMP_EQ;
        if (op == L"<=")
            return order == VARCMP_LT || order == VARCMP_EQ;
        if (op == L">")
            return order == VARCMP_GT;
        if (op == L"<")
            return order == VARCMP_LT;
        throw E_INVALIDARG;
    }
    bool Keyword(const wchar_t* word)
    {
        Skip();
        size_t length = wcslen(word);
        if (_wcsnicmp(m_text.c_str() + m_at, word, length) != 0)
            return false;
        m_at += length;
        return true;
    }
    bool Take(wchar_t c)
    {
        if (m_at >= m_text.size() || m_text[m_at] != c)
            return false;
        ++m_at;
        return true;
    }
    void Skip()
    {
        while (m_at < m_text.size() && std::iswspace(m_text[m_at]))
            ++m_at;
    }

    CFakeObject& m_item;
    const std::wstring& m_text;
    size_t m_at = 0;
};

} // namespace

bool MatchesRestriction(CFakeObject& item, const std::wstring& filter)
{
    return CFilterReader(item, filter).Read();
}

CFakeMailbox::CFakeMailbox(CFakeOutlook& outlook, IUnknown* mapiSession) : m_outlook(outlook)
{
    MakeFolder(Outlook::DeletedItems, L"Deleted Items");
    MakeFolder(Outlook::SentMail, L"Sent Items");
    MakeFolder(Outlook::Inbox, L"Inbox");
    MakeFolder(Outlook::Contacts, L"Contacts");
    MakeFolder(Outlook::Junk, L"Junk E-mail");
    CFakeObject& session = *outlook.session;
    session.Property(L"MAPIOBJECT", _variant_t(mapiSession)).Property(L"Offline", false);
    session.Method(L"GetDefaultFolder", [this](const Values& arguments) {
        if (arguments.size() != 1)
            throw DISP_E_BADPARAMCOUNT;
        return _variant_t(static_cast<IDispatch*>(Folder(static_cast<long>(arguments[0])).Get()));
    });
    session.Method(L"GetFolderFromID", [this](const Values& arguments) {
        if (arguments.empty())
            throw DISP_E_BADPARAMCOUNT;
        for (auto& data : m_folders) {
            if (data->folder && data->folder->Value(L"EntryID") == arguments[0] &&
                (arguments.size() < 2 || data->folder->Value(L"StoreID") == arguments[1]))
                return _variant_t(static_cast<IDispatch*>(data->folder.Get()));
        }
        throw E_INVALIDARG;
    });
    session.Method(L"PickFolder", [this](const Values&) {
        CFakeRef picked;
        if (!folderPicks.empty()) {
            picked = folderPicks.front();
            folderPicks.pop_front();
        }
        return _variant_t(static_cast<IDispatch*>(picked.Get()));
    });
    g_timerMailbox = this;
}

CFakeMailbox::~CFakeMailbox()
{
    if (m_timer != 0)
        ::KillTimer(nullptr, m_timer);
    g_timerMailbox = nullptr;
    m_outlook.session->Value(L"MAPIOBJECT") = static_cast<IUnknown*>(nullptr);
}

CFakeMailbox::FolderData& CFakeMailbox::MakeFolder(long id, const std::wstring& name)
{
    auto data = std::make_unique<FolderData>();
    data->id = id;
    data->folder = CFakeObject::Create();
    data->items = MakeCollection(data->list);
    data->items->AddEventSource(Outlook::ItemsEvents);
    FolderData* raw = data.get();
    data->items->Method(L"Restrict", [raw](const Values& arguments) {
        if (arguments.size() != 1 || arguments[0].vt != VT_BSTR)
            throw DISP_E_BADPARAMCOUNT;
        std::vector<CFakeRef> found;
        for (const CFakeRef& item : raw->list)
            if (MatchesRestriction(*item, arguments[0].bstrVal))
                found.push_back(item);
        return _variant_t(static_cast<IDispatch*>(MakeSnapshot(std::move(found)).Get()));
    });
    data->folder->Property(L"Name", name.c_str())
        .Property(L"EntryID", (L"FOLDER-" + std::to_wstring(m_folders.size() + 1)).c_str())
        .Property(L"StoreID", L"STORE-1")
        .Property(L"MAPIOBJECT", static_cast<IUnknown*>(nullptr))
        .Property(L"Items", static_cast<IDispatch*>(data->items.Get()));
    m_folders.push_back(std::move(data));
    return *m_folders.back();
}

CFakeRef CFakeMailbox::Folder(long defaultFolder) const
{
    for (const auto& data : m_folders)
        if (data->id == defaultFolder && defaultFolder != 0)
            return data->folder;
    return CFakeRef();
}

CFakeRef CFakeMailbox::AddFolder(const std::wstring& name)
{
    return MakeFolder(0, name).folder;
}

void CFakeMailbox::RemoveFolder(long defaultFolder)
{
    for (auto& data : m_folders)
        if (data->id == defaultFolder)
            data->id = -1;
}

CFakeMailbox::FolderData* CFakeMailbox::Find(const CFakeRef& folder)
{
    for (auto& data : m_folders)
        if (data->folder == folder)
            return data.get();
    return nullptr;
}

std::vector<CFakeRef>& CFakeMailbox::Items(const CFakeRef& folder)
{
    FolderData* data = Find(folder);
    if (data == nullptr)
        throw std::logic_error("no such folder");
    return data->list;
}

CFakeMailbox::FolderData* CFakeMailbox::FolderOf(CFakeObject* item)
{
    for (auto& data : m_folders)
        for (const CFakeRef& held : data->list)
            if (held.Get() == item)
                return data.get();
    return nullptr;
}

CFakeRef CFakeMailbox::FolderHolding(const CFakeRef& item)
{
    FolderData* data = FolderOf(item.Get());
    return data != nullptr ? data->folder : CFakeRef();
}

CFakeRef CFakeMailbox::AddMail(const CFakeRef& folder, const std::wstring& subject, DATE received, IUnknown* message,
                               bool announce)
{
    FolderData* data = Find(folder);
    if (data == nullptr)
        throw std::logic_error("no such folder");
    CFakeRef item = AddItem(*data, Outlook::MailItem, subject, message, false);
    CFakeObject* raw = item.Get();
    // Every mail item has its collection of attachments; these have none.
    static std::vector<CFakeRef> noAttachments;
    item->Property(L"Attachments", static_cast<IDispatch*>(MakeCollection(noAttachments).Get()));
    item->Property(L"ReceivedTime", DateValue(received))
        .Property(L"Class", 43L)
        .Property(L"Categories", L"")
        .Property(L"Sent", false);
    item->Method(L"Move", [this, raw](const Values& arguments) {
        if (arguments.size() != 1 || arguments[0].vt != VT_DISPATCH)
            throw DISP_E_BADPARAMCOUNT;
        return Move(raw, arguments[0].pdispVal);
    });
    item->Method(L"Delete", [this, raw](const Values&) {
        Delete(raw);
        return _variant_t();
    });
    if (announce)
        QueueEvent(*data, raw);
    return item;
}

CFakeRef CFakeMailbox::AddContact(const std::wstring& name, IUnknown* properties, bool announce)
{
    FolderData* data = Find(Folder(Outlook::Contacts));
    if (data == nullptr)
        throw std::logic_error("no contacts folder");
    CFakeRef item = AddItem(*data, Outlook::ContactItem, name, properties, announce);
    item->Property(L"Class", 40L);
    return item;
}

CFakeRef CFakeMailbox::AddItem(FolderData& folder, const IID& kind, const std::wstring& subject, IUnknown* mapiObject,
                               bool announce)
{
    CFakeRef item = CFakeObject::Create({kind});
    item->Property(L"Subject", subject.c_str())
        .Property(L"EntryID", (L"ITEM-" + std::to_wstring(m_nextEntryId++)).c_str())
        .Property(L"MAPIOBJECT", _variant_t(mapiObject));
    folder.list.push_back(item);
    if (announce)
        QueueEvent(folder, item.Get());
    return item;
}

void CFakeMailbox::ChangeItem(const CFakeRef& item)
{
    FolderData* folder = FolderOf(item.Get());
    if (folder == nullptr)
        throw std::logic_error("the item is in no folder");
    QueueEvent(*folder, item.Get(), Outlook::ItemChange);
}

// Outlook gives a moved item a new entry id.
_variant_t CFakeMailbox::Move(CFakeObject* item, IDispatch* target)
{
    FolderData* from = FolderOf(item);
    FolderData* to = nullptr;
    for (auto& data : m_folders)
        if (static_cast<IDispatch*>(data->folder.Get()) == target)
            to = data.get();
    if (from == nullptr || to == nullptr)
        throw E_INVALIDARG;
    CFakeRef held(item);
    if (from != to) {
        from->list.erase(std::find(from->list.begin(), from->list.end(), held));
        to->list.push_back(held);
        item->Value(L"EntryID") = (L"ITEM-" + std::to_wstring(m_nextEntryId++)).c_str();
        QueueEvent(*to, item);
    }
    return _variant_t(static_cast<IDispatch*>(item));
}

void CFakeMailbox::Delete(CFakeObject* item)
{
    FolderData* from = FolderOf(item);
    if (from == nullptr)
        throw E_INVALIDARG;
    if (from->id != Outlook::DeletedItems) {
        Move(item, Folder(Outlook::DeletedItems).Get());
        return;
    }
    CFakeRef held(item);
    from->list.erase(std::find(from->list.begin(), from->list.end(), held));
    permanentlyDeleted.push_back(static_cast<_bstr_t>(item->Value(L"Subject")).GetBSTR());
}

void CFakeMailbox::QueueEvent(FolderData& folder, CFakeObject* item, DISPID event)
{
    m_events.push_back({&folder, CFakeRef(item), event});
    if (m_timer == 0)
        m_timer = ::SetTimer(nullptr, 0, 0, OnTimer);
}

void CFakeMailbox::DeliverEvents()
{
    if (m_timer != 0)
        ::KillTimer(nullptr, std::exchange(m_timer, 0));
    while (!m_events.empty()) {
        PendingEvent pending = m_events.front();
        m_events.pop_front();
        pending.folder->items->Events(Outlook::ItemsEvents).Fire(pending.event, {DispatchArgument(pending.item.Get())});
    }
}

void CALLBACK CFakeMailbox::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_timerMailbox != nullptr)
        g_timerMailbox->DeliverEvents();
}

} // namespace QzlFake

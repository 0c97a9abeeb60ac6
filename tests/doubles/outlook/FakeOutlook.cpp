#include "FakeOutlook.h"

#include <utility>

namespace QzlFake {

namespace {

// Window handles of the stand-in windows: only ever compared, never used.
HWND NextWindowHandle()
{
    static uintptr_t next = 0x10000;
    return reinterpret_cast<HWND>(next += 0x10);
}

CFakeRef MakeWindow(const IID& identity, const IID& events)
{
    CFakeRef window = CFakeObject::Create({identity});
    window->AddEventSource(events);
    window->SetWindow(NextWindowHandle());
    return window;
}

} // namespace

CFakeRef MakeCollection(std::vector<CFakeRef>& items, const wchar_t* keyProperty, std::vector<IID> identities)
{
    CFakeRef collection = CFakeObject::Create(std::move(identities));
    collection->Define(L"Count", {[&items](const Values&) { return _variant_t(static_cast<long>(items.size())); },
                                  nullptr, nullptr});
    std::wstring key = keyProperty != nullptr ? keyProperty : L"";
    collection->Method(L"Item", [&items, key](const Values& arguments) -> _variant_t {
        if (arguments.size() != 1)
            throw DISP_E_BADPARAMCOUNT;
        _variant_t which = arguments[0];
        if (which.vt == VT_BSTR && !key.empty()) {
            for (CFakeRef& item : items) {
                _variant_t value = item->Value(key);
                if (value.vt == VT_BSTR && _wcsicmp(value.bstrVal, which.bstrVal) == 0)
                    return _variant_t(static_cast<IDispatch*>(item.Get()));
            }
            throw E_INVALIDARG;
        }
        _variant_t index;
        if (FAILED(::VariantChangeType(&index, &which, 0, VT_I4)) || index.lVal < 1 ||
            static_cast<size_t>(index.lVal) > items.size())
            throw DISP_E_BADINDEX;
        return _variant_t(static_cast<IDispatch*>(items[index.lVal - 1].Get()));
    });
    return collection;
}

CFakeOutlook::CFakeOutlook()
{
    languageSettings = CFakeObject::Create();
    languageSettings->Value(L"LanguageID2") = 1033L;
    languageSettings->Define(L"LanguageID", {[this](const Values& arguments) {
                                                 if (arguments.size() != 1)
                                                     throw DISP_E_BADPARAMCOUNT;
                                                 long kind = static_cast<long>(arguments[0]);
                                                 return languageSettings->Value(L"LanguageID" + std::to_wstring(kind));
                                             },
                                             nullptr, nullptr});
    session = CFakeObject::Create();
    session->Property(L"ExchangeConnectionMode", 700L);

    explorers = MakeCollection(explorerList);
    explorers->AddEventSource(Outlook::ExplorersEvents);
    inspectors = MakeCollection(inspectorList);
    inspectors->AddEventSource(Outlook::InspectorsEvents);
    comAddIns = MakeCollection(comAddInList, L"ProgId");

    application = CFakeObject::Create({Outlook::Application});
    application->AddEventSource(Outlook::ApplicationEvents11);
    application->AddEventSource(Outlook::ApplicationEvents);
    application->Property(L"Version", L"16.0.0.5000")
        .Property(L"LanguageSettings", static_cast<IDispatch*>(languageSettings.Get()))
        .Property(L"Session", static_cast<IDispatch*>(session.Get()))
        .Property(L"Explorers", static_cast<IDispatch*>(explorers.Get()))
        .Property(L"Inspectors", static_cast<IDispatch*>(inspectors.Get()))
        .Property(L"COMAddIns", static_cast<IDispatch*>(comAddIns.Get()))
        .Property(L"ActiveWindow", static_cast<IDispatch*>(nullptr));
    application->Method(L"CreateItem", [this](const Values& arguments) {
        if (arguments.size() != 1 || static_cast<long>(arguments[0]) != 0) // olMailItem
            throw E_INVALIDARG;
        return _variant_t(static_cast<IDispatch*>(MakeMail().Get()));
    });
}

CFakeRef CFakeOutlook::MakeMail()
{
    auto mail = std::make_shared<CFakeMail>();
    mail->item = CFakeObject::Create({Outlook::MailItem});
    CFakeRef attachments = CFakeObject::Create();
    CFakeMail* record = mail.get();
    // Outlook copies the file into the item: later changes to it do not matter.
    attachments->Method(L"Add", [record](const Values& arguments) {
        if (arguments.empty() || arguments[0].vt != VT_BSTR)
            throw DISP_E_TYPEMISMATCH;
        std::wstring path = arguments[0].bstrVal;
        HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            throw HRESULT_FROM_WIN32(::GetLastError());
        std::string content(::GetFileSize(file, nullptr), '\0');
        DWORD read = 0;
        BOOL ok = ::ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
        ::CloseHandle(file);
        if (!ok || read != content.size())
            throw E_FAIL;
        record->attachments.push_back({path, content});
        return _variant_t();
    });
    HRESULT displayFailure = std::exchange(this->displayFailure, S_OK);
    mail->item->Property(L"Subject", L"")
        .Property(L"Attachments", static_cast<IDispatch*>(attachments.Get()))
        .Method(L"Display", [displayFailure](const Values&) {
            if (FAILED(displayFailure))
                throw displayFailure;
            return _variant_t();
        });
    CFakeObject* item = mail->item.Get();
    item->Method(L"Close", [item](const Values& arguments) {
        if (arguments.size() != 1)
            throw DISP_E_BADPARAMCOUNT;
        item->Value(L"ClosedWith") = arguments[0];
        return _variant_t();
    });
    mails.push_back(mail);
    return mail->item;
}

CFakeRef CFakeOutlook::AddExplorer()
{
    explorerList.push_back(MakeWindow(Outlook::Explorer, Outlook::ExplorerEvents10));
    return explorerList.back();
}

CFakeRef CFakeOutlook::AddInspector()
{
    inspectorList.push_back(MakeWindow(Outlook::Inspector, Outlook::InspectorEvents10));
    return inspectorList.back();
}

CFakeRef CFakeOutlook::AddComAddIn(const std::wstring& progId)
{
    CFakeRef addIn = CFakeObject::Create();
    addIn->Property(L"ProgId", progId.c_str())
        .Property(L"Description", progId.c_str())
        .Property(L"Connect", true)
        .Property(L"Object", static_cast<IDispatch*>(nullptr));
    comAddInList.push_back(addIn);
    return addIn;
}

CFakeRef CFakeOutlook::FindComAddIn(const std::wstring& progId) const
{
    for (const CFakeRef& addIn : comAddInList) {
        _variant_t value = addIn->Value(L"ProgId");
        if (_wcsicmp(value.bstrVal, progId.c_str()) == 0)
            return addIn;
    }
    return CFakeRef();
}

CFakeRef CFakeOutlook::MakePropertyPages(std::vector<CFakeRef>& pages)
{
    CFakeRef collection = MakeCollection(pages, nullptr, {Outlook::PropertyPages});
    collection->Method(L"Add", [&pages](const Values& arguments) {
        if (arguments.size() != 2)
            throw DISP_E_BADPARAMCOUNT;
        CFakeRef page = CFakeObject::Create();
        page->Property(L"ProgID", arguments[0]).Property(L"Title", arguments[1]);
        pages.push_back(page);
        return _variant_t();
    });
    return collection;
}

size_t CFakeOutlook::GetSinkCount() const
{
    return application->GetSinkCount() + explorers->GetSinkCount() + inspectors->GetSinkCount();
}

void CFakeOutlook::ClearSinks()
{
    for (const IID& iid : {Outlook::ApplicationEvents11, Outlook::ApplicationEvents})
        application->Events(iid).Clear();
    explorers->Events(Outlook::ExplorersEvents).Clear();
    inspectors->Events(Outlook::InspectorsEvents).Clear();
}

void CFakeOutlook::FireStartup()
{
    application->Events(Outlook::ApplicationEvents11).Fire(Outlook::Startup);
}

void CFakeOutlook::FireMapiLogonComplete()
{
    application->Events(Outlook::ApplicationEvents).Fire(Outlook::MapiLogonComplete);
}

bool CFakeOutlook::FireItemSend(IDispatch* item, bool cancelled)
{
    VARIANT_BOOL cancel = cancelled ? VARIANT_TRUE : VARIANT_FALSE;
    application->Events(Outlook::ApplicationEvents11)
        .Fire(Outlook::ItemSend, {DispatchArgument(item), BoolReference(&cancel)});
    return cancel != VARIANT_FALSE;
}

void CFakeOutlook::FireOptionsPagesAdd(IDispatch* pages)
{
    application->Events(Outlook::ApplicationEvents11).Fire(Outlook::OptionsPagesAdd, {DispatchArgument(pages)});
}

CFakeRef CFakeOutlook::FireNewExplorer()
{
    CFakeRef explorer = AddExplorer();
    explorers->Events(Outlook::ExplorersEvents).Fire(Outlook::NewExplorer, {DispatchArgument(explorer.Get())});
    return explorer;
}

CFakeRef CFakeOutlook::FireNewInspector(IDispatch* currentItem)
{
    CFakeRef inspector = AddInspector();
    inspector->Property(L"CurrentItem", currentItem);
    inspectors->Events(Outlook::InspectorsEvents).Fire(Outlook::NewInspector, {DispatchArgument(inspector.Get())});
    return inspector;
}

} // namespace QzlFake

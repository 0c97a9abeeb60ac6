#pragma once
// A stand-in Outlook: the objects an add-in meets at connection and the events
// Outlook raises, built from table-driven fake objects. A test changes what
// Outlook answers through the objects' values (application->Value(L"Version"))
// and adds windows and COM add-ins; later tests add their own objects the
// same way.

#include "FakeObject.h"

#include <memory>
#include <string>

namespace QzlFake {

// Outlook's own interface ids and event numbers, written here apart from the
// add-in's declarations so that a wrong number there shows.
namespace Outlook {

constexpr IID Iid(unsigned long first)
{
    return {first, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

inline constexpr IID Application = Iid(0x00063001);
inline constexpr IID Explorer = Iid(0x00063003);
inline constexpr IID Inspector = Iid(0x00063005);
inline constexpr IID PropertyPages = Iid(0x00063080);
inline constexpr IID PropertyPageSite = Iid(0x0006307F);
inline constexpr IID MailItem = Iid(0x00063034);
inline constexpr IID ApplicationEvents11 = Iid(0x0006304E);
inline constexpr IID ApplicationEvents = Iid(0x0006300E);
inline constexpr IID ExplorersEvents = Iid(0x00063078);
inline constexpr IID InspectorsEvents = Iid(0x00063079);
inline constexpr IID ExplorerEvents10 = Iid(0x0006304F);
inline constexpr IID InspectorEvents10 = Iid(0x0006307D);

inline constexpr DISPID Startup = 0xF006;
inline constexpr DISPID OptionsPagesAdd = 0xF005;
inline constexpr DISPID ItemSend = 0xF002;
inline constexpr DISPID MapiLogonComplete = 0xFA90;
inline constexpr DISPID NewExplorer = 0xF001;
inline constexpr DISPID NewInspector = 0xF001;

} // namespace Outlook

// Count and Item over a list the test may change: Item takes an index from 1
// or, when keyProperty is given, the value of that property of an item.
CFakeRef MakeCollection(std::vector<CFakeRef>& items, const wchar_t* keyProperty = nullptr,
                        std::vector<IID> identities = {});

// A message the add-in made with Application.CreateItem: the item, and the
// files attached to it as Outlook holds them (a copy of each file's bytes
// taken when it was attached).
struct CFakeMail {
    struct File {
        std::wstring path;
        std::string content;
    };
    CFakeRef item; // Subject, Attachments, Display, Close(saveMode: Value(L"ClosedWith"))
    std::vector<File> attachments;
};

class CFakeOutlook {
public:
    CFakeOutlook();

    // Application: Version, LanguageSettings, Session, Explorers, Inspectors,
    // COMAddIns, ActiveWindow, CreateItem.
    CFakeRef application;
    CFakeRef languageSettings; // LanguageID(kind) answers Value(L"LanguageID<kind>")
    CFakeRef session;          // the NameSpace: ExchangeConnectionMode
    CFakeRef explorers;
    CFakeRef inspectors;
    CFakeRef comAddIns;
    std::vector<CFakeRef> explorerList;
    std::vector<CFakeRef> inspectorList;
    std::vector<CFakeRef> comAddInList;

    // A window already open (it raises no event); see FireNew*.
    CFakeRef AddExplorer();
    CFakeRef AddInspector();
    // ProgId, Description, Connect and Object.
    CFakeRef AddComAddIn(const std::wstring& progId);
    CFakeRef FindComAddIn(const std::wstring& progId) const;
    // The Options dialog's pages: Count, Item and Add(ProgID, title), which
    // appends a page holding those two values.
    CFakeRef MakePropertyPages(std::vector<CFakeRef>& pages);

    // Messages made through Application.CreateItem(olMailItem), in order.
    std::vector<std::shared_ptr<CFakeMail>> mails;
    // Raised by the next message's Display when set.
    HRESULT displayFailure = S_OK;

    // Sinks advised on the application and the window collections.
    size_t GetSinkCount() const;
    // A new message, as CreateItem gives it.
    CFakeRef MakeMail();
    // Drops every sink, as Outlook does when it exits.
    void ClearSinks();

    void FireStartup();
    void FireMapiLogonComplete();
    // The Cancel value the add-in left; cancelled: as Outlook or an add-in
    // before this one set it.
    bool FireItemSend(IDispatch* item, bool cancelled = false);
    void FireOptionsPagesAdd(IDispatch* pages);
    // Opens a window and tells the add-in; an inspector shows currentItem.
    CFakeRef FireNewExplorer();
    CFakeRef FireNewInspector(IDispatch* currentItem = nullptr);
};

} // namespace QzlFake

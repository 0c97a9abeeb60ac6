#pragma once
// The interface ids, event numbers and enumeration values of Outlook and
// Office objects that the framework and the add-in use. Members are called by
// name; an interface id serves only to tell what an object is or to advise an
// event sink on it.

#include <windows.h>

namespace Quenzal::OutlookAddIn {

// Outlook's and Office's interface ids all have the form {xxxxxxxx-0000-0000-C000-000000000046}.
constexpr IID MakeOfficeIid(unsigned long first)
{
    return {first, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

// Objects, asked for to check what an argument is.
inline constexpr IID IID_OutlookApplication = MakeOfficeIid(0x00063001); // _Application
inline constexpr IID IID_OutlookExplorer = MakeOfficeIid(0x00063003);    // _Explorer
inline constexpr IID IID_OutlookInspector = MakeOfficeIid(0x00063005);   // _Inspector
inline constexpr IID IID_OutlookMailItem = MakeOfficeIid(0x00063034);    // _MailItem
inline constexpr IID IID_OutlookContactItem = MakeOfficeIid(0x00063021); // _ContactItem
inline constexpr IID IID_OutlookPropertyPages = MakeOfficeIid(0x00063080);
inline constexpr IID IID_OutlookPropertyPage = MakeOfficeIid(0x0006307E);
inline constexpr IID IID_OutlookPropertyPageSite = MakeOfficeIid(0x0006307F);
inline constexpr IID IID_OfficeRibbonControl = MakeOfficeIid(0x000C0395);
inline constexpr IID IID_OfficeCommandBarButton = MakeOfficeIid(0x000C030E);
inline constexpr IID IID_OfficeCommandBarPopup = MakeOfficeIid(0x000C030A);
inline constexpr IID IID_OfficeRibbonUI = MakeOfficeIid(0x000C03A7);

// Event interfaces (dispinterfaces) and the events we handle on them. Outlook
// passes event arguments in reverse order.
inline constexpr IID DIID_ApplicationEvents11 = MakeOfficeIid(0x0006304E);
inline constexpr DISPID DISPID_Startup = 0xF006;
inline constexpr DISPID DISPID_OptionsPagesAdd = 0xF005; // (Pages)
inline constexpr DISPID DISPID_ItemSend = 0xF002;        // (Item, Cancel by reference)

inline constexpr IID DIID_ApplicationEvents = MakeOfficeIid(0x0006300E);
inline constexpr DISPID DISPID_MAPILogonComplete = 0xFA90;

inline constexpr IID DIID_ExplorersEvents = MakeOfficeIid(0x00063078);
inline constexpr DISPID DISPID_NewExplorer = 0xF001; // (Explorer)

inline constexpr IID DIID_InspectorsEvents = MakeOfficeIid(0x00063079);
inline constexpr DISPID DISPID_NewInspector = 0xF001; // (Inspector)

inline constexpr IID DIID_ExplorerEvents10 = MakeOfficeIid(0x0006304F);
inline constexpr DISPID DISPID_ExplorerActivate = 0xF001;
inline constexpr DISPID DISPID_ExplorerFolderSwitch = 0xF002;
inline constexpr DISPID DISPID_ExplorerSelectionChange = 0xF007;
inline constexpr DISPID DISPID_ExplorerClose = 0xF008;
inline constexpr DISPID DISPID_InlineResponse = 0xFC92;      // (Item)
inline constexpr DISPID DISPID_InlineResponseClose = 0xFC96;

inline constexpr IID DIID_InspectorEvents10 = MakeOfficeIid(0x0006307D);
inline constexpr DISPID DISPID_InspectorActivate = 0xF001;
inline constexpr DISPID DISPID_InspectorClose = 0xF008;

inline constexpr IID DIID_CommandBarButtonEvents = MakeOfficeIid(0x000C0351);
inline constexpr DISPID DISPID_CommandBarButtonClick = 1; // (Ctrl, CancelDefault by reference)

inline constexpr IID DIID_ItemsEvents = MakeOfficeIid(0x00063077);
inline constexpr DISPID DISPID_ItemAdd = 0xF001;
inline constexpr DISPID DISPID_ItemChange = 0xF002;

// Enumeration values passed to or read from Outlook and Office.
inline constexpr long msoLanguageIDUI = 2;
inline constexpr long olMailItem = 0;
inline constexpr long olPostItem = 6;
inline constexpr long olDiscard = 1; // Close: throw the item's changes away
inline constexpr long msoControlButton = 1;
inline constexpr long msoControlPopup = 10;
inline constexpr long msoButtonIcon = 1;

} // namespace Quenzal::OutlookAddIn

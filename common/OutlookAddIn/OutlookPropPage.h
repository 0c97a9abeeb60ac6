#pragma once
// The add-in family's page in Outlook's Options dialog, for Outlook versions
// without the backstage: one panel per family member that Outlook knows, each
// with its Options button (the member's own configuration) and its View Log
// button (the log manager for the member's log), and the maker's banner.
//
// A windowed ActiveX control that answers Outlook's PropertyPage and our own
// IOutlookPropPage, by which every family member sees that the page has been
// added already. It holds no settings: it is never dirty and applies nothing.

#include "AddInPanel.h"
#include "DispatchObject.h"
#include "OfficeInterfaces.h"
#include "OleControl.h"
#include "OutlookAddInInterfaces.h"

#include <uxtheme.h>

#include <memory>
#include <vector>

namespace Quenzal::OutlookAddIn {

// {1B5C9E42-6A0D-4F7B-8C31-5E2D7A9F4C68}
inline constexpr CLSID CLSID_OutlookPropPage = {
    0x1B5C9E42, 0x6A0D, 0x4F7B, {0x8C, 0x31, 0x5E, 0x2D, 0x7A, 0x9F, 0x4C, 0x68}};
inline constexpr const wchar_t* OutlookPropPageProgId = L"Quenzal.OutlookPropPage";
inline constexpr const wchar_t* OutlookPropPageVersionedProgId = L"Quenzal.OutlookPropPage.1";
inline constexpr const wchar_t* OutlookPropPageDescription = L"OutlookPropPage Class";
// The page's first caption, and the caption of its message boxes.
inline constexpr const wchar_t* OutlookPropPageCaption = L"Quenzal Networks";

struct ThemeDestructor {
    static bool IsValid(HTHEME theme) { return theme != nullptr; }
    static void Destroy(HTHEME theme) { ::CloseThemeData(theme); }
};
using CTheme = SmartPointer<HTHEME, ThemeDestructor>;

class COutlookPropPage : public COleControl, public PropertyPage, public IOutlookPropPage {
public:
    COutlookPropPage();
    ~COutlookPropPage() override;

    // One IUnknown for every interface (CComObject gives it).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override = 0;
    ULONG STDMETHODCALLTYPE AddRef() override = 0;
    ULONG STDMETHODCALLTYPE Release() override = 0;
    void* GetInterface(REFIID iid);

    // IOleObject: the page's Outlook site comes with the client site.
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;

    // IDispatch, shared by both dispatch interfaces: it serves IOutlookPropPage.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // PropertyPage
    HRESULT STDMETHODCALLTYPE GetPageInfo(BSTR* helpFile, long* helpContext) override;
    HRESULT STDMETHODCALLTYPE get_Dirty(VARIANT_BOOL* dirty) override;
    HRESULT STDMETHODCALLTYPE Apply() override;

    // IOutlookPropPage
    HRESULT STDMETHODCALLTYPE get_Caption(BSTR* caption) override;
    HRESULT STDMETHODCALLTYPE put_Caption(BSTR caption) override;

    // The timer's action after the user chose to mail a log: the Options
    // dialog has closed by now, the message with the log opens.
    static void AttachLogToNewMessage();
    static void ShowMessage(HWND owner, int lid, UINT style);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Render(HDC dc, const RECT& bounds) override;

private:
    void OnCreate();
    void CreateAddInPanels();
    void OnSize(int width, int height);
    void OnPaint(HDC dc);
    void OnCommand(HWND button);
    void Configure(const CAddInPanel& panel);
    // The log commands (OutlookPropPageLogs.cpp).
    void ManageLogs(const CAddInPanel& panel);
    void ViewLog(const StringW& path);
    void SendLog(const StringW& path);
    // The client rectangle less the page's margins.
    static RECT GetPanelArea(const RECT& client);

    _bstr_t m_caption;
    CDispatchObject m_site;        // Outlook's PropertyPageSite
    CDispatchObject m_application; // reached through the site
    std::vector<std::unique_ptr<CAddInPanel>> m_panels;
    bool m_panelsBuilt = false;
    SIZE m_clientSize = {};
    Os::CIcon m_banner;
    CTheme m_theme;
    bool m_themed = false;
    bool m_modified = false;
};

} // namespace Quenzal::OutlookAddIn

#pragma once
// Outlook's Options dialog as an add-in's page meets it: a real top-level
// window with a page area and OK and Cancel. Each page an add-in added
// (PropertyPages.Add) is created by its ProgID through COM's registration, as
// Outlook does, and given a site of its own: the page's client and in-place
// site (its window is a child of the page area, so the dialog is the page
// window's grandparent) and Outlook's PropertyPageSite (Application,
// OnStatusChange). WM_COMMAND IDCANCEL closes the dialog, from a page too;
// OK applies the pages that say they are dirty, then closes it.

#include "FakeOutlook.h"

#include <oleidl.h>

namespace QzlFake {

// The site of one page.
class CFakePageSite : public CFakeObject, public IOleClientSite, public IOleInPlaceSite {
public:
    CFakePageSite(IDispatch* application, HWND pageArea);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return CFakeObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CFakeObject::Release(); }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleInPlaceSite (and the IOleWindow of the fake object)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    bool IsActive() const { return m_active; }

private:
    HWND m_pageArea;
    bool m_active = false;
};

class CFakeOptionsDialog {
public:
    explicit CFakeOptionsDialog(CFakeOutlook& outlook);
    ~CFakeOptionsDialog();
    CFakeOptionsDialog(const CFakeOptionsDialog&) = delete;
    CFakeOptionsDialog& operator=(const CFakeOptionsDialog&) = delete;

    // Opens the dialog with the pages (records of PropertyPages.Add holding
    // ProgID and Title), each created and activated in the page area.
    void Show(const std::vector<CFakeRef>& pages);
    // OK: the dirty pages are applied, then the dialog closes.
    void Confirm();
    // Cancel: the pages are closed and released, the window goes.
    void Close();

    bool IsOpen() const { return m_window != nullptr; }
    HWND GetWindow() const { return m_window; }
    HWND GetPageArea() const { return m_pageArea; }
    // The created page objects, in the order of the pages shown.
    const std::vector<IOleObject*>& GetPages() const { return m_pages; }
    const std::vector<CObjectRef<CFakePageSite>>& GetSites() const { return m_sites; }
    int GetAppliedCount() const { return m_applied; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CFakeOutlook& m_outlook;
    HWND m_window = nullptr;
    HWND m_pageArea = nullptr;
    std::vector<IOleObject*> m_pages;
    std::vector<CObjectRef<CFakePageSite>> m_sites;
    int m_applied = 0;
};

} // namespace QzlFake

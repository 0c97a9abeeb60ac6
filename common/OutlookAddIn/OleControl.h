#pragma once
// A windowed ActiveX control without a class library: the interfaces through
// which a container (Outlook's Options dialog) sites, activates in place,
// sizes, draws and closes a control. The control's window is a child of the
// window that the container's in-place site gives; a derived class handles
// its messages and draws it. The control keeps no state of its own that would
// be persisted: it loads and saves nothing.
//
// No exception leaves a method or the window procedure: failures turn into
// HRESULTs, or are reported and the message handled by default.

#include <comdef.h>
#include <ocidl.h>
#include <oleidl.h>

namespace Quenzal::OutlookAddIn {

using IOleClientSitePtr = _com_ptr_t<_com_IIID<IOleClientSite, &IID_IOleClientSite>>;
using IOleInPlaceSitePtr = _com_ptr_t<_com_IIID<IOleInPlaceSite, &IID_IOleInPlaceSite>>;
using IOleInPlaceFramePtr = _com_ptr_t<_com_IIID<IOleInPlaceFrame, &IID_IOleInPlaceFrame>>;
using IOleInPlaceUIWindowPtr = _com_ptr_t<_com_IIID<IOleInPlaceUIWindow, &IID_IOleInPlaceUIWindow>>;
using IOleAdviseHolderPtr = _com_ptr_t<_com_IIID<IOleAdviseHolder, &IID_IOleAdviseHolder>>;
using IAdviseSinkPtr = _com_ptr_t<_com_IIID<IAdviseSink, &IID_IAdviseSink>>;

class COleControl : public IOleObject,
                    public IOleInPlaceObject,
                    public IOleInPlaceActiveObject,
                    public IOleControl,
                    public IViewObject2,
                    public IPersistStreamInit {
public:
    // naturalSize: the control's extent in pixels until the container sets one.
    COleControl(const CLSID& classId, SIZE naturalSize);
    virtual ~COleControl();
    COleControl(const COleControl&) = delete;
    COleControl& operator=(const COleControl&) = delete;

    // The control interfaces; null for any other iid.
    void* GetInterface(REFIID iid);

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** data) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                     LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* userType) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advises) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override;

    // IOleWindow, for both in-place interfaces
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override;

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;

    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override;

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL) override;

    // IViewObject2
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                                   BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD* freeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override;

    // IPersistStreamInit
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM) override;
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;

protected:
    // The control window's messages; the default is DefWindowProc's handling.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Draws the control into the rectangle, for containers that render it
    // without its window (IViewObject::Draw).
    virtual void Render(HDC dc, const RECT& bounds);

    HWND GetWindowHandle() const { return m_window; }
    const IOleClientSitePtr& GetSite() const { return m_clientSite; }

private:
    HRESULT ActivateInPlace(bool uiActivate, LPCRECT position);
    void CreateControlWindow(HWND parent, const RECT& position);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CLSID m_classId;
    SIZEL m_extent; // HIMETRIC
    IOleClientSitePtr m_clientSite;
    IOleInPlaceSitePtr m_inPlaceSite;
    IOleInPlaceFramePtr m_frame;
    IOleInPlaceUIWindowPtr m_document;
    IOleAdviseHolderPtr m_adviseHolder;
    IAdviseSinkPtr m_viewSink;
    DWORD m_viewAspects = 0;
    DWORD m_viewFlags = 0;
    HWND m_window = nullptr;
    bool m_uiActive = false;
};

} // namespace Quenzal::OutlookAddIn

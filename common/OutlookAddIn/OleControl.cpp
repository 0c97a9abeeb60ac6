#include "OleControl.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "GdiObjects.h"
#include "ResourceBuffer.h"

#include <utility>

namespace Quenzal::OutlookAddIn {

namespace {

constexpr const wchar_t* WindowClassName = L"{4E1C2B7A-91D3-4F0B-A6C5-2F8E7D3B9C14}";
constexpr LONG HimetricPerInch = 2540;

SIZEL PixelsToHimetric(SIZE pixels)
{
    Ui::CWindowDC screen(nullptr);
    int dpiX = screen.Get() != nullptr ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 96;
    int dpiY = screen.Get() != nullptr ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
    return {::MulDiv(pixels.cx, HimetricPerInch, dpiX), ::MulDiv(pixels.cy, HimetricPerInch, dpiY)};
}

// Registered with the first window of the module, dropped with the last one.
void RegisterWindowClass(WNDPROC procedure)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.hInstance = Os::GetThisModule();
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.lpszClassName = WindowClassName;
    windowClass.lpfnWndProc = procedure;
    if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        QZL_THROW(L"Quenzal::OutlookAddIn::COleControl::CreateControlWindow", CWinError());
}

} // namespace

COleControl::COleControl(const CLSID& classId, SIZE naturalSize)
    : m_classId(classId), m_extent(PixelsToHimetric(naturalSize))
{
}

COleControl::~COleControl()
{
    if (m_window != nullptr) {
        // The derived part is gone: the window must not reach it any more.
        ::SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        ::DestroyWindow(std::exchange(m_window, nullptr));
        ::UnregisterClassW(WindowClassName, Os::GetThisModule());
    }
}

void* COleControl::GetInterface(REFIID iid)
{
    if (iid == IID_IOleObject)
        return static_cast<IOleObject*>(this);
    if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
        return static_cast<IOleInPlaceObject*>(this);
    if (iid == IID_IOleInPlaceActiveObject)
        return static_cast<IOleInPlaceActiveObject*>(this);
    if (iid == IID_IOleControl)
        return static_cast<IOleControl*>(this);
    if (iid == IID_IViewObject || iid == IID_IViewObject2)
        return static_cast<IViewObject2*>(this);
    if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
        return static_cast<IPersistStreamInit*>(this);
    return nullptr;
}

HRESULT COleControl::SetClientSite(IOleClientSite* site)
{
    m_clientSite = site;
    return S_OK;
}

HRESULT COleControl::GetClientSite(IOleClientSite** site)
{
    if (site == nullptr)
        return E_POINTER;
    *site = IOleClientSitePtr(m_clientSite).Detach();
    return S_OK;
}

HRESULT COleControl::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

HRESULT COleControl::Close(DWORD)
{
    InPlaceDeactivate();
    if (m_adviseHolder)
        m_adviseHolder->SendOnClose();
    m_adviseHolder = nullptr;
    m_viewSink = nullptr;
    return S_OK;
}

HRESULT COleControl::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

HRESULT COleControl::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker != nullptr)
        *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT COleControl::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

HRESULT COleControl::GetClipboardData(DWORD, IDataObject** data)
{
    if (data != nullptr)
        *data = nullptr;
    return E_NOTIMPL;
}

HRESULT COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT position)
{
    if (site != nullptr && !m_clientSite)
        m_clientSite = site;
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return ActivateInPlace(false, position);
    case OLEIVERB_UIACTIVATE:
        return ActivateInPlace(true, position);
    case OLEIVERB_HIDE:
        if (m_window != nullptr)
            ::ShowWindow(m_window, SW_HIDE);
        return S_OK;
    default:
        return E_NOTIMPL;
    }
}

HRESULT COleControl::ActivateInPlace(bool uiActivate, LPCRECT position)
{
    try {
        if (!m_clientSite)
            return E_UNEXPECTED;
        if (!m_inPlaceSite) {
            IOleInPlaceSitePtr site;
            HRESULT hr = m_clientSite.QueryInterface(IID_IOleInPlaceSite, &site);
            if (FAILED(hr))
                return hr;
            if (site->CanInPlaceActivate() != S_OK)
                return E_FAIL;
            QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::COleControl::DoVerb", site->OnInPlaceActivate());
            m_inPlaceSite = site;
        }
        if (m_window == nullptr) {
            HWND parent = nullptr;
            QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::COleControl::DoVerb", m_inPlaceSite->GetWindow(&parent));
            IOleInPlaceFrame* frame = nullptr;
            IOleInPlaceUIWindow* document = nullptr;
            RECT place = {};
            RECT clip = {};
            OLEINPLACEFRAMEINFO frameInfo = {};
            frameInfo.cb = sizeof(frameInfo);
            HRESULT hr = m_inPlaceSite->GetWindowContext(&frame, &document, &place, &clip, &frameInfo);
            m_frame.Attach(SUCCEEDED(hr) ? frame : nullptr);
            m_document.Attach(SUCCEEDED(hr) ? document : nullptr);
            CreateControlWindow(parent, position != nullptr ? *position : place);
        }
        ::ShowWindow(m_window, SW_SHOW);
        if (uiActivate && !m_uiActive) {
            m_uiActive = true;
            m_inPlaceSite->OnUIActivate();
            if (m_frame)
                m_frame->SetActiveObject(this, nullptr);
            if (m_document)
                m_document->SetActiveObject(this, nullptr);
            ::SetFocus(m_window);
        }
        return S_OK;
    }
    QZL_CATCH_RETURN(L"Quenzal::OutlookAddIn::COleControl::DoVerb")
}

void COleControl::CreateControlWindow(HWND parent, const RECT& position)
{
    RegisterWindowClass(WindowProc);
    HWND window = ::CreateWindowExW(WS_EX_CONTROLPARENT, WindowClassName, nullptr,
                                    WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP, position.left,
                                    position.top, position.right - position.left, position.bottom - position.top,
                                    parent, nullptr, Os::GetThisModule(), this);
    if (window == nullptr)
        QZL_THROW(L"Quenzal::OutlookAddIn::COleControl::CreateControlWindow", CWinError());
}

LRESULT CALLBACK COleControl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* creating = static_cast<COleControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
        creating->m_window = window;
    }
    auto* control = reinterpret_cast<COleControl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (control == nullptr)
        return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        control->m_window = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    // A handler may lead the container to close and release the control
    // (the Options dialog closing): the control stays until it returns.
    IOleObject* self = control;
    self->AddRef();
    LRESULT result = 0;
    try {
        result = control->OnMessage(message, wParam, lParam);
    } catch (...) {
        ReportCaughtException(__FILE__, L"Quenzal::OutlookAddIn::COleControl::WindowProc", __LINE__);
        result = ::DefWindowProcW(window, message, wParam, lParam);
    }
    self->Release();
    return result;
}

LRESULT COleControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcW(m_window, message, wParam, lParam);
}

void COleControl::Render(HDC, const RECT&) {}

HRESULT COleControl::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (verbs != nullptr)
        *verbs = nullptr;
    return OLE_S_USEREG;
}

HRESULT COleControl::Update()
{
    return S_OK;
}

HRESULT COleControl::IsUpToDate()
{
    return S_OK;
}

HRESULT COleControl::GetUserClassID(CLSID* classId)
{
    return GetClassID(classId);
}

HRESULT COleControl::GetUserType(DWORD, LPOLESTR* userType)
{
    if (userType != nullptr)
        *userType = nullptr;
    return OLE_S_USEREG;
}

HRESULT COleControl::SetExtent(DWORD aspect, SIZEL* size)
{
    if (size == nullptr)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    m_extent = *size;
    return S_OK;
}

HRESULT COleControl::GetExtent(DWORD aspect, SIZEL* size)
{
    if (size == nullptr)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
}

HRESULT COleControl::Advise(IAdviseSink* sink, DWORD* connection)
{
    if (!m_adviseHolder) {
        HRESULT hr = ::CreateOleAdviseHolder(&m_adviseHolder);
        if (FAILED(hr))
            return hr;
    }
    return m_adviseHolder->Advise(sink, connection);
}

HRESULT COleControl::Unadvise(DWORD connection)
{
    return m_adviseHolder ? m_adviseHolder->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT COleControl::EnumAdvise(IEnumSTATDATA** advises)
{
    if (advises == nullptr)
        return E_POINTER;
    *advises = nullptr;
    return m_adviseHolder ? m_adviseHolder->EnumAdvise(advises) : S_OK;
}

// A control that draws itself in its own window, wants its site before
// anything else, and is activated as soon as it becomes visible.
HRESULT COleControl::GetMiscStatus(DWORD, DWORD* status)
{
    if (status == nullptr)
        return E_POINTER;
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
              OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
}

HRESULT COleControl::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

HRESULT COleControl::GetWindow(HWND* window)
{
    if (window == nullptr)
        return E_POINTER;
    *window = m_window;
    return m_window != nullptr ? S_OK : E_FAIL;
}

HRESULT COleControl::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

HRESULT COleControl::InPlaceDeactivate()
{
    UIDeactivate();
    if (m_window != nullptr) {
        ::DestroyWindow(m_window);
        ::UnregisterClassW(WindowClassName, Os::GetThisModule());
    }
    m_frame = nullptr;
    m_document = nullptr;
    if (IOleInPlaceSitePtr site = std::exchange(m_inPlaceSite, nullptr))
        site->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT COleControl::UIDeactivate()
{
    if (!std::exchange(m_uiActive, false))
        return S_OK;
    if (m_frame)
        m_frame->SetActiveObject(nullptr, nullptr);
    if (m_document)
        m_document->SetActiveObject(nullptr, nullptr);
    if (m_inPlaceSite)
        m_inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT COleControl::SetObjectRects(LPCRECT position, LPCRECT)
{
    if (position == nullptr)
        return E_POINTER;
    if (m_window != nullptr)
        ::MoveWindow(m_window, position->left, position->top, position->right - position->left,
                     position->bottom - position->top, TRUE);
    return S_OK;
}

HRESULT COleControl::ReactivateAndUndo()
{
    return E_NOTIMPL;
}

// Tab and the buttons' mnemonics move between the control's own children.
HRESULT COleControl::TranslateAccelerator(LPMSG message)
{
    if (message == nullptr || m_window == nullptr)
        return S_FALSE;
    return ::IsDialogMessageW(m_window, message) ? S_OK : S_FALSE;
}

HRESULT COleControl::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

HRESULT COleControl::OnDocWindowActivate(BOOL)
{
    return S_OK;
}

HRESULT COleControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

HRESULT COleControl::EnableModeless(BOOL)
{
    return S_OK;
}

HRESULT COleControl::GetControlInfo(CONTROLINFO* info)
{
    if (info == nullptr)
        return E_POINTER;
    info->cb = sizeof(*info);
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT COleControl::OnMnemonic(MSG*)
{
    return S_OK;
}

HRESULT COleControl::OnAmbientPropertyChange(DISPID)
{
    return S_OK;
}

HRESULT COleControl::FreezeEvents(BOOL)
{
    return S_OK;
}

HRESULT COleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                          BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (dc == nullptr || bounds == nullptr)
        return E_INVALIDARG;
    try {
        Render(dc, {bounds->left, bounds->top, bounds->right, bounds->bottom});
        return S_OK;
    }
    QZL_CATCH_RETURN(L"Quenzal::OutlookAddIn::COleControl::Draw")
}

HRESULT COleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors)
{
    if (colors != nullptr)
        *colors = nullptr;
    return E_NOTIMPL;
}

HRESULT COleControl::Freeze(DWORD, LONG, void*, DWORD*)
{
    return E_NOTIMPL;
}

HRESULT COleControl::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

HRESULT COleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    m_viewAspects = aspects;
    m_viewFlags = flags;
    m_viewSink = sink;
    return S_OK;
}

HRESULT COleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects != nullptr)
        *aspects = m_viewAspects;
    if (flags != nullptr)
        *flags = m_viewFlags;
    if (sink != nullptr)
        *sink = IAdviseSinkPtr(m_viewSink).Detach();
    return S_OK;
}

HRESULT COleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

HRESULT COleControl::GetClassID(CLSID* classId)
{
    if (classId == nullptr)
        return E_POINTER;
    *classId = m_classId;
    return S_OK;
}

HRESULT COleControl::IsDirty()
{
    return S_FALSE;
}

HRESULT COleControl::Load(LPSTREAM)
{
    return S_OK;
}

HRESULT COleControl::Save(LPSTREAM, BOOL)
{
    return S_OK;
}

HRESULT COleControl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (size == nullptr)
        return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

HRESULT COleControl::InitNew()
{
    return S_OK;
}

} // namespace Quenzal::OutlookAddIn

#include "OutlookPropPage.h"

#include "AddInFamily.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "GdiObjects.h"
#include "Localization.h"
#include "Logging.h"
#include "ModuleTypeInfo.h"
#include "OutlookAddInResources.h"
#include "OutlookAddInUtil.h"
#include "OutlookIds.h"
#include "ResourceBuffer.h"

#include <vsstyle.h>

#include <utility>

namespace Quenzal::OutlookAddIn {

namespace {

constexpr const wchar_t* Qualified = L"Quenzal::OutlookAddIn::COutlookPropPage::";
constexpr LONG MarginX = 5;
constexpr LONG MarginY = 7;
constexpr int BannerWidth = 216;
constexpr int BannerHeight = 55;
constexpr SIZE NaturalSize = {430, 360};

StringW FunctionName(const wchar_t* name)
{
    return StringW(Qualified) + name;
}

struct PenDestructor {
    static bool IsValid(HPEN pen) { return pen != nullptr; }
    static void Destroy(HPEN pen) { ::DeleteObject(pen); }
};
using CPen = SmartPointer<HPEN, PenDestructor>;

// BeginPaint and EndPaint around a WM_PAINT without a device context of its own.
class CPaintDC {
public:
    explicit CPaintDC(HWND window) : m_window(window) { m_dc = ::BeginPaint(window, &m_paint); }
    ~CPaintDC() { ::EndPaint(m_window, &m_paint); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint = {};
    HDC m_dc = nullptr;
};

} // namespace

COutlookPropPage::COutlookPropPage()
    : COleControl(CLSID_OutlookPropPage, NaturalSize), m_caption(OutlookPropPageCaption)
{
}

COutlookPropPage::~COutlookPropPage() = default;

void* COutlookPropPage::GetInterface(REFIID iid)
{
    if (iid == IID_IUnknown)
        return static_cast<IOleObject*>(this);
    if (iid == IID_IDispatch || iid == __uuidof(IOutlookPropPage))
        return static_cast<IOutlookPropPage*>(this);
    if (iid == IID_OutlookPropertyPage)
        return static_cast<PropertyPage*>(this);
    return COleControl::GetInterface(iid);
}

HRESULT COutlookPropPage::SetClientSite(IOleClientSite* site)
{
    StringW function = FunctionName(L"SetClientSite");
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::SetClientSite");
    try {
        COleControl::SetClientSite(site);
        m_site = CDispatchObject();
        if (site != nullptr)
            m_site = CDispatchObject::Query(site, IID_OutlookPropertyPageSite);
        m_modified = false;
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookPropPage::GetTypeInfoCount(UINT* count)
{
    return GetDispatchTypeInfoCount(count);
}

HRESULT COutlookPropPage::GetTypeInfo(UINT index, LCID, ITypeInfo** typeInfo)
{
    return GetDispatchTypeInfo(__uuidof(IOutlookPropPage), index, typeInfo);
}

HRESULT COutlookPropPage::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return GetDispatchIdsOfNames(__uuidof(IOutlookPropPage), names, count, ids);
}

HRESULT COutlookPropPage::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                 EXCEPINFO* exception, UINT* argumentError)
{
    return InvokeDispatch(__uuidof(IOutlookPropPage), static_cast<IOutlookPropPage*>(this), id, flags, parameters,
                          result, exception, argumentError);
}

HRESULT COutlookPropPage::GetPageInfo(BSTR*, long*)
{
    return E_NOTIMPL;
}

HRESULT COutlookPropPage::get_Dirty(VARIANT_BOOL* dirty)
{
    if (dirty == nullptr)
        return E_POINTER;
    *dirty = m_modified ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT COutlookPropPage::Apply()
{
    return S_OK;
}

HRESULT COutlookPropPage::get_Caption(BSTR* caption)
{
    StringW function = FunctionName(L"get_Caption");
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::get_Caption");
    try {
        if (caption == nullptr)
            QZL_THROW(function.c_str(), CComError(E_POINTER));
        *caption = m_caption.copy();
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

HRESULT COutlookPropPage::put_Caption(BSTR caption)
{
    StringW function = FunctionName(L"put_Caption");
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::put_Caption");
    try {
        if (caption == nullptr)
            QZL_THROW(function.c_str(), CComError(E_POINTER));
        BSTR copy = ::SysAllocStringLen(caption, ::SysStringLen(caption));
        if (copy == nullptr)
            QZL_THROW(function.c_str(), CComError(E_OUTOFMEMORY));
        m_caption.Attach(copy);
        return S_OK;
    }
    QZL_CATCH_RETURN(function.c_str())
}

LRESULT COutlookPropPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_PAINT:
        OnPaint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint draws the whole background
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
            OnCommand(reinterpret_cast<HWND>(lParam));
            return 0;
        }
        break;
    default:
        break;
    }
    return COleControl::OnMessage(message, wParam, lParam);
}

RECT COutlookPropPage::GetPanelArea(const RECT& client)
{
    return {client.left + MarginX, client.top + MarginY, client.right - MarginX, client.bottom - MarginY};
}

void COutlookPropPage::OnCreate()
{
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::OnCreate");
    HWND window = GetWindowHandle();
    RECT client = {};
    ::GetClientRect(window, &client);
    m_clientSize = {client.right - client.left, client.bottom - client.top};
    RECT area = GetPanelArea(client);

    // Outlook may deactivate the page and show it again in a new window:
    // the family is asked once, and the new window gets the buttons anew.
    if (!std::exchange(m_panelsBuilt, true))
        CreateAddInPanels();
    try {
        // The buttons take the visual styles of the context they are made in.
        Os::CActivationContext context;
        m_themed = ActivateVisualStyles(context);
        POINT position = {area.left, area.top};
        for (auto& panel : m_panels) {
            panel->Create(window, position, area);
            position.y += CAddInPanel::Pitch;
        }
    }
    QZL_CATCH_REPORT(FunctionName(L"OnCreate").c_str())

    if (m_themed) {
        m_theme.Reset(::OpenThemeData(window, L"TAB"));
        if (!m_theme)
            Logging::Log(Logging::Error, L"No theme found for class 'TAB'");
    }
    m_banner.Reset(static_cast<HICON>(::LoadImageW(Os::GetThisModule(), MAKEINTRESOURCEW(IDI_QUENZAL_BANNER),
                                                   IMAGE_ICON, BannerWidth, BannerHeight, 0)));
    if (!m_banner)
        Logging::Log(Logging::Error, (L"Unable to load Quenzal logo: " + GetErrorText(::GetLastError())).c_str());
}

void COutlookPropPage::CreateAddInPanels()
{
    try {
        if (!m_site)
            QZL_THROW(FunctionName(L"CreateAddInPanels").c_str(), CComError(E_POINTER, L"PropertyPageSite"));
        m_application = m_site.GetDispatch(L"Application");
        for (int index = 0; index < QuenzalAddInCount; ++index) {
            StringW progId = GetQuenzalAddInProgId(index);
            Logging::Log(Logging::Debug, (L"Querying add-in: " + progId).c_str());
            CDispatchObject comAddIn = FindQuenzalAddIn(m_application, index);
            if (!comAddIn) {
                Logging::Log(Logging::Debug, L"No COM add-in found for prog ID");
                continue;
            }
            if (!comAddIn.GetBool(L"Connect")) {
                Logging::Log(Logging::Debug, L"COM add-in is not connected");
                m_panels.push_back(std::make_unique<CAddInPanel>(index, nullptr, true));
                continue;
            }
            CDispatchObject object = comAddIn.GetDispatch(L"Object");
            IOutlookAddInPtr addIn;
            if (!object) {
                Logging::Log(Logging::Debug, L"COM add-in has nullptr object member");
            } else {
                Logging::Log(Logging::Debug, L"Found COM add-in with prog ID");
                object.GetInterface()->QueryInterface(__uuidof(IOutlookAddIn), reinterpret_cast<void**>(&addIn));
                if (!addIn)
                    Logging::Log(Logging::Error, L"COM add-in object does not support IOultookAddIn interface");
                else
                    Logging::Log(Logging::Debug, L"COM add-in object supports IOultookAddIn interface");
            }
            m_panels.push_back(std::make_unique<CAddInPanel>(index, addIn, false));
        }
    } catch (const CException& e) {
        ReportException(L"Caught exception", __FILE__, FunctionName(L"CreateAddInPanels").c_str(), __LINE__,
                        e.GetDescription());
    }
}

// The buttons keep their distance to the right edge.
void COutlookPropPage::OnSize(int width, int height)
{
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::OnSize");
    int dx = width - m_clientSize.cx;
    if (dx != 0) {
        for (auto& panel : m_panels)
            panel->MoveButtons(dx);
    }
    m_clientSize = {width, height};
    ::InvalidateRect(GetWindowHandle(), nullptr, TRUE);
    ::UpdateWindow(GetWindowHandle());
}

void COutlookPropPage::OnPaint(HDC dc)
{
    RECT client = {};
    ::GetClientRect(GetWindowHandle(), &client);
    if (dc != nullptr) {
        Render(dc, client);
        return;
    }
    CPaintDC paint(GetWindowHandle());
    Render(paint.Get(), client);
}

void COutlookPropPage::Render(HDC dc, const RECT& bounds)
{
    if (!m_theme || FAILED(::DrawThemeBackground(m_theme.Get(), dc, TABP_BODY, 0, &bounds, nullptr)))
        ::FillRect(dc, &bounds, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT area = GetPanelArea(bounds);
    CPen pen(::CreatePen(PS_SOLID, 1, RGB(0xAC, 0xA8, 0x99)));
    ::SetBkMode(dc, TRANSPARENT);
    POINT position = {area.left, area.top};
    for (auto& panel : m_panels) {
        panel->Draw(dc, position, area, pen.Get());
        position.y += CAddInPanel::Pitch;
    }
    if (m_banner)
        ::DrawIconEx(dc, area.right - BannerWidth, area.bottom - BannerHeight, m_banner.Get(), BannerWidth,
                     BannerHeight, 0, nullptr, DI_NORMAL);
}

void COutlookPropPage::OnCommand(HWND button)
{
    for (auto& panel : m_panels) {
        if (button == panel->GetOptionsButton())
            return Configure(*panel);
        if (button == panel->GetViewLogButton())
            return ManageLogs(*panel);
    }
}

void COutlookPropPage::ShowMessage(HWND owner, int lid, UINT style)
{
    ::MessageBoxW(owner, GetLocalizedMessage(lid).c_str(), OutlookPropPageCaption, style);
}

void COutlookPropPage::Configure(const CAddInPanel& panel)
{
    Logging::Log(Logging::Trace, L"Entered COutlookPropPage::Configure");
    if (panel.GetAddIn() == nullptr)
        return;
    if (panel.GetAddIn()->Configure(GetWindowHandle()) != E_ACCESSDENIED)
        return;
    Logging::Log(Logging::Warning, (L"Access to the configuration of this add-in has been disabled: " +
                                    GetQuenzalAddInProgId(panel.GetIndex()))
                                       .c_str());
    ShowMessage(GetWindowHandle(), 5, MB_OK);
}

} // namespace Quenzal::OutlookAddIn

#include "FakeOptionsDialog.h"

#include "OfficeInterfaces.h"

#include <gtest/gtest.h>

#include <comdef.h>

namespace QzlFake {

namespace {

constexpr const wchar_t* DialogClass = L"QzlFakeOutlookOptions";
constexpr int DialogWidth = 470;
constexpr int DialogHeight = 470;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;

HWND MakeButton(HWND parent, const wchar_t* text, int id, int x, int y)
{
    HWND button = ::CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, ButtonWidth,
                                    ButtonHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return button;
}

} // namespace

CFakePageSite::CFakePageSite(IDispatch* application, HWND pageArea)
    : CFakeObject({Outlook::PropertyPageSite}), m_pageArea(pageArea)
{
    Property(L"Application", application);
    Method(L"OnStatusChange", [](const Values&) { return _variant_t(); });
}

HRESULT CFakePageSite::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IOleClientSite)
        *object = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow)
        *object = static_cast<IOleInPlaceSite*>(this);
    else
        return CFakeObject::QueryInterface(iid, object);
    AddRef();
    return S_OK;
}

HRESULT CFakePageSite::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT CFakePageSite::GetContainer(IOleContainer** container)
{
    *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT CFakePageSite::GetWindow(HWND* window)
{
    *window = m_pageArea;
    return S_OK;
}

HRESULT CFakePageSite::OnInPlaceActivate()
{
    m_active = true;
    return S_OK;
}

HRESULT CFakePageSite::OnInPlaceDeactivate()
{
    m_active = false;
    return S_OK;
}

HRESULT CFakePageSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                        LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    *frame = nullptr;
    *document = nullptr;
    ::GetClientRect(m_pageArea, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetParent(m_pageArea);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

CFakeOptionsDialog::CFakeOptionsDialog(CFakeOutlook& outlook) : m_outlook(outlook)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = DialogClass;
    ::RegisterClassExW(&windowClass); // already there from an earlier dialog of the process
}

CFakeOptionsDialog::~CFakeOptionsDialog()
{
    Close();
}

void CFakeOptionsDialog::Show(const std::vector<CFakeRef>& pages)
{
    ASSERT_EQ(nullptr, m_window);
    m_window = ::CreateWindowExW(WS_EX_CONTROLPARENT, DialogClass, L"Options",
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 40, 40, DialogWidth,
                                 DialogHeight, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, m_window) << "no display for the Options dialog, error " << ::GetLastError();
    ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    RECT client = {};
    ::GetClientRect(m_window, &client);
    const int buttonsTop = client.bottom - ButtonHeight - 10;
    m_pageArea = ::CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                   10, 10, client.right - 20, buttonsTop - 20, m_window, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    MakeButton(m_window, L"OK", IDOK, client.right - 2 * ButtonWidth - 16, buttonsTop);
    MakeButton(m_window, L"Cancel", IDCANCEL, client.right - ButtonWidth - 10, buttonsTop);

    for (const CFakeRef& page : pages) {
        _variant_t progId = page->Value(L"ProgID");
        CLSID classId = {};
        ASSERT_EQ(S_OK, ::CLSIDFromProgID(progId.bstrVal, &classId)) << "page class not registered";
        IOleObject* object = nullptr;
        ASSERT_EQ(S_OK, ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                           reinterpret_cast<void**>(&object)));
        m_pages.push_back(object);
        CObjectRef<CFakePageSite> site(new CFakePageSite(m_outlook.application.Get(), m_pageArea));
        m_sites.push_back(site);
        EXPECT_EQ(S_OK, CallIntoAddIn("SetClientSite", [&] { return object->SetClientSite(site.Get()); }));
        IPersistStreamInit* persist = nullptr;
        if (SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
            EXPECT_EQ(S_OK, CallIntoAddIn("InitNew", [&] { return persist->InitNew(); }));
            persist->Release();
        }
        RECT position = {};
        ::GetClientRect(m_pageArea, &position);
        EXPECT_EQ(S_OK, CallIntoAddIn("DoVerb", [&] {
                      return object->DoVerb(OLEIVERB_SHOW, nullptr, site.Get(), 0, m_pageArea, &position);
                  }));
    }
    ::ShowWindow(m_window, SW_SHOW);
    ::UpdateWindow(m_window);
}

void CFakeOptionsDialog::Confirm()
{
    for (IOleObject* object : m_pages) {
        PropertyPage* page = nullptr;
        if (FAILED(object->QueryInterface(__uuidof(PropertyPage), reinterpret_cast<void**>(&page))))
            continue;
        VARIANT_BOOL dirty = VARIANT_FALSE;
        EXPECT_EQ(S_OK, CallIntoAddIn("Dirty", [&] { return page->get_Dirty(&dirty); }));
        if (dirty != VARIANT_FALSE) {
            EXPECT_EQ(S_OK, CallIntoAddIn("Apply", [&] { return page->Apply(); }));
            m_applied++;
        }
        page->Release();
    }
    Close();
}

void CFakeOptionsDialog::Close()
{
    HWND window = std::exchange(m_window, nullptr);
    if (window == nullptr)
        return;
    std::vector<IOleObject*> pages;
    pages.swap(m_pages);
    for (IOleObject* object : pages) {
        EXPECT_EQ(S_OK, CallIntoAddIn("Close", [&] { return object->Close(OLECLOSE_NOSAVE); }));
        CallIntoAddIn("SetClientSite", [&] { return object->SetClientSite(nullptr); });
        object->Release();
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
    m_pageArea = nullptr;
}

LRESULT CALLBACK CFakeOptionsDialog::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = reinterpret_cast<CFakeOptionsDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (dialog != nullptr && message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        dialog->Confirm();
        return 0;
    }
    if (dialog != nullptr && ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE)) {
        dialog->Close();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace QzlFake

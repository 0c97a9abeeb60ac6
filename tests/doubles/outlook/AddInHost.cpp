#include "AddInHost.h"

#include <gtest/gtest.h>

namespace QzlFake {

namespace {

constexpr wchar_t WindowClass[] = L"QzlFakeAddInHost";
constexpr UINT DisconnectMessage = WM_APP;

} // namespace

CAddInHost::CAddInHost(CFakeOutlook& outlook, std::wstring dllPath, const CLSID& clsid, std::wstring progId)
    : m_outlook(outlook), m_dllPath(std::move(dllPath)), m_clsid(clsid), m_progId(std::move(progId))
{
    m_custom = ::SafeArrayCreateVector(VT_VARIANT, 0, 0);
}

CAddInHost::CAddInHost(CFakeOutlook& outlook, IUnknown* linkedAddIn, std::wstring progId)
    : CAddInHost(outlook, std::wstring(), CLSID_NULL, std::move(progId))
{
    m_linkedAddIn = linkedAddIn;
    m_linkedAddIn->AddRef();
}

CAddInHost::~CAddInHost()
{
    if (m_window != nullptr)
        ::DestroyWindow(m_window);
    ReleaseAddIn();
    if (m_linkedAddIn != nullptr)
        m_linkedAddIn->Release();
    // As COM frees unused libraries: a module that something still holds stays.
    Unload();
    ::SafeArrayDestroy(m_custom);
}

void CAddInHost::Load()
{
    if (m_addIn != nullptr)
        return;
    if (m_linkedAddIn != nullptr) {
        ASSERT_EQ(S_OK, m_linkedAddIn->QueryInterface(__uuidof(_IDTExtensibility2), reinterpret_cast<void**>(&m_addIn)));
        if (!m_outlook.FindComAddIn(m_progId))
            m_outlook.AddComAddIn(m_progId);
        return;
    }
    if (m_module == nullptr)
        m_module = ::LoadLibraryW(m_dllPath.c_str());
    ASSERT_NE(nullptr, m_module) << "cannot load the add-in, error " << ::GetLastError();
    auto getClassObject = GetExport<HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**)>("DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CallIntoAddIn("DllGetClassObject", [&] {
                  return getClassObject(m_clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
              }));
    HRESULT hr = CallIntoAddIn("CreateInstance", [&] {
        return factory->CreateInstance(nullptr, __uuidof(_IDTExtensibility2), reinterpret_cast<void**>(&m_addIn));
    });
    factory->Release();
    ASSERT_EQ(S_OK, hr);
    if (!m_outlook.FindComAddIn(m_progId))
        m_outlook.AddComAddIn(m_progId);
}

HRESULT CAddInHost::Connect(ext_ConnectMode mode)
{
    Load();
    if (m_addIn == nullptr)
        return E_UNEXPECTED;
    CFakeRef entry = m_outlook.FindComAddIn(m_progId);
    m_disconnectPosted = false;
    HRESULT hr = CallIntoAddIn("OnConnection", [&] {
        return m_addIn->OnConnection(m_outlook.application.Get(), mode, entry.Get(), &m_custom);
    });
    if (FAILED(hr)) {
        // Whatever the add-in left in Outlook stays: undoing it is the add-in's part.
        ReleaseAddIn();
        return hr;
    }
    // An explorer is open: Office asks for its ribbon now (Outlook 2010 and
    // later). An add-in linked into the test has no type library for the
    // ribbon's calls by name.
    const _variant_t version = m_outlook.application->Value(L"Version");
    if (m_linkedAddIn == nullptr && !m_outlook.explorerList.empty() && version.vt == VT_BSTR &&
        _wtoi(version.bstrVal) >= 14) {
        m_ribbon = std::make_unique<CFakeRibbonHost>(m_addIn);
        EXPECT_EQ(S_OK, m_ribbon->Load(L"Microsoft.Outlook.Explorer"));
    }
    if (mode == ext_cm_Startup) {
        m_outlook.FireStartup();
        m_outlook.FireMapiLogonComplete();
        EXPECT_EQ(S_OK, CallIntoAddIn("OnStartupComplete", [&] { return m_addIn->OnStartupComplete(&m_custom); }));
    }
    return hr;
}

HRESULT CAddInHost::Disconnect(ext_DisconnectMode mode)
{
    if (m_addIn == nullptr)
        return E_UNEXPECTED;
    if (mode == ext_dm_HostShutdown) {
        EXPECT_EQ(S_OK, CallIntoAddIn("OnBeginShutdown", [&] { return m_addIn->OnBeginShutdown(&m_custom); }));
    }
    HRESULT hr = CallIntoAddIn("OnDisconnection", [&] { return m_addIn->OnDisconnection(mode, &m_custom); });
    ReleaseAddIn();
    return hr;
}

// COMAddIn.Object keeps whatever the add-in left there: clearing it is the add-in's part.
void CAddInHost::ReleaseAddIn()
{
    m_ribbon.reset();
    if (m_addIn != nullptr)
        CallIntoAddIn("Release", [&] { return static_cast<HRESULT>(std::exchange(m_addIn, nullptr)->Release()); });
}

void CAddInHost::DisconnectInNextMessage(bool enableAgain, std::function<bool()> once)
{
    if (m_addIn == nullptr || std::exchange(m_disconnectPosted, true))
        return;
    m_enableAgain = enableAgain;
    m_once = std::move(once);
    if (m_window == nullptr) {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = WindowClass;
        ::RegisterClassExW(&windowClass); // already there from an earlier host
        m_window = ::CreateWindowExW(0, WindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     windowClass.hInstance, nullptr);
    }
    // A timer's message comes in every loop that dispatches, without
    // keeping a loop that dispatches until the queue is empty from ending.
    const bool posted = m_once ? ::SetTimer(m_window, reinterpret_cast<UINT_PTR>(this), 10, nullptr) != 0
                               : ::PostMessageW(m_window, DisconnectMessage, 0, reinterpret_cast<LPARAM>(this));
    ASSERT_TRUE(posted);
}

LRESULT CALLBACK CAddInHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        auto* host = reinterpret_cast<CAddInHost*>(wParam);
        if (!host->m_once())
            return 0;
        ::KillTimer(window, wParam);
        lParam = static_cast<LPARAM>(wParam);
    } else if (message != DisconnectMessage) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    auto* host = reinterpret_cast<CAddInHost*>(lParam);
    host->Disconnect(ext_dm_UserClosed);
    host->unloadAnswer = host->Unload();
    if (host->m_enableAgain) {
        EXPECT_EQ(S_OK, host->Connect(ext_cm_AfterStartup));
    }
    return 0;
}

HRESULT CAddInHost::Unload()
{
    if (m_module == nullptr)
        return S_OK;
    auto canUnloadNow = GetExport<HRESULT STDAPICALLTYPE()>("DllCanUnloadNow");
    HRESULT hr = canUnloadNow != nullptr ? CallIntoAddIn("DllCanUnloadNow", [&] { return canUnloadNow(); }) : E_FAIL;
    if (hr == S_OK)
        ::FreeLibrary(std::exchange(m_module, nullptr));
    return hr;
}

} // namespace QzlFake

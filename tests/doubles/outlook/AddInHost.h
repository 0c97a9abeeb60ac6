#pragma once
// Loads a COM add-in DLL into the stand-in Outlook the way Outlook does:
// DllGetClassObject, OnConnection, the Startup and MAPILogonComplete events and
// OnStartupComplete; at the end OnBeginShutdown, OnDisconnection and the last
// Release, after which DllCanUnloadNow must answer S_OK. As Office does, it
// asks for the ribbon of the explorer that is open when the add-in connects
// (Outlook 2010 and later) at once: before MAPI logon when Outlook is
// starting. An exception that reaches the host, or a call that Outlook would
// not expect to fail, fails the running test.

#include "FakeOutlook.h"
#include "FakeRibbon.h"
#include "OfficeInterfaces.h"

#include <functional>
#include <memory>
#include <string>

namespace QzlFake {

class CAddInHost {
public:
    CAddInHost(CFakeOutlook& outlook, std::wstring dllPath, const CLSID& clsid, std::wstring progId);
    // An add-in object the test made itself (linked into the test), so that
    // the test can also call the add-in's own functions.
    CAddInHost(CFakeOutlook& outlook, IUnknown* linkedAddIn, std::wstring progId);
    ~CAddInHost();
    CAddInHost(const CAddInHost&) = delete;
    CAddInHost& operator=(const CAddInHost&) = delete;

    // Loads the module and creates the add-in (once).
    void Load();
    // OnConnection with the application, then, when Outlook is starting, its
    // start-up events. Answers OnConnection's result; on failure the add-in is
    // released, as Outlook does.
    HRESULT Connect(ext_ConnectMode mode = ext_cm_Startup);
    // OnBeginShutdown (when Outlook shuts down), OnDisconnection and the
    // release of the add-in; answers OnDisconnection's result. COMAddIn.Object
    // stays as the add-in left it.
    HRESULT Disconnect(ext_DisconnectMode mode = ext_dm_HostShutdown);
    // DllCanUnloadNow; when it answers S_OK the module is freed.
    HRESULT Unload();
    // Outlook disconnects the add-in (the user disabled it) from a message
    // posted now, which whatever loop runs next dispatches, the add-in's own
    // included; then it asks DllCanUnloadNow, frees the module on S_OK, and
    // keeps the answer in unloadAnswer; with enableAgain the user enables
    // the add-in again at once, and Outlook connects a new add-in object.
    // With once, the disconnection waits for the first loop that dispatches
    // messages after once() holds. Once per connection.
    void DisconnectInNextMessage(bool enableAgain = false, std::function<bool()> once = {});
    HRESULT unloadAnswer = E_PENDING;

    HMODULE GetModule() const { return m_module; }
    // Office's ribbon of the connected add-in; null before it asked for one.
    CFakeRibbonHost* GetRibbon() const { return m_ribbon.get(); }
    _IDTExtensibility2* GetAddIn() const { return m_addIn; }
    template <class F>
    F* GetExport(const char* name) const
    {
        return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(::GetProcAddress(m_module, name)));
    }

private:
    void ReleaseAddIn();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CFakeOutlook& m_outlook;
    std::wstring m_dllPath;
    CLSID m_clsid;
    std::wstring m_progId;
    HMODULE m_module = nullptr;
    IUnknown* m_linkedAddIn = nullptr;
    _IDTExtensibility2* m_addIn = nullptr;
    SAFEARRAY* m_custom = nullptr;
    std::unique_ptr<CFakeRibbonHost> m_ribbon;
    HWND m_window = nullptr;
    bool m_disconnectPosted = false;
    bool m_enableAgain = false;
    std::function<bool()> m_once;
};

} // namespace QzlFake

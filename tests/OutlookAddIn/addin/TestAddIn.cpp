// An add-in built on the framework alone, which the stand-in Outlook loads:
// it records the calls it receives in the probe and does what the probe asks.

#include "TestAddInProbe.h"

#include "ClassFactory.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "Logging.h"
#include "OutlookAddIn.h"
#include "TestAddIn.h"

#include <stdexcept>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

TestAddInProbe g_probe;

class CTestToolbar : public CAddInToolbar {
public:
    explicit CTestToolbar(HRESULT failure) : m_failure(failure) {}

    void Initialize(IDispatch*) override { g_probe.toolbarsInitialized++; }
    void Uninitialize() override
    {
        g_probe.toolbarsUninitialized++;
        if (FAILED(m_failure))
            QZL_THROW(L"CTestToolbar::Uninitialize", CComError(m_failure));
    }
    void* GetInterface(REFIID iid) { return iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr; }

private:
    HRESULT m_failure;
};

class CTestAddIn : public COutlookAddIn {
public:
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode connectMode,
                                           IDispatch* addInInstance, SAFEARRAY** custom) override
    {
        HRESULT hr = COutlookAddIn::OnConnection(application, connectMode, addInInstance, custom);
        g_probe.languageId = Localization::GetLanguageId();
        g_probe.activeWindow = GetActiveOutlookWindow();
        return hr;
    }

    int GetAddInId() override { return 0; }
    bool IsTraceLoggingEnabled() override { return false; }
    void SetTraceLoggingEnabled(bool) override {}
    void CreateToolbarButtons(CAddInToolbar&) override {}
    StringW GetProgId() override { return L"Quenzal.TestAddIn"; }
    Net::CXmlFragment FormatRibbonGroupXml(int, const StringW&) override { return Net::CXmlFragment(); }
    int GetRibbonButtonId(IDispatch*) override { return -1; }
    int GetRibbonButtonLabelLid(int) override { return 0; }
    int GetMinimumOutlookVersion() override
    {
        return g_probe.minimumVersion != 0 ? g_probe.minimumVersion : COutlookAddIn::GetMinimumOutlookVersion();
    }

    void OnOutlookStartup() override { g_probe.outlookStartups++; }
    void OnMapiLogonComplete() override
    {
        g_probe.mapiLogons++;
        COutlookAddIn::OnMapiLogonComplete();
    }
    void OnItemSend(IDispatch* item, VARIANT_BOOL* cancel) override
    {
        g_probe.itemSends++;
        if (g_probe.throwInItemSend)
            throw std::runtime_error("handler failed");
        if (item != nullptr && g_probe.cancelItemSend)
            *cancel = VARIANT_TRUE;
    }
    void OnOptionsPagesAdd(IDispatch* pages) override
    {
        g_probe.optionsPagesAdds++;
        COutlookAddIn::OnOptionsPagesAdd(pages);
    }
    void OnNewExplorer(IDispatch* explorer) override
    {
        g_probe.newExplorers++;
        COutlookAddIn::OnNewExplorer(explorer);
    }
    void OnNewInspector(IDispatch* inspector) override
    {
        g_probe.newInspectors++;
        COutlookAddIn::OnNewInspector(inspector);
    }
    CAddInToolbarRef CreateExplorerToolbar() override
    {
        return CAddInToolbarRef::Create<CTestToolbar>(g_probe.explorerToolbarFailure);
    }
    CAddInToolbarRef CreateInspectorToolbar() override
    {
        return CAddInToolbarRef::Create<CTestToolbar>(g_probe.inspectorToolbarFailure);
    }

    HRESULT STDMETHODCALLTYPE GetLogPath(BSTR* path) override
    {
        if (path == nullptr)
            return E_POINTER;
        *path = ::SysAllocString(L"");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Configure(HWND) override { return S_OK; }
};

void SetLogPath(const wchar_t* path)
{
    Logging::SetLogPath(path);
}

} // namespace

extern "C" TestAddInProbe* QzlTestAddInProbe()
{
    g_probe.setLogPath = SetLogPath;
    g_probe.getLockCount = GetModuleLockCount;
    return &g_probe;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return GetClassObject(clsid, iid, object, {{&CLSID_QzlTestAddIn, CreateComObject<CTestAddIn>}});
}

STDAPI DllCanUnloadNow()
{
    return CanUnloadModule();
}

// The framework repairs a missing options-page registration with this.
STDAPI DllRegisterServer()
{
    g_probe.registrations++;
    return S_OK;
}

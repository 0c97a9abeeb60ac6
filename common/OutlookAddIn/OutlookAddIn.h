#pragma once
// The generic Outlook add-in that every add-in of the family is built on.
// Outlook creates it (as CComObject<Derived>) and calls its connection
// interface; Outlook's application, explorers and inspectors events reach it
// through its event sinks, and Office calls its ribbon callbacks by name
// through IRibbonCallback, which is also the object's IDispatch. All of this
// becomes calls of the virtual operations below, which a concrete add-in
// overrides. Everything runs on Outlook's user-interface thread.
//
// No exception leaves an entry point: connection calls and callbacks answer an
// HRESULT, event handlers log what they caught and return.

#include "AddInToolbar.h"
#include "AsyncMarshaler.h"
#include "DispatchObject.h"
#include "EventSink.h"
#include "OfficeInterfaces.h"
#include "OutlookAddInInterfaces.h"
#include "XmlGenerator.h"

#include <atomic>
#include <vector>

namespace Quenzal::OutlookAddIn {

class COutlookAddIn : public _IDTExtensibility2,
                      public IRibbonExtensibility,
                      public IRibbonCallback,
                      public IOutlookAddIn {
public:
    COutlookAddIn();
    COutlookAddIn(const COutlookAddIn&) = delete;
    COutlookAddIn& operator=(const COutlookAddIn&) = delete;

    // One IUnknown for every interface of the object (CComObject gives it).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override = 0;
    ULONG STDMETHODCALLTYPE AddRef() override = 0;
    ULONG STDMETHODCALLTYPE Release() override = 0;

    // _IDTExtensibility2
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode connectMode,
                                           IDispatch* addInInstance, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override;

    // The add-in's own operations, in their slot order.
    virtual ~COutlookAddIn();
    virtual StringW GetRibbonButtonLabel(int commandId);
    virtual StringW GetRibbonButtonTooltip(int commandId);
    virtual bool IsRibbonButtonVisible(int commandId, IDispatch* window);
    virtual int GetAddInId() = 0;
    virtual bool IsTraceLoggingEnabled() = 0;
    virtual void SetTraceLoggingEnabled(bool enabled) = 0;
    virtual void CreateToolbarButtons(CAddInToolbar& toolbar) = 0;
    virtual void OnToolbarButtonClicked(int commandId, IDispatch* window);
    virtual void OnToolbarButtonToggled(int commandId, bool pressed, IDispatch* window);
    virtual void RemoveExplorerToolbar(CAddInToolbar* toolbar);
    virtual void RemoveInspectorToolbar(CAddInToolbar* toolbar);
    virtual bool ShowToolbarForExplorer(IDispatch* explorer);
    virtual bool ShowToolbarForInspector(IDispatch* inspector);
    virtual void OnOutlookStartup();
    virtual void OnMapiLogonComplete();
    virtual void OnOptionsPagesAdd(IDispatch* pages);
    virtual void OnItemSend(IDispatch* item, VARIANT_BOOL* cancel);
    virtual HWND GetActiveOutlookWindow();
    virtual CDispatchObject GetComAddIn();
    virtual void LogAddInDiagnostics();
    virtual void LogExchangeConnectionMode();
    virtual int GetMinimumOutlookVersion();
    virtual StringW GetProgId() = 0;
    virtual Com::IDispatchPtr GetComAddInObject();
    virtual bool ShouldAddPropertyPage();
    virtual Net::CXmlFragment FormatRibbonXml(int kind);
    virtual Net::CXmlFragment FormatRibbonTabsXml(int kind);
    virtual Net::CXmlFragment FormatBackstageXml();
    virtual Net::CXmlFragment FormatContextMenusXml(int kind);
    virtual Net::CXmlFragment FormatRibbonGroupXml(int kind, const StringW& tabIdMso) = 0;
    virtual Net::CXmlFragment FormatContextMenuXml(int kind, const StringW& contextMenuIdMso);
    virtual int GetRibbonButtonId(IDispatch* ribbonControl) = 0;
    virtual UINT GetRibbonButtonIconId(int commandId);
    virtual int GetRibbonButtonLabelLid(int commandId) = 0;
    virtual int GetRibbonButtonTooltipLid(int commandId);
    virtual StringW GetCustomUiNamespace();
    virtual bool IsRibbonSupported(int kind);
    virtual std::vector<StringW> GetRibbonTabs(int kind);
    virtual std::vector<StringW> GetContextualTabSets(int kind);
    virtual std::vector<StringW> GetContextualTabs(int kind, const StringW& tabSetIdMso);
    virtual std::vector<StringW> GetRibbonContextMenus(int kind);
    virtual void OnExplorerButtonClicked(int commandId, IDispatch* explorer);
    virtual void OnInspectorButtonClicked(int commandId, IDispatch* inspector);
    virtual void OnExplorerButtonToggled(int commandId, bool pressed, IDispatch* explorer);
    virtual void OnInspectorButtonToggled(int commandId, bool pressed, IDispatch* inspector);
    virtual void OnBackstageConfigure();
    virtual void OnBackstageManageLogs();
    virtual void OnViewLog(const StringW& path);
    virtual void OnSendLog(const StringW& path);
    virtual void OnNewExplorer(IDispatch* explorer);
    virtual bool ShouldCreateExplorerToolbar();
    virtual CAddInToolbarRef CreateExplorerToolbar();
    virtual void OnNewInspector(IDispatch* inspector);
    virtual bool ShouldCreateInspectorToolbar();
    virtual CAddInToolbarRef CreateInspectorToolbar();

    // Outlook's major version; 0 when it cannot be read.
    int GetOutlookVersion();
    // Each connection has a number of its own in the process, later ones
    // higher; 0 while the object is not connected (see CAddInBusy).
    unsigned GetConnectionNumber() const { return m_connection; }
    // True while this object holds the process's newest connection. A host
    // may connect a new object before it disconnects the old one, or release
    // an old one late: state of the whole process that a connection sets up
    // belongs to the newest connection, and only its teardown takes it down.
    bool IsNewestConnection() const { return m_connection != 0 && m_connection == s_connections.load(); }
    CAsyncMarshaler& GetMarshaler() { return m_marshaler; }
    const CDispatchObject& GetApplication() const { return m_application; }
    // Office's IRibbonUI; empty before the ribbon has loaded.
    const CDispatchObject& GetRibbonUI() const { return m_ribbonUi; }

    // IRibbonExtensibility
    HRESULT STDMETHODCALLTYPE raw_GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) override;

    // IDispatch, shared by every dispatch interface of the object: it serves
    // IRibbonCallback, through the module's type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // IRibbonCallback
    HRESULT STDMETHODCALLTYPE OnRibbonLoaded(IDispatch* ribbon) override;
    HRESULT STDMETHODCALLTYPE OnRibbonButtonClicked(IDispatch* ribbonControl) override;
    HRESULT STDMETHODCALLTYPE OnRibbonButtonToggled(IDispatch* ribbonControl, VARIANT_BOOL pressed) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonImage(IDispatch* ribbonControl, IPictureDisp** image) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonLabel(IDispatch* ribbonControl, BSTR* label) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonTooltip(IDispatch* ribbonControl, BSTR* tooltip) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonEnabled(IDispatch* ribbonControl, VARIANT_BOOL* enabled) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonVisible(IDispatch* ribbonControl, VARIANT_BOOL* visible) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonPressedState(IDispatch* ribbonControl, VARIANT_BOOL* pressed) override;
    HRESULT STDMETHODCALLTYPE GetRibbonMenuContent(IDispatch* ribbonControl, BSTR* content) override;
    HRESULT STDMETHODCALLTYPE GetContextMenuLabel(IDispatch* ribbonControl, BSTR* label) override;
    HRESULT STDMETHODCALLTYPE GetContextMenuContent(IDispatch* ribbonControl, BSTR* content) override;
    HRESULT STDMETHODCALLTYPE OnBackstageButtonClicked(IDispatch* ribbonControl) override;
    HRESULT STDMETHODCALLTYPE GetBackstageImage(IDispatch* ribbonControl, IPictureDisp** image) override;
    HRESULT STDMETHODCALLTYPE GetBackstageElementLabel(IDispatch* ribbonControl, BSTR* label) override;

    // IOutlookAddIn (GetLogPath and Configure are the concrete add-in's)
    HRESULT STDMETHODCALLTYPE LockLog() override;
    HRESULT STDMETHODCALLTYPE UnlockLog() override;
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR* formatted) override;

    void* GetInterface(REFIID iid);

private:
    // The command id of a control; -1 raises "Unable to get ribbon button ID from control".
    int RequireRibbonButtonId(IDispatch* ribbonControl, const wchar_t* function);
    // The label or tooltip callback: the text of the control's command.
    HRESULT AnswerButtonText(IDispatch* ribbonControl, BSTR* text, const wchar_t* name,
                             StringW (COutlookAddIn::*getText)(int));
    void Connect(IDispatch* application, ext_ConnectMode connectMode);
    void PublishComAddInObject();
    void AdviseWindows(CDispatchObject& collection, const wchar_t* name, CEventSink& sink,
                       void (COutlookAddIn::*onNewWindow)(IDispatch*));
    // Takes down whatever is set up, each step on its own: a step that fails
    // is reported and the later steps still run. Answers the first failure.
    HRESULT TearDown(const wchar_t* function);
    void WithdrawComAddInObject();
    static void RunTeardownStep(const wchar_t* function, HRESULT& firstFailure, const std::function<void()>& step);

    // Outlook's events, one connection each.
    CEventSinkRef m_startupSink;
    CEventSinkRef m_applicationSink; // OptionsPagesAdd and ItemSend
    CEventSinkRef m_mapiLogonSink;
    CEventSinkRef m_explorersSink;
    CEventSinkRef m_inspectorsSink;

    CDispatchObject m_application;
    CDispatchObject m_ribbonUi;
    CDispatchObject m_explorers;
    std::vector<CAddInToolbarRef> m_explorerToolbars;
    CDispatchObject m_inspectors;
    std::vector<CAddInToolbarRef> m_inspectorToolbars;
    CAsyncMarshaler m_marshaler;
    // COMAddIn.Object was set to this object by the running connection.
    bool m_objectPublished = false;
    unsigned m_connection = 0;
    static inline std::atomic<unsigned> s_connections{0};
};

} // namespace Quenzal::OutlookAddIn

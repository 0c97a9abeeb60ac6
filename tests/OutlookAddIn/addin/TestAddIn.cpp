// An add-in built on the framework alone, which the stand-in Outlook loads:
// it records the calls it receives in the probe and does what the probe asks.
// Its commands stand for a product's: a button with its own image, one with
// Office's image and a toggle, on ribbons and command bars.

#include "TestAddInProbe.h"

#include "ClassFactory.h"
#include "ErrorReport.h"
#include "InspectorToolbar.h"
#include "Localization.h"
#include "LogViewer.h"
#include "Logging.h"
#include "OutlookAddIn.h"
#include "OutlookPropPage.h"
#include "RibbonSupport.h"
#include "TestAddIn.h"
#include "TestAddInResources.h"
#include "ThreadPoolWork.h"

#include <stdexcept>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

TestAddInProbe g_probe;

struct Command {
    const wchar_t* name;
    int labelLid;
    int tooltipLid;
};

// By command id. The broken command's messages do not exist: its label lid is
// not in the tables, its tooltip lid is none, its icon is not a resource.
constexpr Command Commands[] = {
    {L"Quenzal.Test.Mark", 83, 35},
    {L"Quenzal.Test.Link", 284, 285},
    {L"Quenzal.Test.Flag", 246, 247},
    {L"Quenzal.Test.Broken", 9999, 0},
};
constexpr int MarkCommand = 0;
constexpr int LinkCommand = 1;
constexpr int FlagCommand = 2;
constexpr int BrokenCommand = 3;
constexpr int CommandCount = 4;
// The context menu's button runs the mark command under an id of its own.
constexpr const wchar_t* MarkMenuId = L"Quenzal.Test.MarkMenu";

const Command& GetCommand(int commandId)
{
    if (commandId < 0 || commandId >= CommandCount)
        QZL_THROW(L"CTestAddIn::GetCommand", CException(L"Unexpected case"));
    return Commands[commandId];
}

class CTestToolbar : public CAddInToolbar {
public:
    CTestToolbar(COutlookAddIn& owner, HRESULT failure) : CAddInToolbar(owner), m_failure(failure) {}

    void Initialize(IDispatch*) override { g_probe.toolbarsInitialized++; }
    void Uninitialize() override
    {
        g_probe.toolbarsUninitialized++;
        if (FAILED(m_failure))
            QZL_THROW(L"CTestToolbar::Uninitialize", CComError(m_failure));
    }
    void OnActivate() override {}

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
    bool IsTraceLoggingEnabled() override { return g_probe.traceLogging; }
    void SetTraceLoggingEnabled(bool enabled) override
    {
        g_probe.traceLoggingSets++;
        g_probe.traceLogging = enabled;
    }
    StringW GetProgId() override { return L"Quenzal.TestAddIn"; }
    int GetMinimumOutlookVersion() override
    {
        return g_probe.minimumVersion != 0 ? g_probe.minimumVersion : COutlookAddIn::GetMinimumOutlookVersion();
    }

    // Explorer: the mark button on the mail tab, the toggle and the link on
    // two contextual tabs (Outlook 15 and later); compose: toggle and link;
    // read: mark and link.
    bool IsRibbonSupported(int kind) override { return kind == 3 || kind == 5 || kind == 6; }
    std::vector<StringW> GetContextualTabSets(int kind) override
    {
        if (kind == 3 && GetOutlookVersion() >= 15)
            return {L"TabComposeTools"};
        return {};
    }
    std::vector<StringW> GetContextualTabs(int, const StringW&) override { return {L"TabMessage", L"TabInsert"}; }
    std::vector<StringW> GetRibbonContextMenus(int kind) override
    {
        if (kind == 3 && GetOutlookVersion() >= 14)
            return {L"ContextMenuMailItem"};
        return {};
    }
    Net::CXmlFragment FormatRibbonGroupXml(int kind, const StringW& tab) override
    {
        Net::CXmlFragment group = Ribbon::CreateGroup(tab, Ribbon::CanUseVerticalGroups(GetApplication()));
        if (g_probe.hideButtons)
            return group;
        if (kind == 3 && tab == L"TabMessage") {
            group.Append(Ribbon::CreateMsoImageToggleButton(Commands[FlagCommand].name, L"EncryptMessage"));
        } else if (kind == 3 && tab == L"TabInsert") {
            group.Append(Ribbon::CreateMsoImageButton(Commands[LinkCommand].name, L"HyperlinkInsert"));
        } else if (kind == 3) {
            group.Append(Ribbon::CreateCustomImageButton(Commands[MarkCommand].name));
        } else if (kind == 5) {
            group.Append(Ribbon::CreateMsoImageToggleButton(Commands[FlagCommand].name, L"EncryptMessage"));
            group.Append(Ribbon::CreateMsoImageButton(Commands[LinkCommand].name, L"HyperlinkInsert"));
        } else {
            group.Append(Ribbon::CreateCustomImageButton(Commands[MarkCommand].name));
            group.Append(Ribbon::CreateMsoImageButton(Commands[LinkCommand].name, L"HyperlinkInsert"));
        }
        return group;
    }
    Net::CXmlFragment FormatContextMenuXml(int, const StringW&) override
    {
        if (g_probe.hideButtons)
            return Net::CXmlFragment();
        Net::XmlAttributes button = Ribbon::MakeButtonAttributes(MarkMenuId, L"getImage", L"GetRibbonButtonImage");
        button[L"getLabel"] = L"GetContextMenuLabel";
        return Ribbon::CreateButton(button);
    }
    int GetRibbonButtonId(IDispatch* ribbonControl) override
    {
        StringW id = CDispatchObject(ribbonControl).GetString(L"Id");
        if (_wcsicmp(id.c_str(), MarkMenuId) == 0)
            return MarkCommand;
        for (int command = 0; command < CommandCount; ++command)
            if (_wcsicmp(id.c_str(), Commands[command].name) == 0)
                return command;
        return -1;
    }
    UINT GetRibbonButtonIconId(int commandId) override
    {
        if (commandId == MarkCommand)
            return IDI_TEST_COMMAND;
        return commandId == BrokenCommand ? IDI_TEST_MISSING : 0;
    }
    int GetRibbonButtonLabelLid(int commandId) override { return GetCommand(commandId).labelLid; }
    int GetRibbonButtonTooltipLid(int commandId) override { return GetCommand(commandId).tooltipLid; }
    bool IsRibbonButtonVisible(int commandId, IDispatch*) override { return commandId != g_probe.hiddenCommand; }

    void CreateToolbarButtons(CAddInToolbar& toolbar) override
    {
        if (g_probe.hideButtons)
            return;
        toolbar.AddButton(MarkCommand, Commands[MarkCommand].name, 83, 35, IDB_TEST_COMMAND, false);
        toolbar.AddButton(LinkCommand, Commands[LinkCommand].name, 284, 285, 1576, true);
        if (dynamic_cast<CInspectorToolbar*>(&toolbar) != nullptr)
            toolbar.AddPopup(L"Quenzal.Test.Menu", 284, 285);
    }
    void OnExplorerButtonClicked(int commandId, IDispatch*) override { Record(commandId, 'E'); }
    void OnInspectorButtonClicked(int commandId, IDispatch*) override { Record(commandId, 'I'); }
    void OnExplorerButtonToggled(int commandId, bool pressed, IDispatch*) override
    {
        RecordToggle(commandId, pressed, 'E');
    }
    void OnInspectorButtonToggled(int commandId, bool pressed, IDispatch*) override
    {
        RecordToggle(commandId, pressed, 'I');
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
        if (g_probe.commandBarToolbars)
            return COutlookAddIn::CreateExplorerToolbar();
        return CAddInToolbarRef::Create<CTestToolbar>(*this, g_probe.explorerToolbarFailure);
    }
    CAddInToolbarRef CreateInspectorToolbar() override
    {
        if (g_probe.commandBarToolbars)
            return COutlookAddIn::CreateInspectorToolbar();
        return CAddInToolbarRef::Create<CTestToolbar>(*this, g_probe.inspectorToolbarFailure);
    }

    HRESULT STDMETHODCALLTYPE GetLogPath(BSTR* path) override
    {
        if (path == nullptr)
            return E_POINTER;
        *path = ::SysAllocString(g_probe.logPath);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Configure(HWND parent) override
    {
        g_probe.configures++;
        g_probe.configureParent = parent;
        return g_probe.configureResult;
    }

private:
    static void Record(int commandId, char window)
    {
        g_probe.clicks++;
        g_probe.lastCommand = commandId;
        g_probe.lastWindow = window;
        if (g_probe.throwInClick)
            throw std::runtime_error("command failed");
    }
    static void RecordToggle(int commandId, bool pressed, char window)
    {
        g_probe.toggles++;
        g_probe.lastPressed = pressed;
        Record(commandId, window);
    }
};

void SetLogPath(const wchar_t* path)
{
    Logging::SetLogPath(path);
}

// Nothing outside the test starts: the probe sees what would have.
class CRecordingLogViewer : public CLogViewer {
public:
    void Start(const Os::CreateProcess& program) override
    {
        g_probe.editorStarts++;
        wcsncpy_s(g_probe.editorCommand, program.FormatCommandLine().c_str(), _TRUNCATE);
        if (g_probe.editorFails)
            QZL_THROW(L"CRecordingLogViewer::Start", CWinError(ERROR_FILE_NOT_FOUND, L"Notepad.exe"));
    }
    void OpenFolder(const StringW& folder) override
    {
        g_probe.folderOpens++;
        wcsncpy_s(g_probe.openedFolder, folder.c_str(), _TRUNCATE);
    }
};

CRecordingLogViewer g_viewer;

// Its last reference goes on the pool thread, after its waiters woke.
class CLingeringWork : public Os::CThreadPoolWork {
public:
    explicit CLingeringWork(HANDLE release) : m_release(release) {}
    ~CLingeringWork() override { ::WaitForSingleObject(m_release, 10000); }

private:
    HANDLE m_release;
};

HANDLE QueueLingeringWork(HANDLE release)
{
    auto work = std::make_shared<CLingeringWork>(release);
    work->SetWorkFunction([] {});
    HANDLE completed = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), work->GetCompletionEvent(), ::GetCurrentProcess(), &completed, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    Os::QueueThreadPoolWork(work);
    return completed;
}

} // namespace

extern "C" TestAddInProbe* QzlTestAddInProbe()
{
    g_probe.setLogPath = SetLogPath;
    g_probe.getLockCount = GetModuleLockCount;
    g_probe.queueLingeringWork = QueueLingeringWork;
    SetLogViewer(&g_viewer);
    return &g_probe;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return GetClassObject(clsid, iid, object,
                          {{&CLSID_QzlTestAddIn, CreateComObject<CTestAddIn>},
                           {&CLSID_OutlookPropPage, CreateComObject<COutlookPropPage>}});
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

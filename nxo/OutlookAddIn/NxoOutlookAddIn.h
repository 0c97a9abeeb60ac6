#pragma once
// The product add-in: the COM object Outlook creates. It connects to Outlook
// through the framework, takes its MAPI session from Outlook, watches the
// Inbox and Junk E-mail for new mail and Deleted Items, Sent Items and
// Contacts for arrivals, finds and authenticates to its appliance by itself,
// and reports messages to the appliance as spam or not spam.
//
// Every member runs on Outlook's user-interface thread, except the new-mail
// callback (a MAPI notification thread: it only reads the message and posts
// the rest here) and the completions of appliance requests (pool threads:
// they only post here).

#include "AddInBusy.h"
#include "ComProgressDlg.h"
#include "FolderEventSink.h"
#include "InlineResponseEventSink.h"
#include "NxoApiClient.h"
#include "OutlookAddIn.h"
#include "OutlookAddInTimer.h"
#include "ThreadPoolWork.h"
#include "UiThreadWork.h"

#include "HeaderRecords.h"
#include "MapiPointers.h"
#include "NewMailEventSink.h"

#include "DateTime.h"

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CNxoOutlookAddIn : public Quenzal::OutlookAddIn::COutlookAddIn {
public:
    CNxoOutlookAddIn();
    ~CNxoOutlookAddIn() override;

    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode connectMode,
                                           IDispatch* addInInstance, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE GetLogPath(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE Configure(HWND parent) override;

    void OnMapiLogonComplete() override;
    void LogAddInDiagnostics() override;
    bool IsTraceLoggingEnabled() override;
    void SetTraceLoggingEnabled(bool enabled) override;
    Quenzal::StringW GetProgId() override;
    int GetAddInId() override;

    // The commands and their click dispatch.
    static Quenzal::StringW GetCommandName(int commandId);
    static int GetCommandId(const std::wstring& name);
    void CreateToolbarButtons(Quenzal::OutlookAddIn::CAddInToolbar& toolbar) override;
    Quenzal::Net::CXmlFragment FormatRibbonGroupXml(int kind, const Quenzal::StringW& tabIdMso) override;
    int GetRibbonButtonId(IDispatch* ribbonControl) override;
    int GetRibbonButtonLabelLid(int commandId) override;
    int GetRibbonButtonTooltipLid(int commandId) override;
    UINT GetRibbonButtonIconId(int commandId) override;
    void OnExplorerButtonClicked(int commandId, IDispatch* explorer) override;

    // Commands per window kind: ribbon groups, command-bar buttons, their
    // visibility and pressed state, clicks and toggles; the encryption flag.
    bool IsRibbonSupported(int kind) override;
    std::vector<Quenzal::StringW> GetContextualTabSets(int kind) override;
    std::vector<Quenzal::StringW> GetContextualTabs(int kind, const Quenzal::StringW& tabSetIdMso) override;
    bool ShowToolbarForInspector(IDispatch* inspector) override;
    void OnInspectorButtonClicked(int commandId, IDispatch* inspector) override;
    void OnExplorerButtonToggled(int commandId, bool pressed, IDispatch* explorer) override;
    void OnInspectorButtonToggled(int commandId, bool pressed, IDispatch* inspector) override;
    void OnNewInspector(IDispatch* inspector) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonVisible(IDispatch* ribbonControl, VARIANT_BOOL* visible) override;
    HRESULT STDMETHODCALLTYPE GetRibbonButtonPressedState(IDispatch* ribbonControl, VARIANT_BOOL* pressed) override;
    bool GetRibbonButtonPressed(int commandId, IDispatch* window);
    void OnItemSend(IDispatch* item, VARIANT_BOOL* cancel) override;
    bool GetMessageEncryptionFlag(const Quenzal::OutlookAddIn::CDispatchObject& message);
    void SetMessageEncryptionFlag(const Quenzal::OutlookAddIn::CDispatchObject& message, bool flag);
    bool CanEncryptMessage(const Quenzal::OutlookAddIn::CDispatchObject& message);
    void AddMessageEncryptionHeader(const Quenzal::OutlookAddIn::CDispatchObject& message);
    static std::vector<std::wstring>::iterator FindEncryptionCategory(std::vector<std::wstring>::iterator begin,
                                                                      std::vector<std::wstring>::iterator end);
    // A link to a large file on the message; without a message nothing happens.
    void AttachLinkToMessage(const Quenzal::OutlookAddIn::CDispatchObject& message);

    // Classification.
    bool MarkMessagesAsSpam(const std::vector<Quenzal::OutlookAddIn::CDispatchObject>& messages);
    bool MarkMessagesAsNotSpam(const std::vector<Quenzal::OutlookAddIn::CDispatchObject>& messages);
    void ClassifyMessage(const Quenzal::OutlookAddIn::CDispatchObject& message, bool isSpam);
    void DeleteMessagePermanently(const Quenzal::OutlookAddIn::CDispatchObject& message);
    void MoveMessageToDeletedItems(const Quenzal::OutlookAddIn::CDispatchObject& message);
    void MoveMessageToSpecifiedFolder(const Quenzal::OutlookAddIn::CDispatchObject& message,
                                      const std::wstring& folderId, const std::wstring& storeId);
    // Items that arrived in, or changed in, a watched folder.
    void OnFolderItemAdd(long folderId, IDispatch* item);
    void OnFolderItemChange(long folderId, IDispatch* item);
    // A spam message moved to Deleted Items for good arrived there.
    void CompletePermanentDeletion(IDispatch* item);

    // Whitelisting: sent mail, contacts and the scan of both. The scan
    // answers how many addresses it found, each once per folder.
    size_t ScanSentItemsAndContactsForWhitelist(bool scanSent, bool scanContacts, HWND owner);

    // Inline responses: one sink per explorer, dropped when it closes.
    void OnNewExplorer(IDispatch* explorer) override;
    void OnExplorerClosed(CInlineResponseEventSink* sink);
    void OnInlineResponse();

    // Auto-configuration and the authentication probe.
    void AutoConfigure();
    bool ScanInboxForNxoUri();
    bool ConfigureNxoUriFromMessage(IMessage* message);
    bool ConfigureNxoUri(const Quenzal::Mapi::QuenzalMessageProps& props, const Quenzal::StringW& subject);
    // The parts of the above: the URI the headers name, on any thread; the
    // setting and the probe request on the user-interface thread.
    static Quenzal::Net::CUri ReadNxoUri(const Quenzal::Mapi::QuenzalMessageProps& props,
                                         const Quenzal::StringW& subject);
    [[noreturn]] static void ThrowInvalidHostname();
    bool ApplyNxoUri(const Quenzal::Net::CUri& uri, const std::wstring& username);
    void InitiateAuthenticationProbe();
    void OnAuthenticationProbeInitiated(const CNxoApiClient::ContextPtr& context);
    Quenzal::StringW GetUserIdentity();
    bool ScanForAuthenticationProbe(const Quenzal::DateTimeSpan& span);
    bool OnNewMessage(IMessage* message);
    bool OnAuthenticationProbeReceived(const Quenzal::Mapi::AuthenticationProbeProps& props);
    void RepairConfiguration();
    // On the user-interface thread, dispatching its messages until the host's
    // lookup ends; false also when the connection ended meanwhile.
    bool IsValidHostname(const std::string& host);

    // The text a user sees for a caught exception: its own when it was
    // written for users, else the message of the lid.
    static Quenzal::StringW GetErrorMessage(const Quenzal::CException& e, int lid);
    // Runs a command the user gave; nothing it raises leaves. A command that
    // fails tells the user so in an error box, unless it has shown one
    // already or the user canceled it. Without an owner the box is shown
    // over Outlook's active window.
    void RunUserCommand(const wchar_t* function, HWND owner, const std::function<void()>& command);
    static Quenzal::StringW GetDataDirectory();
    static Quenzal::StringW GetLogFilePath();

    void* GetInterface(REFIID iid);

    // Attachment links and stubbing.
    bool CanAttachLink(const Quenzal::OutlookAddIn::CDispatchObject& item, uint64_t& maxSize);
    uint64_t GetMaxLinkedAttachmentSize();
    // "Attach Large File" once the item is known to be there.
    void AttachLinkFiles(const Quenzal::OutlookAddIn::CDispatchObject& item);
    static bool CanLockFileForReading(const std::wstring& path);
    // Raises when a message with links must not leave as it is.
    void StubLinks(const Quenzal::OutlookAddIn::CDispatchObject& item);

private:
    std::shared_ptr<CNxoApiClient> CreateApiClient();
    Quenzal::Mapi::IMAPISessionPtr CreateMapiSession();
    void InitializeNewMailEventSinks();
    void InitializeFolderEventSinks();
    void UninitializeEventSinks();
    // Cancels the appliance requests, waits for them, then lets the client go.
    void ReleaseApiClient();
    void OnAuthenticationFailed(const std::shared_ptr<Quenzal::Net::CHttpResponse>& response, UINT repairMessage);
    static void LogSeparator();
    // The default folder of the session; raises when Outlook has none.
    Quenzal::OutlookAddIn::CDispatchObject GetDefaultFolder(long folderId);
    Quenzal::OutlookAddIn::CDispatchObject GetSession();
    // Requests of a command, sent together once the command has looked at
    // every message.
    void QueueApiRequest(std::function<void(CNxoApiClient&)> request);
    void SubmitQueuedApiRequests();
    // Moves the message and answers the moved item.
    Quenzal::OutlookAddIn::CDispatchObject MoveMessage(const Quenzal::OutlookAddIn::CDispatchObject& message,
                                                       const Quenzal::OutlookAddIn::CDispatchObject& folder);
    void ShowKvdIntroduction();
    // Whitelisting.
    void WhitelistCollectedAddresses(const std::set<std::string>& addresses, const wchar_t* noneFound);
    // Each ends once the add-in is disconnected.
    void ScanSentItemsForWhitelist(const Quenzal::OutlookAddIn::CAddInBusy& busy,
                                   const Quenzal::OutlookAddIn::CDispatchObject& folderItems, CComProgressDlg& dialog,
                                   std::set<std::string>& addresses);
    void ScanContactsForWhitelist(const Quenzal::OutlookAddIn::CAddInBusy& busy,
                                  const Quenzal::OutlookAddIn::CDispatchObject& folderItems, CComProgressDlg& dialog,
                                  std::set<std::string>& addresses);
    void ScanItems(const Quenzal::OutlookAddIn::CAddInBusy& busy, const Quenzal::OutlookAddIn::CDispatchObject& items,
                   CComProgressDlg& dialog, const std::function<size_t(IDispatch*)>& collect);
    // Commands: the buttons of a compose inspector's bar (false when the
    // toolbar is no such window); the message a window's command acts on.
    bool CreateInspectorToolbarButtons(Quenzal::OutlookAddIn::CAddInToolbar& toolbar);
    static Quenzal::OutlookAddIn::CDispatchObject GetWindowMessage(IDispatch* window);
    // Sets the flag as the toggle asks; a toggle that did not take is shown
    // the message's flag again.
    void ToggleEncryption(const Quenzal::OutlookAddIn::CDispatchObject& message, bool pressed);
    // The large-file links' share of sending: false keeps the send cancelled.
    bool StubLinksOnSend(const Quenzal::OutlookAddIn::CDispatchObject& message);
    bool HasLinkedAttachments(const Quenzal::OutlookAddIn::CDispatchObject& message);

    // Shared with the completions of appliance requests, which keep it alive
    // while they run.
    std::shared_ptr<CNxoApiClient> m_apiClient;
    // The marshaler message of the repair, registered with the client.
    UINT m_repairMessage = 0;
    // From the refusal that asked for a repair until an account is verified
    // again; set on a pool thread.
    std::atomic<bool> m_repairRequested{false};
    std::vector<std::function<void(CNxoApiClient&)>> m_queuedApiRequests;
    std::vector<std::shared_ptr<Quenzal::Os::CThreadPoolWork>> m_apiRequestSubmitters;
    bool m_ownMapiLogon = false;
    // The process-wide MAPI session is this connection's to release; an
    // older object released later leaves a newer connection's session alone.
    bool m_ownsMapiSession = false;
    std::vector<std::unique_ptr<CFolderEventSink>> m_folderSinks;
    // The entry ids that the moves of permanent deletions gave their
    // messages: only these are deleted when they arrive in Deleted Items.
    std::set<Quenzal::StringW> m_pendingPermanentDeletions;
    Quenzal::OutlookAddIn::COutlookAddInTimer m_autoConfigureTimer;
    bool m_addInDisabled = false;
    // The sinks are COM objects; the add-in gives back the reference it got.
    struct SinkRelease {
        void operator()(Quenzal::Mapi::CNewMailEventSink* sink) const { sink->Release(); }
    };
    std::vector<std::unique_ptr<Quenzal::Mapi::CNewMailEventSink, SinkRelease>> m_newMailSinks;
    CUiThreadWork m_uiWork;

    // Attachment links and stubbing: the appliance's largest linked file as
    // last asked (zero time before the first answer).
    uint64_t QueryMaxLinkedAttachmentSize();
    uint64_t m_maxLinkedAttachmentSize = 0;
    Quenzal::DateTime m_maxLinkedAttachmentSizeTime;

    // Inline responses.
    std::vector<std::unique_ptr<CInlineResponseEventSink>> m_inlineResponseSinks;
};

// "Attach Large File" and the stubbing step of a send: the add-in's side of
// the large-file feature, over the link files and the stubbing.
#include "NxoOutlookAddIn.h"

#include "AddInBusy.h"
#include "ErrorReport.h"
#include "FileSystem.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoApiError.h"
#include "NxoClientConfig.h"
#include "NxoErrorBox.h"
#include "NxoOutlookAddInConfig.h"
#include "Path.h"
#include "Shell.h"
#include "Stubbing.h"
#include "Util.h"

#include <cmath>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr int LidFeatureDisabled = 5;
constexpr int LidUnableToPerform = 178;
constexpr int LidUnsafeFileType = 286;
constexpr int LidEncryptedMessage = 288;
constexpr int LidSelectFiles = 287;
constexpr int LidFileInUse = 289;
constexpr int LidUploadFailed = 317;
constexpr int LidUnexpectedResponse = 318;
constexpr int LidFileTooLarge = 375;
constexpr int SizeCacheMinutes = 11;

// The cursor comes back however the query ends.
class CWaitCursor {
public:
    CWaitCursor() : m_previous(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_previous); }

private:
    HCURSOR m_previous;
};

} // namespace

bool CNxoOutlookAddIn::CanAttachLink(const CDispatchObject& item, uint64_t& maxSize)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::CanAttachLink");
    if (GetMessageEncryptionFlag(item)) {
        Logging::Log(Logging::Error, L"Attachments of encrypted messages cannot be linked to");
        ShowNxoErrorBox(GetActiveOutlookWindow(), GetLocalizedMessage(LidEncryptedMessage));
        return false;
    }
    if (!CNxoOutlookAddInConfig::GetInstance().IsAuthenticated()) {
        Logging::Log(Logging::Error, L"CanAttachLink called with unconfigured add-in (unexpected case)");
        ShowNxoErrorBox(GetActiveOutlookWindow(), GetLocalizedMessage(LidUnableToPerform));
        return false;
    }
    if (!m_maxLinkedAttachmentSizeTime.IsNull()) {
        const double seconds = (DateTime::Now() - m_maxLinkedAttachmentSizeTime).GetSpan() * 86400.0;
        if (static_cast<long long>((seconds + 0.5) / 60.0) < SizeCacheMinutes) {
            maxSize = m_maxLinkedAttachmentSize;
            return true;
        }
    }
    maxSize = GetMaxLinkedAttachmentSize();
    return true;
}

uint64_t CNxoOutlookAddIn::QueryMaxLinkedAttachmentSize()
{
    if (!m_apiClient)
        QZL_THROW(QZL_FUNCTION, CException(LidUnableToPerform));
    CWaitCursor wait;
    CNxoClientConfig config;
    m_apiClient->GetClientConfiguration(config);
    const uint64_t size = config.GetMaxKvdFileSize();
    if (size != 0)
        Logging::Log(Logging::Debug, (L"NXO returned max linked attachment size of " + FormatByteSize(size)).c_str());
    else
        Logging::Log(Logging::Debug, L"NXO responded that KVD is disabled");
    m_maxLinkedAttachmentSize = size;
    m_maxLinkedAttachmentSizeTime = DateTime::Now();
    return size;
}

uint64_t CNxoOutlookAddIn::GetMaxLinkedAttachmentSize()
{
    try {
        return QueryMaxLinkedAttachmentSize();
    } catch (const CNxoApiError& e) {
        e.ShowUserMessage(GetActiveOutlookWindow());
        throw;
    } catch (const CException& e) {
        ShowNxoErrorBox(GetActiveOutlookWindow(), GetErrorMessage(e, LidUnexpectedResponse));
        throw;
    }
}

bool CNxoOutlookAddIn::CanLockFileForReading(const std::wstring& path)
{
    Os::CHandle file = Os::OpenFileHandle(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (!file) {
        CWinError error(path.c_str());
        Logging::Log(Logging::Error, (L"Unable to lock file for reading: " + error.GetDescription()).c_str());
        return false;
    }
    return true;
}

void CNxoOutlookAddIn::AttachLinkFiles(const CDispatchObject& item)
{
    Logging::Log(Logging::Debug, L"Attaching link to message");
    // Each message box and the file dialog pump messages: once the add-in is
    // disconnected, nothing more is attached.
    CAddInBusy busy(*this);
    uint64_t maxSize = 0;
    if (!CanAttachLink(item, maxSize) || busy.IsDisconnected())
        return;
    const HWND owner = GetActiveOutlookWindow();
    if (maxSize == 0) {
        ShowNxoErrorBox(owner, GetLocalizedMessage(LidFeatureDisabled));
        return;
    }
    std::vector<StringW> paths;
    if (!Os::GetOpenFileNames(StringW(), StringW(), GetLocalizedMessage(LidSelectFiles), paths, owner)) {
        Logging::Log(Logging::Debug, L"Attachment selection canceled");
        return;
    }
    for (const StringW& path : paths) {
        if (busy.IsDisconnected())
            return;
        // A link the send would refuse is refused now, while the user still chooses.
        if (!Stubbing::IsLocalDrivePath(path)) {
            Logging::Log(Logging::Warning, (L"Attachment is not on a local drive: " + path).c_str());
            ShowNxoErrorBox(owner, GetLocalizedMessage(LidUnableToPerform) + L": " + path);
            continue;
        }
        const uint64_t size = Os::GetFileSizeByPath(path);
        const StringW sizeText = FormatByteSize(size);
        Logging::LogFormat(Logging::Debug, L"Attaching link to file: %s (%s)", path.c_str(), sizeText.c_str());
        const StringW extension = Os::GetFileExtension(Os::GetFileNameFromPath(path));
        if (Os::IsBlockedFileExtension(extension)) {
            Logging::Log(Logging::Warning, (L"Attachment extension is unsafe: " + path).c_str());
            ShowNxoErrorBox(owner, FormatLocalizedMessage(LidUnsafeFileType, L"." + extension));
            return;
        }
        if (size > maxSize) {
            Logging::Log(Logging::Warning,
                         (L"Attachment size exceeds limit set by NXO: " + FormatByteSize(maxSize)).c_str());
            ShowNxoErrorBox(owner, FormatLocalizedMessage(LidFileTooLarge, sizeText, FormatByteSize(maxSize)));
            continue;
        }
        if (!CanLockFileForReading(path)) {
            Logging::Log(Logging::Error, L"Unable to lock attachment for reading");
            ShowNxoErrorBox(owner, GetLocalizedMessage(LidFileInUse));
            continue;
        }
        try {
            Stubbing::AttachLinkFile(item, path);
        } catch (const CException& e) {
            Logging::Log(Logging::Error, (L"Unable to attach link: " + e.GetDescription()).c_str());
            ShowNxoErrorBox(owner, GetLocalizedMessage(LidUnableToPerform));
            return;
        }
    }
}

// A message with links never leaves with them: when the links cannot be
// stubbed the send is refused, and the user told why (a Cancel of the
// user's own is told by nothing more).
void CNxoOutlookAddIn::StubLinks(const CDispatchObject& item)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::StubLinks");
    const HWND owner = GetActiveOutlookWindow();
    CAddInBusy busy(*this);
    // Outlook may disconnect the add-in while the upload's wait pumps messages.
    const bool connected = !busy.IsDisconnected();
    const auto disconnected = [&busy, connected] { return connected && busy.IsDisconnected(); };
    try {
        if (!Stubbing::HasLinkedAttachments(item))
            return;
        // Held across the upload's pumped wait, during which the add-in may
        // be disconnected and let its client go.
        const std::shared_ptr<CNxoApiClient> client = m_apiClient;
        if (!CNxoOutlookAddInConfig::GetInstance().IsAuthenticated() || !client) {
            Logging::Log(Logging::Error, L"Message has linked attachments, but the add-in has no account");
            QZL_THROW(QZL_FUNCTION, CException(LidUnableToPerform));
        }
        Logging::Log(Logging::Debug, L"Stubbing linked attachments from message");
        // The limit as the appliance has it now, not as it was when the
        // links were made.
        const uint64_t maxSize = QueryMaxLinkedAttachmentSize();
        if (maxSize == 0)
            QZL_THROW(QZL_FUNCTION, CException(LidFeatureDisabled));
        Stubbing::StubLinks(owner, item, *client, maxSize, disconnected);
    } catch (const CException& e) {
        // A disabled add-in keeps the send cancelled without a word.
        if (disconnected())
            throw;
        if (const auto* apiError = dynamic_cast<const CNxoApiError*>(&e))
            apiError->ShowUserMessage(owner);
        else
            ShowNxoErrorBox(owner, GetErrorMessage(e, LidUploadFailed));
        throw;
    }
}

void CNxoOutlookAddIn::AttachLinkToMessage(const CDispatchObject& message)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::AttachLinkToMessage");
    // No message to attach to (an explorer without an inline response): the
    // appliance is not asked and no file dialog is shown.
    if (!message)
        return;
    AttachLinkFiles(message);
}

// The stubbing step of the send: false keeps the send cancelled (the user
// has been told why).
bool CNxoOutlookAddIn::StubLinksOnSend(const CDispatchObject& message)
{
    try {
        StubLinks(message);
        return true;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        return false;
    }
}

bool CNxoOutlookAddIn::HasLinkedAttachments(const CDispatchObject& message)
{
    return message && Stubbing::HasLinkedAttachments(message);
}

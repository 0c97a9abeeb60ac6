// The stubbing on send: every linked file uploaded to the appliance under
// the progress dialog, then the appliance's preamble in front of the body,
// the stub header, and the link files gone.
#include "Stubbing.h"

#include "CaughtException.h"
#include "ComUtil.h"
#include "Guid.h"
#include "ErrorReport.h"
#include "InternetHeader.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoApiClient.h"
#include "NxoMapi.h"
#include "NxoOlaUtil.h"
#include "NxoProductName.h"
#include "OutlookAddInUtil.h"
#include "Path.h"
#include "Util.h"

#include <algorithm>
#include <functional>

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr int LidUploadingAttachments = 322;
constexpr int LidProcessingAttachments = 321;
constexpr long olFormatHTML = 2;
const wchar_t StubHeader[] = L"X-Quenzal-PluginStubId";
const wchar_t BodyAttachmentName[] = L"Linked Attachments.html";

StringW NewStubId()
{
    return StringW::FromAnsi(Guid::ToString(CreateGuid()), CP_ACP);
}

// Entry ids come as hexadecimal text.
std::string HexToBytes(const std::wstring& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(wcstoul(std::wstring(hex, i, 2).c_str(), nullptr, 16)));
    return bytes;
}

bool IsValidRecipient(const std::string& address)
{
    size_t at = address.find('@');
    return at != std::string::npos && at != 0 && address.back() != '@' && address.find(',') == std::string::npos;
}

// The changes a stub makes to the draft, each with the way to take it back:
// unless kept, they are taken back, the last first, so that a send that
// fails part way leaves the draft as it was and a second try starts afresh.
class CDraftChanges {
public:
    CDraftChanges() = default;
    CDraftChanges(const CDraftChanges&) = delete;
    CDraftChanges& operator=(const CDraftChanges&) = delete;
    ~CDraftChanges()
    {
        for (auto undo = m_undo.rbegin(); undo != m_undo.rend(); ++undo) {
            try {
                (*undo)();
            }
            QZL_CATCH_REPORT(QZL_FUNCTION)
        }
    }

    void Made(std::function<void()> undo) { m_undo.push_back(std::move(undo)); }
    void Keep() { m_undo.clear(); }

private:
    std::vector<std::function<void()>> m_undo;
};

// An HTML body holds text: a NUL would end it there in Outlook's hands, and
// with it the user's own text after the preamble.
bool IsFitForBody(const std::wstring& text)
{
    return std::none_of(text.begin(), text.end(), [](wchar_t ch) {
        return (ch < L' ' && ch != L'\t' && ch != L'\n' && ch != L'\f' && ch != L'\r') || ch == 0x7F;
    });
}

} // namespace

namespace Quenzal::Stubbing {

void CheckConnected(const StubContext& context)
{
    if (context.Disconnected && context.Disconnected())
        QZL_THROW(QZL_FUNCTION, CException(L"The add-in was disconnected during the send"));
}

StubContext::StubContext(HWND owner, const CDispatchObject& item, CNxoApiClient& client, uint64_t maxSize)
    : OwnerWindow(owner), Item(item), Attachments(item.GetDispatch(L"Attachments")), Sender(GetMessageSender(item)),
      Recipients(GetMessageRecipients(item)), Client(client), StubId(NewStubId()),
      Progress(NxoProductName, LidUploadingAttachments, static_cast<uint64_t>(Attachments.GetLong(L"Count"))),
      MaxSize(maxSize)
{
}

void StubLinks(HWND owner, const CDispatchObject& item, CNxoApiClient& client, uint64_t maxSize,
               std::function<bool()> disconnected)
{
    Logging::Log(Logging::Trace, L"Entered Stubbing::StubLinks");
    if (!item)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    Logging::LogFormat(Logging::Debug, L"Stubbing links from message: %s", item.GetString(L"Subject").c_str());
    StubContext context(owner, item, client, maxSize);
    context.Disconnected = std::move(disconnected);
    Logging::Log(Logging::Debug, (L"Using stub ID: " + context.StubId).c_str());
    context.Progress.Show(owner);
    StubMessage(context);
}

void StubMessage(StubContext& context)
{
    Logging::Log(Logging::Trace, L"Entered Stubbing::StubMessage");
    std::vector<StoredLink> stored = StoreAttachments(context);
    if (stored.empty()) {
        Logging::Log(Logging::Debug, L"No stubbable attachments were found in the message");
        return;
    }
    context.Progress.SetLine1(GetLocalizedMessage(LidProcessingAttachments) + L"...");
    context.Progress.SetLine2(L"");
    StringW preamble = GetStubPreamble(context, stored);
    // The last answer may come in just as Outlook disconnects the add-in.
    CheckConnected(context);
    WriteStub(context, preamble, stored);
}

// From the last attachment down: deleting one leaves the lower indices
// valid. Every link is read and checked before the first upload, so that a
// send refused for one of them has uploaded nothing.
std::vector<StoredLink> StoreAttachments(StubContext& context)
{
    const long count = context.Attachments.GetLong(L"Count");
    Logging::LogFormat(Logging::Debug, L"Message to stub has %d attachment(s)", count);
    std::vector<StoredLink> links;
    for (long i = count; i >= 1; --i) {
        CDispatchObject attachment = context.Attachments.GetDispatch(L"Item", {i});
        if (IsLinkFile(TryGetAttachmentFilename(attachment))) {
            StoredLink link{{}, attachment, {}, {}, {}};
            if (CheckLinkedAttachment(context, link)) {
                links.push_back(link);
                continue;
            }
        } else {
            Logging::Log(Logging::Debug,
                         (L"Skipping non-linked attachment: " + attachment.GetString(L"DisplayName")).c_str());
        }
        StepProgress(context);
    }
    std::vector<StoredLink> stored;
    for (StoredLink& link : links) {
        CheckConnected(context);
        StoreAttachment(context, link);
        if (!link.Record.Id.empty()) {
            Logging::Log(Logging::Debug, L"Successfully stored attachment");
            stored.push_back(link);
        } else {
            Logging::Log(Logging::Debug, L"Skipping attachment");
        }
        StepProgress(context);
    }
    return stored;
}

bool CheckLinkedAttachment(StubContext& context, StoredLink& link)
{
    link.LinkName = TryGetAttachmentFilename(link.Attachment);
    Logging::Log(Logging::Debug, (L"Storing link: " + link.LinkName).c_str());
    const LinkedAttachment linked = GetPathFromLinkedAttachment(link.Attachment);
    link.Path = linked.Link.Path;
    if (link.Path.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Unable to process link"));
    link.LinkXml = linked.Xml;
    CheckLinkSeal(linked.Link);
    // Deleted only with the stub, so that a send that fails keeps it.
    if (context.StoredPaths.count(link.Path) != 0) {
        Logging::Log(Logging::Warning, L"Same file linked to multiple times; deleting duplicate");
        context.Duplicates.push_back(link);
        return false;
    }
    // A link shortened to fit a name stores the file under its own name.
    link.Record.FileName = link.LinkName == GetLinkFileName(link.Path) ? Os::GetFileNameFromPath(link.Path)
                                                                       : Os::RemoveFileExtension(link.LinkName);
    link.Record.Size = CheckLinkedPath(link.Path, context.MaxSize);
    context.StoredPaths.insert(link.Path);
    return true;
}

void StoreAttachment(StubContext& context, StoredLink& link)
{
    const StringW sizeText = FormatByteSize(link.Record.Size);
    Logging::LogFormat(Logging::Debug, L"Storing attachment: %s (%s)", link.Record.FileName.c_str(), sizeText.c_str());
    context.Progress.SetLine2(StringW::Format(L"%s (%s)", link.Record.FileName.c_str(), sizeText.c_str()));
    link.Record.Id = context.Client.StoreKvdFile(MakePreambleRequest(context), link.Path, link.Record.FileName);
}

StringW GetStubPreamble(StubContext& context, const std::vector<StoredLink>& stored)
{
    std::vector<StoredAttachment> records;
    for (const StoredLink& link : stored)
        records.push_back(link.Record);
    return context.Client.GetKvdPreamble(MakePreambleRequest(context), records);
}

// The body goes last: it is the one change that cannot be taken back
// exactly once made.
void WriteStub(StubContext& context, const StringW& preamble, const std::vector<StoredLink>& stored)
{
    if (!IsFitForBody(preamble))
        QZL_THROW(QZL_FUNCTION, CException(L"Preamble holds characters that an HTML body cannot carry"));
    std::vector<StoredLink> links(stored);
    links.insert(links.end(), context.Duplicates.begin(), context.Duplicates.end());
    CDraftChanges changes;
    if (context.AttachHtmlCopy) {
        const CDispatchObject copy = AddAttachmentFromData(context.Item, BodyAttachmentName, preamble.ToUtf8());
        changes.Made([copy] { copy.Call(L"Delete"); });
    }
    for (const StoredLink& link : links) {
        link.Attachment.Call(L"Delete");
        changes.Made([&context, &link] { AddAttachmentFromData(context.Item, link.LinkName, link.LinkXml); });
    }
    const auto message = GetMapiObject<IMessage>(context.Item);
    Mapi::AddCustomHeader(message.GetInterfacePtr(), StubHeader, context.StubId);
    changes.Made([message] { Mapi::RemoveCustomHeader(message.GetInterfacePtr(), StubHeader); });
    const long format = context.Item.GetLong(L"BodyFormat");
    context.Item.Put(L"BodyFormat", olFormatHTML);
    changes.Made([&context, format] { context.Item.Put(L"BodyFormat", format); });
    const StringW body = context.Item.GetString(L"HTMLBody");
    context.Item.Put(L"HTMLBody", Com::ToBstr(preamble + body));
    changes.Keep();
}

KvdRequestInfo MakePreambleRequest(const StubContext& context)
{
    KvdRequestInfo info;
    info.Guid = context.StubId;
    info.Sender = StringW::FromAnsi(context.Sender, CP_ACP);
    for (const std::string& recipient : context.Recipients)
        info.Recipients.push_back(StringW::FromAnsi(recipient, CP_ACP));
    info.ProgressDialog = context.Progress.GetDialog();
    return info;
}

std::string GetMessageSender(const CDispatchObject& item)
{
    try {
        const StringW address = item.GetString(L"SenderEmailAddress");
        if (_wcsicmp(item.GetString(L"SenderEmailType").c_str(), L"SMTP") == 0 && !address.empty() &&
            address[0] != L'/')
            return address.GetAnsi(CP_ACP);
        return Mapi::GetUserSmtpAddress().GetAnsi(CP_ACP);
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        return std::string();
    }
}

NarrowAddressSet GetMessageRecipients(const CDispatchObject& item)
{
    NarrowAddressSet result;
    try {
        CDispatchObject recipients = item.GetDispatch(L"Recipients");
        const long count = recipients.GetLong(L"Count");
        for (long i = 1; i <= count; ++i) {
            CDispatchObject recipient = recipients.GetDispatch(L"Item", {i});
            StringW address = recipient.GetString(L"Address");
            if (!address.empty() && address[0] == L'/')
                address = Mapi::GetSmtpAddressFromUserEntryIdW(HexToBytes(recipient.GetString(L"EntryID")));
            if (address.empty())
                continue;
            const std::string narrow = address.GetAnsi(CP_ACP);
            if (IsValidRecipient(narrow))
                result.insert(narrow);
            else
                Logging::LogA(Logging::Error, ("Message has invalid recipient: " + narrow).c_str());
        }
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
    return result;
}

void StepProgress(StubContext& context)
{
    ++context.Done;
    context.Progress.StepProgress(context.Done, KeepProgressTotal);
}

} // namespace Quenzal::Stubbing

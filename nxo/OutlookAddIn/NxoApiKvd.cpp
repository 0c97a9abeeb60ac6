// The requests of the large-file feature: the appliance's client
// configuration, the upload of a linked file and the stub preamble that
// describes the stored files.

#include "Buffer.h"
#include "ErrorReport.h"
#include "File.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "Logging.h"
#include "MimeContent.h"
#include "MimeHeader.h"
#include "NameTables.h"
#include "NxoApiClient.h"
#include "NxoApiError.h"
#include "NxoClientConfig.h"
#include "Os.h"
#include "OutStream.h"
#include "XmlGenerator.h"

using namespace Quenzal;

namespace {

constexpr int LidUnexpectedResponse = 318;

std::shared_ptr<Net::CMimeContent> MakeFormPart(const wchar_t* name, const std::shared_ptr<IStreamable>& data)
{
    auto part = std::make_shared<Net::CMimeContent>();
    auto disposition = part->GetContentDispositionHeader();
    disposition->SetType(Net::ContentDispositionFormData);
    disposition->SetNameParameter(name);
    part->SetData(data);
    return part;
}

std::string ResponseText(const CNxoApiClient::ContextPtr& context)
{
    return StreamToString(context->GetResponse()->GetContentBody());
}

bool HasBody(const CNxoApiClient::ContextPtr& context)
{
    auto response = context->GetResponse();
    return response && response->HasContentBody();
}

} // namespace

void CNxoApiClient::GetClientConfiguration(CNxoClientConfig& config)
{
    auto context = PerformApiRequest(CreateApiRequest(NxoApiRequestClientConfiguration, std::wstring()));
    if (!context->IsSuccessful() || !HasBody(context))
        QZL_THROW(L"CNxoApiClient::GetClientConfiguration", CNxoApiError(context));
    try {
        config = CNxoClientConfig(ResponseText(context));
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"CNxoApiClient::GetClientConfiguration", e);
        QZL_THROW(L"CNxoApiClient::GetClientConfiguration", CException(LidUnexpectedResponse));
    }
}

void CNxoApiClient::AddKvdMetadataField(Net::CMimeContainer::Parts& parts, const wchar_t* name,
                                        const std::wstring& value)
{
    if (!value.empty())
        parts.push_back(MakeFormPart(name, CBuffer::Create(StringW(value).GetAnsi(CP_ACP))));
}

void CNxoApiClient::FormatKvdMetadata(const KvdRequestInfo& info, Net::CMimeContainer::Parts& parts)
{
    AddKvdMetadataField(parts, L"guid", info.Guid);
    AddKvdMetadataField(parts, L"sender", info.Sender);
    AddKvdMetadataField(parts, L"recipients", JoinWithComma(info.Recipients));
}

std::shared_ptr<Net::CHttpRequest> CNxoApiClient::CreateKvdUploadRequest(const KvdRequestInfo& info,
                                                                          const std::wstring& path,
                                                                          const std::wstring& fileName)
{
    auto request = CreateApiRequest(NxoApiRequestStoreFile, std::wstring());
    request->SetMethod(Net::HttpMethodPost);
    request->SetHeaderValue("guid", Value(info.Guid));
    Net::CMimeContainer::Parts parts;
    FormatKvdMetadata(info, parts);
    auto file = MakeFormPart(L"attachment", std::make_shared<Os::CFile>(path, Os::CFile::OpenRead));
    file->GetContentDispositionHeader()->SetFileName(fileName);
    StringW mediaType = Net::GetContentTypeForFileExtension(Os::GetFileExtension(fileName));
    file->GetContentTypeHeader()->SetMediaType(mediaType.empty() ? StringW(L"application/octet-stream") : mediaType);
    parts.push_back(file);
    request->SetMultipartFormData(parts);
    return request;
}

StringW CNxoApiClient::StoreKvdFile(const KvdRequestInfo& info, const std::wstring& path, const std::wstring& fileName)
{
    auto request = CreateKvdUploadRequest(info, path, fileName);
    auto notifier = std::make_shared<CKvdUploadNotifier>(info.ProgressDialog);
    auto context = SendRequest(request, nullptr, notifier, CompletionHandler());
    JoinUserCancelable(*context, info.ProgressDialog.GetInterfacePtr());
    if (!context->IsSuccessful() || !HasBody(context) || context->GetContentType() != Net::ContentTypeTextPlain)
        QZL_THROW(L"CNxoApiClient::StoreKvdFile", CNxoApiError(context));
    Logging::Log(Logging::Debug, L"Successfully posted file to HTTP server");
    // The id is the whole body, as it came.
    const std::string id = ResponseText(context);
    Logging::LogA(Logging::Debug, ("Stored attachment ID: " + id).c_str());
    if (id.find('\n') != std::string::npos)
        QZL_THROW(L"CNxoApiClient::StoreKvdFile", CException(L"Stored attachment ID is invalid"));
    return StringW::FromAnsi(id, CP_ACP);
}

StringW CNxoApiClient::GetKvdPreamble(const KvdRequestInfo& info, const std::vector<StoredAttachment>& attachments)
{
    Net::CXmlGenerator document;
    document.StartElement(L"doFormatStub");
    document.AddElement(L"guid", Value(info.Guid));
    document.AddElement(L"sender", Value(info.Sender));
    for (const StringW& recipient : info.Recipients)
        document.AddElement(L"recipient", Value(recipient));
    for (const StoredAttachment& attachment : attachments) {
        document.StartElement(L"link");
        document.AddElement(L"filename", Value(attachment.FileName));
        document.AddElement(L"id", Value(attachment.Id));
        document.AddElement(L"size", Value(std::to_wstring(attachment.Size)));
        document.EndElement();
    }
    const std::string text = document.CloseAndFormat();
    if (Logging::IsTraceEnabled()) {
        Logging::Log(Logging::Trace, L"Sending preamble request for:");
        Logging::LogRawA(Logging::Trace, text.c_str());
    }
    auto request = CreateApiRequest(NxoApiRequestStubPreamble, std::wstring());
    request->SetMethod(Net::HttpMethodPost);
    request->SetHeaderValue("guid", Value(info.Guid));
    request->SetBody(CBuffer::Create(text));
    request->SetContentType(Net::ContentTypeTextXml);

    auto context = SendRequest(request, nullptr, nullptr, CompletionHandler());
    JoinUserCancelable(*context, info.ProgressDialog.GetInterfacePtr());
    if (!context->IsSuccessful() || !HasBody(context) || context->GetContentType() != Net::ContentTypeTextHtml)
        QZL_THROW(L"CNxoApiClient::GetKvdPreamble", CNxoApiError(context));
    StringW preamble = StringW::FromAnsi(ResponseText(context), CP_UTF8);
    if (preamble.empty())
        QZL_THROW(L"CNxoApiClient::GetKvdPreamble", CException(L"Unable to convert preamble to UTF-16"));
    return preamble;
}

#include "HttpMessage.h"

#include "ErrorReport.h"
#include "HttpHeaders.h"
#include "Logging.h"
#include "MemoryStream.h"
#include "MimeContent.h"

#include <cstdio>

namespace Quenzal::Net {

namespace {

// Frames everything written into it as HTTP chunks on the target stream.
// Small writes (a multipart body writes its delimiters and header lines one by
// one) are gathered so that a chunk carries a useful amount of data.
class CChunkedOutStream : public IOutStream {
public:
    explicit CChunkedOutStream(IOutStream& target) : m_target(target) {}

    bool IsOpen() const override { return m_target.IsOpen(); }

    // Writes what is gathered and the last chunk, which ends the body.
    void Finish()
    {
        Flush();
        m_target.Write("0\r\n\r\n");
    }

protected:
    void DoWrite(const void* data, uint64_t length) override
    {
        const char* bytes = static_cast<const char*>(data);
        if (m_pending.size() + length < kChunkSize) {
            m_pending.append(bytes, static_cast<size_t>(length));
            return;
        }
        Flush();
        if (length < kChunkSize) {
            m_pending.assign(bytes, static_cast<size_t>(length));
            return;
        }
        // A large block goes out as one chunk without being copied.
        m_target.Write(SizeLine(length));
        m_target.Write(bytes, length);
        m_target.Write("\r\n");
    }

private:
    static constexpr size_t kChunkSize = 8192;

    static std::string SizeLine(uint64_t length)
    {
        char line[32];
        snprintf(line, sizeof(line), "%llx\r\n", static_cast<unsigned long long>(length));
        return line;
    }

    void Flush()
    {
        if (m_pending.empty())
            return;
        std::string chunk = SizeLine(m_pending.size());
        chunk += m_pending;
        chunk += "\r\n";
        m_pending.clear();
        m_target.Write(chunk);
    }

    IOutStream& m_target;
    std::string m_pending;
};

StringW DecimalText(uint64_t number)
{
    return StringW(std::to_wstring(number));
}

} // namespace

CHttpMessage::CHttpMessage()
{
    CHttpMessage::SetEntity(std::make_shared<CMimeContent>());
}

CHttpMessage::~CHttpMessage() = default;

const CMimeHeaderFactory& CHttpMessage::GetHeaderFactory() const
{
    return GetHttpHeaderFactory();
}

void CHttpMessage::SetEntity(const std::shared_ptr<CMimeEntity>& entity)
{
    CMimeMessage::SetEntity(entity);
    auto container = std::dynamic_pointer_cast<CMimeContainer>(entity);
    if (!container)
        return;
    for (const auto& part : container->GetParts()) {
        auto content = std::dynamic_pointer_cast<CMimeContent>(part);
        if (!content || !content->GetData() || content->GetData()->GetLength() != UnknownLength)
            continue;
        Logging::Log(Logging::Warning,
                     L"Multipart HTTP message contains MIME entity of unknown length; using chunked transfer encoding");
        // A header read from text would be written back as it was read.
        RemoveHeaders("Transfer-Encoding");
        std::dynamic_pointer_cast<CTransferEncodingHeader>(CreateHeader("Transfer-Encoding"))
            ->SetId(TransferCodingChunked);
        break;
    }
}

void CHttpMessage::SetBody(const std::shared_ptr<IStreamable>& data)
{
    auto content = std::dynamic_pointer_cast<CMimeContent>(GetBody());
    if (!content)
        QZL_THROW(QZL_FUNCTION, CException(L"CHttpMessage::SetBody called with no entity"));
    content->SetData(data);
}

std::shared_ptr<IStreamable> CHttpMessage::GetContentBody() const
{
    auto content = std::dynamic_pointer_cast<CMimeContent>(GetBody());
    return content ? content->GetData() : nullptr;
}

void CHttpMessage::SetMultipartFormData(const CMimeContainer::Parts& parts)
{
    auto container = std::make_shared<CMimeContainer>(ContentTypeMultipartFormData);
    container->SetParts(parts);
    SetEntity(container);
}

uint64_t CHttpMessage::GetBodyLength(uint32_t codePage) const
{
    const std::shared_ptr<CMimeEntity>& body = GetBody();
    if (!body)
        return 0;
    auto content = std::dynamic_pointer_cast<CMimeContent>(body);
    if (!content || !content->GetData())
        return body->GetBodyLength(codePage, false);
    switch (content->GetTransferEncoding()) {
    case ContentTransferEncodingBase64:
    case ContentTransferEncodingQuotedPrintable: {
        // The encoded text is what goes on the wire, so that is the length
        // to declare; only formatting tells it.
        CNullStream counter;
        content->FormatBody(counter, codePage, false);
        return counter.GetBytesWritten();
    }
    default:
        return content->GetBodyLength(codePage, false);
    }
}

bool CHttpMessage::IsChunked() const
{
    auto coding = FindHeaderAs<CTransferEncodingHeader>("Transfer-Encoding");
    return coding && coding->IsChunked();
}

void CHttpMessage::FormatHead(IOutStream& stream, uint32_t codePage) const
{
    // Chunks frame the body by themselves; a length of the caller's beside
    // them would tell the peer two different ends.
    GetBody()->FormatHeaders(stream, codePage, false, IsChunked() ? "Content-Length" : nullptr);
}

void CHttpMessage::Format(IOutStream& stream, uint32_t codePage) const
{
    FormatHead(stream, codePage);

    const bool chunked = IsChunked();
    uint64_t declared = UnknownLength;
    if (!chunked) {
        if (HeaderPtr header = FindHeader("Content-Length")) {
            declared = header->GetValue().GetUInt64();
            // A body that does not fill its declared length (or overruns it)
            // breaks the framing of everything that follows on the connection.
            const uint64_t length = GetBodyLength(codePage);
            if (length != UnknownLength && length != declared)
                QZL_THROW(QZL_FUNCTION,
                          CException(StringW::Format(
                              L"HTTP message's body length (%s) did not match declared content length (%s)",
                              DecimalText(length).c_str(), DecimalText(declared).c_str())));
        } else {
            declared = GetBodyLength(codePage);
            if (declared == UnknownLength)
                QZL_THROW(QZL_FUNCTION,
                          CException(L"HTTP message contains body of unknown length and chunked transfer encoding "
                                     L"not specified"));
            if (declared != 0) {
                // Written only; the message itself keeps no Content-Length.
                HeaderPtr length = MakeHeader(GetHeaderFactory(), "Content-Length");
                length->SetValue(Value(static_cast<int64_t>(declared)));
                stream.Write(length->Format(codePage, false) + "\r\n");
            }
        }
    }
    stream.Write("\r\n");

    const uint64_t before = stream.GetBytesWritten();
    if (chunked) {
        CChunkedOutStream chunks(stream);
        GetBody()->FormatBody(chunks, codePage, false);
        chunks.Finish();
        return;
    }
    GetBody()->FormatBody(stream, codePage, false);
    const uint64_t written = stream.GetBytesWritten() - before;
    if (written != declared)
        Logging::LogFormat(Logging::Warning,
                           L"HTTP message's body length (%s) did not match declared content length (%s)",
                           DecimalText(written).c_str(), DecimalText(declared).c_str());
}

void CHttpMessage::SetHeaderText(const char* name, const std::wstring& value)
{
    HeaderPtr header = FindHeader(name);
    if (!header)
        header = CreateHeader(name);
    header->SetValue(Value(value));
    header->SetRawLine(std::string());
}

std::string CHttpMessage::FormatVersion() const
{
    return StringW(GetHttpVersionTable().LookupName(m_version)).GetAnsi(CP_ACP);
}

bool CHttpMessage::ParseVersion(const std::string& name)
{
    const int32_t version = GetHttpVersionTable().LookupValue(StringW::FromAnsi(name, CP_ACP));
    if (version == -1)
        return false;
    m_version = version;
    return true;
}

bool CHttpMessage::SplitStartLine(const std::string& text, std::string& startLine, std::string& rest)
{
    const size_t lineFeed = text.find('\n');
    if (lineFeed == std::string::npos)
        return false;
    StringA line(text.substr(0, lineFeed + 1));
    startLine = line.Trim();
    rest = text.substr(lineFeed + 1);
    return true;
}

} // namespace Quenzal::Net

// MIME entities: single bodies with their transfer encodings, multipart
// bodies parsed, written and measured, and messages that hold an entity.

#include "Buffer.h"
#include "Charsets.h"
#include "CodecVectors.h"
#include "Exception.h"
#include "File.h"
#include "HttpHeaders.h"
#include "MemoryStream.h"
#include "MimeContainer.h"
#include "MimeContent.h"
#include "MimeMessage.h"
#include "Modules.h"
#include "NameTables.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Net;
using NetTest::ReadData;

namespace {

std::string WithoutFinalLineBreak(const std::string& text)
{
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0 ? text.substr(0, text.size() - 2)
                                                                              : text;
}

std::shared_ptr<CMimeEntity> ParseEntity(const std::string& text)
{
    return ParseMimeEntity(text.data(), text.size(), GetMimeHeaderFactory());
}

std::string FormatEntity(const CMimeEntity& entity)
{
    CMemoryStream stream;
    entity.Format(stream, kNoCodePage, false);
    return stream.GetData();
}

std::string FormatBody(const CMimeEntity& entity)
{
    CMemoryStream stream;
    entity.FormatBody(stream, kNoCodePage, false);
    return stream.GetData();
}

std::string BodyOf(const std::shared_ptr<CMimeEntity>& entity)
{
    auto content = std::dynamic_pointer_cast<CMimeContent>(entity);
    EXPECT_TRUE(content);
    return content ? StreamToString(content->GetData()) : std::string();
}

std::shared_ptr<CMimeContainer> ContainerOf(const std::shared_ptr<CMimeEntity>& entity)
{
    auto container = std::dynamic_pointer_cast<CMimeContainer>(entity);
    EXPECT_TRUE(container);
    return container;
}

// A container with the boundary "B" whose body is parsed from text.
std::shared_ptr<CMimeContainer> ParseMultipart(const std::string& body)
{
    auto container = std::make_shared<CMimeContainer>();
    auto contentType = container->GetContentTypeHeader();
    contentType->SetMediaType(L"multipart/mixed");
    contentType->SetParameterValue(MimeParameterBoundary, L"B");
    container->ParseBody(body.data(), body.size(), GetMimeHeaderFactory());
    return container;
}

std::shared_ptr<CMimeContent> MakeContent(const std::string& data, const wchar_t* transferEncoding = nullptr)
{
    auto content = std::make_shared<CMimeContent>();
    content->SetContentType(ContentTypeTextPlain);
    if (transferEncoding != nullptr)
        content->SetHeaderValue("Content-Transfer-Encoding", Value(std::wstring(transferEncoding)));
    content->SetData(CBuffer::Create(data));
    return content;
}

// Keeps what is written and notes the largest single write.
class CRecordingStream : public IOutStream {
public:
    bool IsOpen() const override { return true; }
    const std::string& Data() const { return m_data; }
    uint64_t LargestWrite() const { return m_largest; }

protected:
    void DoWrite(const void* data, uint64_t length) override
    {
        m_largest = std::max(m_largest, length);
        m_data.append(static_cast<const char*>(data), static_cast<size_t>(length));
    }

private:
    std::string m_data;
    uint64_t m_largest = 0;
};

// Counts how often the data is streamed out.
class CCountingStreamable : public IStreamable {
public:
    explicit CCountingStreamable(std::shared_ptr<IStreamable> inner) : m_inner(std::move(inner)) {}
    uint64_t GetLength() const override { return m_inner->GetLength(); }
    void WriteTo(IOutStream& stream) const override
    {
        ++m_writes;
        m_inner->WriteTo(stream);
    }
    int Writes() const { return m_writes; }

private:
    std::shared_ptr<IStreamable> m_inner;
    mutable int m_writes = 0;
};

class CTestMessage : public CMimeMessage {
public:
    explicit CTestMessage(const CMimeHeaderFactory& factory) : m_factory(factory)
    {
        SetEntity(std::make_shared<CMimeContent>());
    }
    void Format(IOutStream& stream, uint32_t codePage) const override { GetBody()->Format(stream, codePage, false); }
    void FormatHead(IOutStream& stream, uint32_t codePage) const override
    {
        GetBody()->FormatHeaders(stream, codePage, false);
    }
    const CMimeHeaderFactory& GetHeaderFactory() const override { return m_factory; }

private:
    const CMimeHeaderFactory& m_factory;
};

} // namespace

TEST(MimeMultipart, Rfc2046Example)
{
    auto message = ContainerOf(ParseEntity(ReadData("net/data/mime/rfc2046-multipart.txt")));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->GetHeaderValue("Subject").GetStringW(), L"Sample message");
    ASSERT_EQ(message->GetParts().size(), 2u);
    const auto& parts = message->GetParts();
    EXPECT_FALSE(parts[0]->HasHeaders());
    EXPECT_EQ(parts[0]->GetContentTypeId(), ContentTypeTextPlain);
    EXPECT_EQ(BodyOf(parts[0]), "This is implicitly typed plain US-ASCII text.\r\nIt does NOT end with a linebreak.");
    EXPECT_EQ(parts[1]->GetContentTypeHeader()->GetParameterValue(MimeParameterCharset), L"us-ascii");
    EXPECT_EQ(BodyOf(parts[1]), "This is explicitly typed plain US-ASCII text.\r\nIt DOES end with a linebreak.\r\n");
}

TEST(MimeMultipart, InnerPartKeepsItsFinalLineBreak)
{
    const std::string text = ReadData("net/data/mime/multipart-inner-linebreak.txt");
    auto message = ContainerOf(ParseEntity(text));
    ASSERT_TRUE(message);
    ASSERT_EQ(message->GetParts().size(), 2u);
    EXPECT_EQ(BodyOf(message->GetParts()[0]),
              "This is explicitly typed plain US-ASCII text.\r\nIt DOES end with a linebreak.\r\n");
    EXPECT_EQ(BodyOf(message->GetParts()[1]),
              "This is implicitly typed plain US-ASCII text.\r\nIt does NOT end with a linebreak.");
    // Written back byte for byte, and again after a second round.
    const std::string written = FormatEntity(*message);
    EXPECT_EQ(written, WithoutFinalLineBreak(text));
    EXPECT_EQ(FormatEntity(*ParseEntity(written)), written);
    EXPECT_EQ(message->GetLength(kNoCodePage, false), written.size());
}

TEST(MimeMultipart, NestedRoundTrip)
{
    const std::string text = ReadData("net/data/mime/multipart-nested.txt");
    auto message = ContainerOf(ParseEntity(text));
    ASSERT_TRUE(message);
    const auto& parts = message->GetParts();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(BodyOf(parts[0]), "caf\xc3\xa9");
    auto alternative = ContainerOf(parts[1]);
    ASSERT_TRUE(alternative);
    ASSERT_EQ(alternative->GetParts().size(), 2u);
    EXPECT_EQ(BodyOf(alternative->GetParts()[0]), "plain\r\n");
    EXPECT_EQ(BodyOf(alternative->GetParts()[1]), "<p>html</p>");
    EXPECT_EQ(BodyOf(parts[2]), std::string("\0\1\2\3\4\5\6\7\x08\x09", 10));
    EXPECT_EQ(parts[2]->GetContentDispositionHeader()->GetFileName(), L"data.bin");

    EXPECT_EQ(FormatEntity(*message), WithoutFinalLineBreak(text));
    EXPECT_EQ(message->GetLength(kNoCodePage, false), UnknownLength);
}

TEST(MimeMultipart, DelimiterLines)
{
    // The line break before a delimiter belongs to it; CR LF and LF alike.
    for (const char* body : {"--B\r\nA: 1\r\n\r\nx\r\n--B\r\nA: 2\r\n\r\ny\r\n--B--\r\n",
                             "--B\nA: 1\n\nx\n--B \t\nA: 2\n\ny\n--B--\n"}) {
        auto container = ParseMultipart(body);
        ASSERT_EQ(container->GetParts().size(), 2u) << body;
        EXPECT_EQ(BodyOf(container->GetParts()[0]), "x");
        EXPECT_EQ(BodyOf(container->GetParts()[1]), "y");
        EXPECT_EQ(container->GetParts()[1]->GetHeaderValue("A").GetStringW(), L"2");
    }
    {
        auto container = ParseMultipart("preamble\r\n--B\r\n\r\nx\r\n--B\r\n\r\ny\r\nmore\r\n");
        ASSERT_EQ(container->GetParts().size(), 2u);
        EXPECT_EQ(BodyOf(container->GetParts()[1]), "y\r\nmore");
    }
    EXPECT_TRUE(ParseMultipart("text --B\r\nmore --B--\r\n")->GetParts().empty());
    EXPECT_TRUE(ParseMultipart("--Bx\r\n\r\nx\r\n--B--")->GetParts().empty());
    {
        QzlTest::CLogCapture log;
        auto container = ParseMultipart("--B\r\n\r\n--B\r\n\r\nz\r\n--B--");
        ASSERT_EQ(container->GetParts().size(), 1u);
        EXPECT_EQ(BodyOf(container->GetParts()[0]), "z");
        EXPECT_TRUE(log.Contains("Empty MIME entity found; skipping"));
    }
    {
        QzlTest::CLogCapture log;
        CMimeContainer container;
        container.SetContentType(ContentTypeMultipartMixed);
        const std::string body = "--B\r\n\r\nx\r\n--B--";
        container.ParseBody(body.data(), body.size(), GetMimeHeaderFactory());
        EXPECT_TRUE(container.GetParts().empty());
        EXPECT_TRUE(log.Contains("No multipart boundary found for entity (multipart/mixed)")) << log.Text();
    }
}

TEST(MimeContent, TransferEncodingsAndLengths)
{
    auto empty = MakeContent("");
    EXPECT_FALSE(empty->HasData());
    EXPECT_EQ(FormatBody(*empty), "");
    EXPECT_EQ(empty->GetBodyLength(kNoCodePage, false), 0u);
    EXPECT_EQ(empty->GetLength(kNoCodePage, false), empty->GetHeadersLength(kNoCodePage, false) + 2);
    EXPECT_EQ(FormatEntity(*empty).size(), empty->GetLength(kNoCodePage, false));

    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes.push_back(static_cast<char>(i * 7));
    auto base64 = MakeContent(bytes, L"base64");
    EXPECT_EQ(base64->GetTransferEncoding(), ContentTransferEncodingBase64);
    const std::string encoded = FormatBody(*base64);
    ASSERT_EQ(encoded.size(), 76u + 2 + 60);
    EXPECT_EQ(encoded.substr(76, 2), "\r\n");
    EXPECT_EQ(encoded.find("\r\n", 78), std::string::npos);
    EXPECT_EQ(base64->GetBodyLength(kNoCodePage, false), UnknownLength);
    EXPECT_EQ(base64->GetLength(kNoCodePage, false), UnknownLength);
    CMimeContainer holder(ContentTypeMultipartMixed);
    holder.SetParts({MakeContent("plain"), base64});
    EXPECT_EQ(holder.GetBodyLength(kNoCodePage, false), UnknownLength);

    // Read back through the entity parse.
    CMemoryStream stream;
    base64->Format(stream, kNoCodePage, false);
    EXPECT_EQ(BodyOf(ParseEntity(stream.GetData())), bytes);

    auto quoted = std::make_shared<CMimeContent>();
    quoted->SetHeaderValue("Content-Transfer-Encoding", Value(std::wstring(L"Quoted-Printable")));
    const std::string qp = "  a=3Db  ";
    quoted->ParseBody(qp.data(), qp.size(), GetMimeHeaderFactory());
    EXPECT_EQ(StreamToString(quoted->GetData()), "a=b");
    EXPECT_EQ(FormatBody(*quoted), "a=3Db");

    auto unknown = MakeContent("as is", L"x-unknown");
    EXPECT_EQ(unknown->GetTransferEncoding(), -1);
    EXPECT_EQ(FormatBody(*unknown), "as is");
    EXPECT_EQ(unknown->GetBodyLength(kNoCodePage, false), 5u);

    QzlTest::CLogCapture log;
    auto uuencoded = MakeContent("data", L"x-uuencode");
    EXPECT_THROW(FormatBody(*uuencoded), CException);
    EXPECT_THROW(uuencoded->GetBodyLength(kNoCodePage, false), CException);
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("Throwing exception at MimeContent\\.cpp, "
                                                         "Quenzal::Net::CMimeContent::GetBodyLength, line [0-9]+: "
                                                         "Emitting uuencoded data is not supported")));
}

TEST(MimeContainer, BoundaryAndEmptyContainers)
{
    CMimeContainer form(ContentTypeMultipartFormData);
    EXPECT_EQ(form.GetContentTypeText(), L"multipart/form-data");
    const std::string boundary = form.GetContentTypeHeader()->GetParameterValue(MimeParameterBoundary).ToAnsi();
    EXPECT_TRUE(std::regex_match(boundary, std::regex(Os::GetModuleBaseName().ToAnsi() + "_[0-9a-f]{32}")))
        << boundary;
    CMimeContainer other(ContentTypeMultipartFormData);
    EXPECT_NE(other.GetContentTypeHeader()->GetParameterValue(MimeParameterBoundary), StringW(boundary));

    // No parts: nothing to write, with or without a boundary.
    EXPECT_EQ(FormatBody(form), "");
    EXPECT_EQ(form.GetBodyLength(kNoCodePage, false), 0u);
    CMimeContainer bare;
    EXPECT_EQ(FormatBody(bare), "");
    EXPECT_EQ(bare.GetBodyLength(kNoCodePage, false), 0u);

    QzlTest::CLogCapture log;
    bare.SetParts({MakeContent("x")});
    CMemoryStream stream;
    EXPECT_THROW(bare.FormatBody(stream, kNoCodePage, false), CException);
    EXPECT_TRUE(stream.GetData().empty());
    EXPECT_THROW(bare.GetBodyLength(kNoCodePage, false), CException);
    EXPECT_TRUE(log.Contains("Quenzal::Net::CMimeContainer::FormatMultipartBody"));
    EXPECT_TRUE(log.Contains("No boundary set for multipart entity"));
}

TEST(MimeContainer, FilePartIsStreamedAndMeasuredWithoutReading)
{
    const StringW path = QzlTest::UniqueTempPath(L"mimefile");
    std::string fileBytes(1 << 20, '\0');
    for (size_t i = 0; i < fileBytes.size(); ++i)
        fileBytes[i] = static_cast<char>((i * 31) ^ (i >> 9));
    Os::WriteFileContents(path, fileBytes.data(), fileBytes.size());
    {
        auto file = std::make_shared<CCountingStreamable>(std::make_shared<Os::CFile>(path, Os::CFile::OpenRead));
        auto filePart = std::make_shared<CMimeContent>();
        filePart->SetContentType(ContentTypeApplicationOctetStream);
        auto disposition = filePart->GetContentDispositionHeader();
        disposition->SetType(ContentDispositionFormData);
        disposition->SetNameParameter(L"upload");
        disposition->SetFileName(L"big.bin");
        filePart->SetData(file);

        auto textPart = MakeContent("field value\r\n");
        textPart->GetContentDispositionHeader()->SetType(ContentDispositionFormData);
        textPart->GetContentDispositionHeader()->SetNameParameter(L"field");

        CMimeContainer form(ContentTypeMultipartFormData);
        form.SetParts({textPart, filePart});
        const uint64_t length = form.GetLength(kNoCodePage, false);
        EXPECT_EQ(file->Writes(), 0);
        EXPECT_GT(length, fileBytes.size());

        CRecordingStream stream;
        form.Format(stream, kNoCodePage, false);
        EXPECT_EQ(file->Writes(), 1);
        EXPECT_EQ(stream.Data().size(), length);
        EXPECT_EQ(stream.GetBytesWritten(), length);
        EXPECT_LE(stream.LargestWrite(), 64u * 1024);

        auto parsed = ContainerOf(ParseEntity(stream.Data()));
        ASSERT_TRUE(parsed);
        ASSERT_EQ(parsed->GetParts().size(), 2u);
        EXPECT_EQ(BodyOf(parsed->GetParts()[0]), "field value\r\n");
        EXPECT_EQ(parsed->GetParts()[1]->GetContentDispositionHeader()->GetFileName(), L"big.bin");
        EXPECT_TRUE(BodyOf(parsed->GetParts()[1]) == fileBytes);
    }
    ::DeleteFileW(path.c_str());
}

TEST(MimeMessage, BodyEntityCarriesTheHeaders)
{
    CTestMessage message(GetHttpHeaderFactory());
    message.SetHeaderValue("X-Kept", Value(std::wstring(L"1")));
    EXPECT_TRUE(std::dynamic_pointer_cast<CConnectionHeader>(message.CreateHeader("Connection")));

    // A new body takes the message's factory and the old body's headers.
    auto container = std::make_shared<CMimeContainer>(ContentTypeMultipartFormData);
    container->SetHeaderValue("X-Own", Value(std::wstring(L"2")));
    message.SetEntity(container);
    EXPECT_EQ(message.GetBody(), container);
    EXPECT_EQ(&container->GetHeaderFactory(), &GetHttpHeaderFactory());
    EXPECT_EQ(message.GetHeaderValue("X-Kept").GetStringW(), L"1");
    EXPECT_EQ(message.GetHeaderValue("X-Own").GetStringW(), L"2");
    EXPECT_EQ(message.GetContentTypeId(), ContentTypeMultipartFormData);
    EXPECT_TRUE(std::dynamic_pointer_cast<CCacheControlHeader>(container->CreateHeader("cache-control")));
    EXPECT_THROW(message.SetEntity(nullptr), CException);

    CTestMessage copy(GetMimeHeaderFactory());
    copy.AddHeaders(message, [](const IMimeHeaderContainer::HeaderPtr& header) {
        return header->GetName().rfind("X-", 0) == 0;
    });
    EXPECT_TRUE(copy.FindHeader("X-Kept"));
    EXPECT_TRUE(copy.FindHeader("X-Own"));
    EXPECT_FALSE(copy.FindHeader("Connection"));
    EXPECT_EQ(copy.FindHeader("X-Kept"), message.FindHeader("X-Kept"));
    copy.RemoveHeaders("X-Own");
    EXPECT_TRUE(message.FindHeader("X-Own"));

    CTestMessage parsed(GetMimeHeaderFactory());
    parsed.Parse(ReadData("net/data/mime/multipart-inner-linebreak.txt"));
    auto body = ContainerOf(parsed.GetBody());
    ASSERT_TRUE(body);
    EXPECT_EQ(body->GetParts().size(), 2u);
    parsed.ClearHeaders();
    EXPECT_FALSE(parsed.HasHeaders());
}

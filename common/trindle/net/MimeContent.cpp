#include "MimeContent.h"

#include "Buffer.h"
#include "ErrorReport.h"
#include "NameTables.h"
#include "NetEncoding.h"

namespace Quenzal::Net {

namespace {

bool IsQuotedPrintablePadding(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f';
}

} // namespace

CMimeContent::CMimeContent() = default;

CMimeContent::~CMimeContent() = default;

bool CMimeContent::HasData() const
{
    return m_data && m_data->GetLength() != 0;
}

int32_t CMimeContent::GetTransferEncoding() const
{
    HeaderPtr header = FindHeader("Content-Transfer-Encoding");
    StringW text;
    if (auto word = std::dynamic_pointer_cast<CWordMimeHeader>(header))
        text = word->GetText();
    else if (auto freeText = std::dynamic_pointer_cast<CUnstructuredMimeHeader>(header))
        text = freeText->GetText();
    if (text.empty())
        return -1;
    return GetContentTransferEncodingTable().LookupValue(text);
}

void CMimeContent::FormatBody(IOutStream& stream, uint32_t, bool) const
{
    if (!HasData())
        return;
    switch (GetTransferEncoding()) {
    case ContentTransferEncodingBase64:
        stream.Write(Base64Encode(StreamToString(*m_data), 78));
        break;
    case ContentTransferEncodingQuotedPrintable:
        stream.Write(QuotedPrintableEncode(StreamToString(*m_data)));
        break;
    case ContentTransferEncodingUuencode:
        QZL_THROW(QZL_FUNCTION, CException(L"Emitting uuencoded data is not supported"));
    default:
        // The data writes itself: a file goes out piece by piece.
        stream << *m_data;
        break;
    }
}

uint64_t CMimeContent::GetBodyLength(uint32_t, bool) const
{
    if (!HasData())
        return 0;
    switch (GetTransferEncoding()) {
    case ContentTransferEncodingBase64:
    case ContentTransferEncodingQuotedPrintable:
        return UnknownLength;
    case ContentTransferEncodingUuencode:
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Emitting uuencoded data is not supported"));
    default:
        return m_data->GetLength();
    }
}

void CMimeContent::ParseBody(const char* text, size_t length, const CMimeHeaderFactory&)
{
    if (text == nullptr)
        length = 0;
    std::string bytes;
    switch (GetTransferEncoding()) {
    case ContentTransferEncodingBase64:
        bytes = Base64Decode(text, length);
        break;
    case ContentTransferEncodingQuotedPrintable: {
        bytes = QuotedPrintableDecode(text, length);
        size_t first = 0;
        size_t last = bytes.size();
        while (first < last && IsQuotedPrintablePadding(bytes[first]))
            ++first;
        while (last > first && IsQuotedPrintablePadding(bytes[last - 1]))
            --last;
        bytes = bytes.substr(first, last - first);
        break;
    }
    case ContentTransferEncodingUuencode:
        bytes = Uudecode(text, length);
        break;
    default:
        if (length != 0)
            bytes.assign(text, length);
        break;
    }
    m_data = CBuffer::Create(std::move(bytes));
}

} // namespace Quenzal::Net

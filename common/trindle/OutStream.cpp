#include "OutStream.h"

#include "ErrorReport.h"
#include "MemoryStream.h"
#include "StreamingError.h"

namespace Quenzal {

void IOutStream::Write(const void* data, uint64_t length)
{
    try {
        if (!IsOpen())
            QZL_THROW(QZL_FUNCTION, CException(L"Operation cannot be performed on null stream"));
        if (length == 0)
            return;
        DoWrite(data, length);
        m_bytesWritten += length;
    } catch (const CStreamingError&) {
        throw;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        QZL_THROW(QZL_FUNCTION, CStreamWritingError(e.GetDescription()));
    }
}

IOutStream& operator<<(IOutStream& stream, const IStreamable& streamable)
{
    try {
        streamable.WriteTo(stream);
    } catch (const CStreamingError&) {
        throw;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::IOutStream::operator <<", e);
        QZL_THROW(L"Quenzal::IOutStream::operator <<", CStreamReadingError(e.GetDescription()));
    }
    return stream;
}

std::string StreamToString(const IStreamable& streamable)
{
    CMemoryStream stream;
    stream << streamable;
    return std::move(stream.GetData());
}

std::string StreamToString(const std::shared_ptr<const IStreamable>& streamable)
{
    if (!streamable)
        return std::string();
    return StreamToString(*streamable);
}

} // namespace Quenzal

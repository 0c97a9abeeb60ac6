#include "StreamUtil.h"

#include "ErrorReport.h"
#include "Logging.h"

#include <algorithm>

namespace Quenzal {

namespace {

constexpr ULONG kReadSize = 4096;

// A stream may report a size it does not have (a damaged store); reserving
// that much up front would fail with an allocation error no caller expects.
// Beyond this the string grows with what is really read.
constexpr uint64_t kMaxReserve = 64ull * 1024 * 1024;

// S_FALSE from Read only says that fewer bytes came than were asked for.
void CheckReadResult(HRESULT hr, const wchar_t* function, int line)
{
    if (hr != S_FALSE)
        CheckComResult(hr, __FILE__, function, line);
}

void CheckStream(IStream* stream, const wchar_t* function, int line)
{
    if (stream == nullptr)
        ThrowReported(CComError(E_POINTER), __FILE__, function, line);
}

// Appends what the stream gives from where it stands, until it ends or data
// holds limit bytes.
void ReadChunks(IStream* stream, std::string& data, uint64_t limit, const wchar_t* function)
{
    char buffer[kReadSize];
    while (data.size() < limit) {
        const ULONG wanted = static_cast<ULONG>(std::min<uint64_t>(kReadSize, limit - data.size()));
        ULONG count = 0;
        CheckReadResult(stream->Read(buffer, wanted, &count), function, __LINE__);
        if (count == 0)
            break;
        data.append(buffer, count);
    }
}

} // namespace

void SetStreamPosition(IStream* stream)
{
    CheckStream(stream, L"Quenzal::SetStreamPosition", __LINE__);
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr));
}

std::string GetStreamContents(IStream* stream)
{
    CheckStream(stream, L"Quenzal::GetStreamContents", __LINE__);
    STATSTG statistics{};
    const HRESULT hr = stream->Stat(&statistics, STATFLAG_NONAME);
    if (hr == E_NOTIMPL) {
        SetStreamPosition(stream);
        std::string data;
        ReadChunks(stream, data, UINT64_MAX, L"Quenzal::GetStreamContents");
        return data;
    }
    QZL_CHECK_COM_RESULT(QZL_FUNCTION, hr);

    const uint64_t size = statistics.cbSize.QuadPart;
    if (size == 0)
        return std::string();
    if (size > std::string().max_size())
        QZL_THROW(QZL_FUNCTION,
                  CException(L"Size of stream exceeds the maximum size of std::string"));
    return ReadFromStream(stream, size);
}

std::string ReadFromStream(IStream* stream, uint64_t length)
{
    std::string data;
    if (length == 0)
        return data;
    SetStreamPosition(stream);
    data.reserve(static_cast<size_t>(std::min(length, kMaxReserve)));
    ReadChunks(stream, data, length, L"Quenzal::ReadFromStream");
    return data;
}

} // namespace Quenzal

#include "CodePageConversion.h"

#include "Charsets.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "MLang.h"
#include "Util.h"
#include "Utf7.h"

#include <climits>
#include <set>

namespace Quenzal::Os {

namespace {

constexpr uint32_t kUtf16 = 1200;
constexpr uint32_t kUtf7 = 65000;
constexpr uint32_t kUtf8 = 65001;
constexpr uint32_t kAnsi = 0xFFFFFFFF;

// Raises like QZL_THROW, but leaves the thread's last error as the converter
// left it: the caller reports that error when no fallback remains.
[[noreturn]] void ThrowConverterError(HRESULT hr, const wchar_t* function, int line)
{
    DWORD lastError = ::GetLastError();
    CComError error(hr);
    ReportException(L"Throwing exception", __FILE__, function, line, error.GetDescription());
    ::SetLastError(lastError);
    throw error;
}

StringW ConvertWithMLang(const char* bytes, size_t length, uint32_t codePage)
{
    static const wchar_t* const kFunction = L"Quenzal::Os::ConvertAnsiToUnicode";
    const MLangLibrary& mlang = GetMLangLibrary();
    ::SetLastError(0);
    if (mlang.convertINetMultiByteToUnicode == nullptr)
        ThrowConverterError(E_NOTIMPL, kFunction, __LINE__);
    if (length > INT_MAX)
        ThrowConverterError(E_INVALIDARG, kFunction, __LINE__);

    INT sourceCount = static_cast<INT>(length);
    INT needed = 0;
    HRESULT hr = mlang.convertINetMultiByteToUnicode(nullptr, codePage, bytes, &sourceCount, nullptr, &needed);
    if (FAILED(hr))
        ThrowConverterError(hr, kFunction, __LINE__);
    if (hr != S_OK)
        ReportNonSuccess(hr, __FILE__, kFunction, __LINE__);

    StringW result;
    if (needed <= 0)
        return result;
    result.resize(static_cast<size_t>(needed));
    sourceCount = static_cast<INT>(length);
    INT written = needed;
    hr = mlang.convertINetMultiByteToUnicode(nullptr, codePage, bytes, &sourceCount, result.data(), &written);
    if (FAILED(hr))
        ThrowConverterError(hr, kFunction, __LINE__);
    if (hr != S_OK)
        ReportNonSuccess(hr, __FILE__, kFunction, __LINE__);
    result.resize(written > 0 ? std::min(static_cast<size_t>(written), result.size()) : 0);
    return result;
}

std::string ConvertWithMLang(const wchar_t* text, size_t length, uint32_t codePage)
{
    static const wchar_t* const kFunction = L"Quenzal::Os::ConvertUnicodeToAnsi";
    const MLangLibrary& mlang = GetMLangLibrary();
    if (mlang.convertINetUnicodeToMultiByte == nullptr)
        QZL_THROW(kFunction, CComError(E_NOTIMPL));
    if (length > INT_MAX)
        QZL_THROW(kFunction, CComError(E_INVALIDARG));

    INT sourceCount = static_cast<INT>(length);
    INT needed = 0;
    HRESULT hr = mlang.convertINetUnicodeToMultiByte(nullptr, codePage, text, &sourceCount, nullptr, &needed);
    if (FAILED(hr))
        QZL_THROW(kFunction, CComError(hr));
    if (hr != S_OK)
        ReportNonSuccess(hr, __FILE__, kFunction, __LINE__);

    std::string result;
    if (needed <= 0)
        return result;
    result.resize(static_cast<size_t>(needed));
    sourceCount = static_cast<INT>(length);
    INT written = needed;
    hr = mlang.convertINetUnicodeToMultiByte(nullptr, codePage, text, &sourceCount, result.data(), &written);
    if (FAILED(hr))
        QZL_THROW(kFunction, CComError(hr));
    if (hr != S_OK)
        ReportNonSuccess(hr, __FILE__, kFunction, __LINE__);
    result.resize(written > 0 ? std::min(static_cast<size_t>(written), result.size()) : 0);
    return result;
}

bool TryWideCharToMultiByte(const wchar_t* text, size_t length, uint32_t codePage, std::string& out)
{
    if (length > INT_MAX) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    int count = static_cast<int>(length);
    int needed = ::WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return false;
    out.assign(static_cast<size_t>(needed), '\0');
    int written = ::WideCharToMultiByte(codePage, 0, text, count, out.data(), needed, nullptr, nullptr);
    if (written <= 0)
        return false;
    out.resize(static_cast<size_t>(written));
    return true;
}

// The platform's fallbacks in a fixed order, after the converter failed or
// was never asked.
std::string ConvertWithFallbacks(const wchar_t* text, size_t length, uint32_t* codePage, int firstAttempt)
{
    const uint32_t requested = *codePage;
    const uint32_t attempts[] = {Net::GetFallbackCodePage(requested), kUtf8, ::GetACP(), 1252};
    std::set<uint32_t> failed;
    DWORD lastError = 0;
    for (int attempt = firstAttempt; attempt < 4; ++attempt) {
        uint32_t candidate = attempts[attempt];
        if (candidate == kAnsi || failed.count(candidate) != 0)
            continue;
        std::string out;
        if (TryWideCharToMultiByte(text, length, candidate, out)) {
            if (attempt > firstAttempt) {
                Logging::LogFormat(Logging::Warning, L"Used codepage %s instead of %s to convert Unicode to multibyte",
                                   DescribeCodePage(candidate).c_str(), DescribeCodePage(requested).c_str());
            }
            *codePage = candidate;
            return out;
        }
        lastError = ::GetLastError();
        Logging::LogFormat(Logging::Warning, L"Failed to convert from Unicode to multibyte using codepage %s (%s)",
                           DescribeCodePage(candidate).c_str(), GetErrorText(lastError).c_str());
        failed.insert(candidate);
    }

    StringW list;
    for (uint32_t candidate : failed) {
        if (!list.empty())
            list.append(L", ");
        list.AppendFormat(L"%u", candidate);
    }
    Logging::LogFormat(Logging::Error,
                       L"Unable to convert Unicode string to ANSI using any of the following codepages: {%s} (%s)",
                       list.c_str(), GetErrorText(lastError).c_str());
    *codePage = 1252;
    return ConvertToAscii(std::wstring(text, length));
}

} // namespace

StringW ConvertAnsiToUnicode(const char* bytes, size_t length, uint32_t codePage)
{
    if (bytes == nullptr || length == 0 || bytes[0] == '\0')
        return StringW();

    if (codePage == kUtf16) {
        Logging::Log(Logging::Warning, L"Multibyte string is of codepage 1200 (UTF-16); interpreting as UTF-16");
        if (length % 2 != 0) {
            QZL_THROW(QZL_FUNCTION,
                      CException(L"Unable to construct StringW from data of length " + FormatByteSize(length)));
        }
        StringW result(length / 2, L'\0');
        memcpy(result.data(), bytes, length);
        return result;
    }
    if (codePage == kUtf7)
        return Net::ConvertUtf7ToUtf16(bytes, length);
    if (codePage == kAnsi)
        return ConvertAnsiToUnicode(bytes, length, ::GetACP());

    try {
        return ConvertWithMLang(bytes, length, codePage);
    } catch (const CException& e) {
        DWORD lastError = ::GetLastError();
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
        uint32_t fallback = Net::GetFallbackCodePage(codePage);
        if (fallback != Net::kNoCodePage && fallback != codePage) {
            Logging::LogFormat(
                Logging::Warning,
                L"Failed to convert from multibyte to Unicode using codepage %u; retrying with codepage %u", codePage,
                fallback);
            return ConvertAnsiToUnicode(bytes, length, fallback);
        }
        if (lastError != 0)
            QZL_THROW(QZL_FUNCTION, CWinError(lastError, nullptr));
        throw;
    }
}

std::string ConvertUnicodeToAnsi(const wchar_t* text, size_t length, uint32_t* codePage)
{
    if (text == nullptr || length == 0)
        return std::string();
    uint32_t ignored = kAnsi;
    if (codePage == nullptr)
        codePage = &ignored;

    if (*codePage == kUtf7)
        return Net::ConvertUtf16ToUtf7(text, length);
    if (*codePage == kUtf16)
        return ConvertWithFallbacks(text, length, codePage, 1);
    if (*codePage == kAnsi)
        *codePage = ::GetACP();

    try {
        return ConvertWithMLang(text, length, *codePage);
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
    return ConvertWithFallbacks(text, length, codePage, 0);
}

std::string ConvertUnicodeToAnsi(const StringW& text, uint32_t* codePage)
{
    return ConvertUnicodeToAnsi(text.data(), text.size(), codePage);
}

} // namespace Quenzal::Os

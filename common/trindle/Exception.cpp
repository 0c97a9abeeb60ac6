#include "Exception.h"

#include "ErrorReport.h"
#include "Logging.h"

#include <cerrno>
#include <cstdlib>
#include <cwctype>
#include <map>
#include <utility>

namespace Quenzal {

CException::CException(const std::string& utf8)
{
    m_message.SetAnsi(utf8.data(), utf8.size(), CP_UTF8);
}

CException::CException(const char* utf8)
{
    if (utf8 != nullptr)
        m_message.SetAnsi(utf8, StringW::npos, CP_UTF8);
}

CException::CException(const wchar_t* text) : m_message(text) {}

CException::CException(const std::wstring& text) : m_message(text) {}

const char* CException::what() const noexcept
{
    try {
        m_narrow = GetDescription().GetAnsi(CP_UTF8);
    } catch (...) {
        m_narrow.clear();
    }
    return m_narrow.c_str();
}

StringW CException::GetDescription() const
{
    return m_message;
}

DWORD CException::GetErrorCode() const
{
    return 0;
}

HRESULT CException::GetHResult() const
{
    return E_FAIL;
}

bool CException::IsUserMessage() const
{
    return m_userMessage;
}

void CException::SetUserMessage(bool userMessage)
{
    m_userMessage = userMessage;
}

CComError::CComError(HRESULT hr, const wchar_t* context) : m_hr(hr), m_context(context) {}

StringW CComError::GetDescription() const
{
    StringW text(m_hr < 0 ? L"Failure during COM call: " : L"Non-success condition during COM call: ");
    text.append(GetErrorText(static_cast<DWORD>(m_hr)));
    return CombineMessage(text, m_context);
}

CWinError::CWinError() : m_code(::GetLastError()) {}

CWinError::CWinError(const wchar_t* context) : m_code(::GetLastError()), m_context(context) {}

CWinError::CWinError(DWORD code, const wchar_t* context) : m_code(code), m_context(context) {}

StringW CWinError::GetDescription() const
{
    return CombineMessage(GetErrorText(m_code), m_context);
}

HRESULT CWinError::GetHResult() const
{
    if (m_code == 0)
        return E_FAIL;
    if (static_cast<LONG>(m_code) < 0)
        return static_cast<HRESULT>(m_code);
    return static_cast<HRESULT>(0x80070000u | (m_code & 0xFFFFu));
}

CCrtError::CCrtError(const wchar_t* context) : m_errno(errno), m_context(context) {}

CCrtError::CCrtError(int errorNumber, const wchar_t* context) : m_errno(errorNumber), m_context(context) {}

StringW CCrtError::GetDescription() const
{
    StringW text;
    if (m_errno == 0) {
        text = L"Failure during CRT call but no error code available";
    } else {
        wchar_t buffer[1024] = {};
        if (_wcserror_s(buffer, 1024, m_errno) == 0 && buffer[0] != L'\0')
            text = StringW::Format(L"Failure during CRT call: %s (%d)", buffer, m_errno);
        else
            text = StringW::Format(L"Failure during CRT call (%d)", m_errno);
    }
    return CombineMessage(text, m_context);
}

namespace {

using ErrorNameTable = std::map<DWORD, const wchar_t*>;

void DestroyErrorNameTable();

ErrorNameTable*& ErrorNameTablePointer()
{
    static ErrorNameTable* table = nullptr;
    return table;
}

// Built on first use (normally during module load, on one thread) and
// read-only afterwards, so it needs no lock.
ErrorNameTable& ErrorNames()
{
    ErrorNameTable*& table = ErrorNameTablePointer();
    if (table == nullptr) {
        table = new ErrorNameTable{
            {0xC0000005, L"Exception: access violation"},
            {0x80000002, L"Exception: datatype misalignment"},
            {0xC000008C, L"Exception: array bounds exceeded"},
            {0xC000008D, L"Exception: flat denormal operand"},
            {0xC000008E, L"Exception: float divide by zero"},
            {0xC000008F, L"Exception: float inexact result"},
            {0xC0000090, L"Exception: float invalid operation"},
            {0xC0000091, L"Exception: float overflow"},
            {0xC0000093, L"Exception: float underflow"},
            {0xC0000094, L"Exception: int divide by zero"},
            {0xC0000095, L"Exception: int overflow"},
            {0xC0000096, L"Exception: privileged instruction"},
            {0xC0000006, L"Exception: in page error"},
            {0xC000001D, L"Exception: illegal instruction"},
            {0xC0000025, L"Exception: noncontinuable construction"},
            {0xC00000FD, L"Exception: stack overflow"},
            {0xC0000026, L"Exception: invalid disposition"},
            {0x80000001, L"Exception: guard page"},
            {0xC0000008, L"Exception: invalid handle"},
            {0xC000013A, L"Exception: CTRL + C exit"},
        };
        atexit(DestroyErrorNameTable);
    }
    return *table;
}

void DestroyErrorNameTable()
{
    delete std::exchange(ErrorNameTablePointer(), nullptr);
}

} // namespace

void RegisterErrorCodeName(DWORD code, const wchar_t* name)
{
    ErrorNames()[code] = name;
}

StringW GetErrorCodeName(DWORD code)
{
    const ErrorNameTable& table = ErrorNames();
    auto it = table.find(code);
    if (it == table.end() || it->second == nullptr)
        return StringW();
    return StringW(it->second);
}

StringW FormatDecimal(DWORD code)
{
    return StringW::Format(L"%d", static_cast<int>(code));
}

StringW FormatErrorCode(DWORD code)
{
    if ((code & 0xFFFF0000u) == 0)
        return FormatDecimal(code);
    return StringW::Format(L"0x%X", code);
}

StringW GetErrorText(DWORD code)
{
    StringW text = GetErrorCodeName(code);
    if (text.empty()) {
        wchar_t buffer[1024] = {};
        DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        0x400, buffer, 1024, nullptr);
        if (length != 0) {
            text.assign(buffer, length < 1024 ? length : 1023);
            text.TrimRight();
        }
    }
    if (text.empty())
        return FormatErrorCode(code);
    text.AppendFormat(L" [%s]", FormatErrorCode(code).c_str());
    return text;
}

StringW CombineMessage(const std::wstring& left, const std::wstring& right)
{
    StringW result(left);
    if (!right.empty()) {
        result.append(L": ");
        result.append(right);
    }
    return result;
}

StringW SourceFileName(const char* path)
{
    std::string p(path != nullptr ? path : "");
    while (!p.empty() && (p.back() == '/' || p.back() == '\\'))
        p.pop_back();
    size_t slash = p.find_last_of("/\\");
    if (slash != std::string::npos)
        p.erase(0, slash + 1);
    return StringW::FromAnsi(p, CP_UTF8);
}

StringW FormatReportLine(const wchar_t* event, const char* file, const wchar_t* function, int line,
                         const std::wstring& description)
{
    return StringW::Format(L"%s at %s, %s, line %d: %s", event, SourceFileName(file).c_str(),
                           function != nullptr ? function : L"", line, description.c_str());
}

void ReportException(const wchar_t* event, const char* file, const wchar_t* function, int line,
                     const std::wstring& description)
{
    Logging::Log(Logging::Exception, FormatReportLine(event, file, function, line, description).c_str());
}

void CheckComResult(HRESULT hr, const char* file, const wchar_t* function, int line)
{
    if (FAILED(hr))
        ThrowReported(CComError(hr), file, function, line);
    if (hr != S_OK)
        ReportNonSuccess(hr, file, function, line);
}

void ReportNonSuccess(HRESULT hr, const char* file, const wchar_t* function, int line)
{
    Logging::Log(Logging::Warning, FormatReportLine(L"Non-success condition during COM call", file, function, line,
                                                    GetErrorText(static_cast<DWORD>(hr)))
                                       .c_str());
}

} // namespace Quenzal

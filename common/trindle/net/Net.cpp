#include "Net.h"

#include "CodePageConversion.h"
#include "ErrorReport.h"
#include "Guid.h"
#include "Modules.h"
#include "NetEncoding.h"
#include "Util.h"

#include <atomic>

namespace Quenzal::Net {

bool IsEmailAddress(const std::wstring& text)
{
    size_t at = text.find(L'@');
    return at != std::wstring::npos && at >= 1 && at + 1 < text.size();
}

bool IsAscii(const std::wstring& text)
{
    for (wchar_t ch : text) {
        if (ch >= 0x80)
            return false;
    }
    return true;
}

StringW ConvertToUnicode(const std::string& text, uint32_t codePage)
{
    return Os::ConvertAnsiToUnicode(text.data(), text.size(), codePage);
}

std::string CreateUniqueBoundary()
{
    return StringA::Format("%s_%s", Os::GetModuleBaseName().ToAnsi().c_str(), CreateGuidHexString().c_str());
}

size_t FindBoundaryLine(const char* data, size_t length, const std::string& delimiter, size_t& matchedLength)
{
    matchedLength = 0;
    if (data == nullptr || delimiter.empty())
        return std::string::npos;
    size_t position = 0;
    while (position < length) {
        const char* found = FindBytes(data + position, length - position, delimiter.data(), delimiter.size());
        if (found == nullptr)
            return std::string::npos;
        const size_t start = static_cast<size_t>(found - data);
        if (start == 0 || data[start - 1] == '\n') {
            const size_t after = start + delimiter.size();
            size_t i = after;
            for (; i < length; ++i) {
                char ch = data[i];
                if (ch == '\0' || ch == '\n') {
                    matchedLength = delimiter.size() + (i - after) + 1;
                    return start;
                }
                if (ch != ' ' && ch != '\t' && ch != '\r')
                    break;
            }
            if (i == length) {
                matchedLength = delimiter.size() + (i - after);
                return start;
            }
        }
        position = start + 1;
    }
    return std::string::npos;
}

void AddQueryParameter(QueryParameters& parameters, const std::string& name, const std::wstring& value)
{
    if (name.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Parameter name required"));
    if (value.empty())
        return;
    parameters.emplace(name, StringW(value).ToUtf8());
}

void SetQueryParameter(QueryParameters& parameters, const std::string& name, const std::wstring& value)
{
    if (name.empty())
        QZL_THROW(QZL_FUNCTION, CException(L"Parameter name required"));
    parameters.erase(name);
    AddQueryParameter(parameters, name, value);
}

void ParseQueryString(const std::string& text, QueryParameters& parameters)
{
    size_t position = 0;
    while (position < text.size()) {
        size_t equals = text.find('=', position);
        std::string name = text.substr(position, equals == std::string::npos ? std::string::npos : equals - position);
        if (name.empty())
            break;
        position = equals == std::string::npos ? text.size() : equals + 1;
        size_t ampersand = text.find('&', position);
        std::string value =
            text.substr(position, ampersand == std::string::npos ? std::string::npos : ampersand - position);
        position = ampersand == std::string::npos ? text.size() : ampersand + 1;
        parameters.emplace(std::move(name), UrlDecode(value));
    }
}

std::string FormatQueryString(const QueryParameters& parameters, const MaskedNames* maskedNames)
{
    std::string text;
    for (const auto& [name, value] : parameters) {
        if (!text.empty())
            text.push_back('&');
        text.append(name);
        text.push_back('=');
        if (maskedNames != nullptr && maskedNames->count(name) != 0)
            text.append("********");
        else
            text.append(UrlEncode(value));
    }
    return text;
}

namespace {

std::atomic<bool> g_socketsInitialized{false};

} // namespace

void InitializeSockets()
{
    if (g_socketsInitialized)
        return;
    WSADATA data;
    int result = ::WSAStartup(MAKEWORD(2, 0), &data);
    if (result != 0)
        QZL_THROW(QZL_FUNCTION, CWinError(static_cast<DWORD>(result), L""));
    g_socketsInitialized = true;
}

CIpAddress ResolveHostname(const std::wstring& hostText, unsigned short defaultPort)
{
    StringW host(hostText);
    unsigned short port = defaultPort;
    StringW portText = GetLastToken(hostText, L':', false);
    if (!portText.empty()) {
        port = static_cast<unsigned short>(_wtoi(portText.c_str()));
        if (port == 0)
            QZL_THROW(QZL_FUNCTION, CException(L"Invalid port in hostname: " + StringW(hostText)));
        host = StringW(hostText.substr(0, hostText.rfind(L':')));
    }

    CIpAddress endpoint;
    if (host == L"*") {
        sockaddr_in& address = endpoint.GetAddress();
        address.sin_family = AF_INET;
        address.sin_port = ::htons(port);
        address.sin_addr.s_addr = INADDR_ANY;
        return endpoint;
    }
    endpoint.Resolve(host.ToAnsi(), port);
    return endpoint;
}

} // namespace Quenzal::Net

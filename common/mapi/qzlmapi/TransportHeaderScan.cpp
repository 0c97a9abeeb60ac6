#include "TransportHeaderScan.h"

#include "Logging.h"

#include <optional>

namespace Quenzal::Mapi {
namespace {

char AsciiLower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// No blank may stand before the colon, so "X-Quenzal-URL :" is no match.
std::optional<std::string_view> ValueOf(std::string_view line, std::string_view name)
{
    if (line.size() <= name.size() || line[name.size()] != ':')
        return std::nullopt;
    for (size_t i = 0; i < name.size(); ++i) {
        if (AsciiLower(line[i]) != AsciiLower(name[i]))
            return std::nullopt;
    }
    return line.substr(name.size() + 1);
}

} // namespace

void ScanHeaderLines(std::string_view block, std::span<const char* const> names,
                     const std::function<bool(size_t, std::string_view)>& visit)
{
    for (size_t start = 0; start <= block.size();) {
        size_t end = block.find('\n', start);
        std::string_view line = block.substr(start, end == std::string_view::npos ? end : end - start);
        for (size_t index = 0; index < names.size(); ++index) {
            if (auto value = ValueOf(line, names[index])) {
                if (!visit(index, *value))
                    return;
                break;
            }
        }
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
}

QuenzalHeaders ScanQuenzalHeaders(const std::string& block)
{
    QuenzalHeaders headers;
    StringW* fields[] = {&headers.Url, &headers.DebugId};
    ScanHeaderLines(block, QuenzalHeaderNames, [&](size_t index, std::string_view value) {
        if (fields[index]->empty())
            *fields[index] = StringW(std::string(value)).Trimmed();
        return headers.Url.empty() || headers.DebugId.empty();
    });
    if (headers.Url.empty() || headers.DebugId.empty()) {
        Logging::Log(Logging::Trace, L"Unable to locate the X-Quenzal-URL and X-QRX-Debug-ID headers; "
                                     L"complete headers to follow");
        Logging::LogRawA(Logging::Trace, block.c_str());
    }
    return headers;
}

AuthenticationProbeProps ScanAuthenticationProbeProps(const std::string& block)
{
    AuthenticationProbeProps props;
    bool filled[AuthenticationProbeHeaderNames.size()] = {};
    ScanHeaderLines(block, AuthenticationProbeHeaderNames, [&](size_t index, std::string_view raw) {
        // The nearest hop stamps first: an older line further down, or an
        // empty one, never replaces what it wrote.
        if (filled[index])
            return true;
        StringA value{std::string(raw)};
        value.Trim();
        filled[index] = !value.empty();
        if (index == 2)
            props.StubbingEnabled = value == "Yes";
        else
            (index == 0 ? props.ClientId : props.ValidationToken) = StringW(value);
        return !(filled[0] && filled[1] && filled[2]);
    });
    if (!AreAuthenticationProbePropsValid(props)) {
        Logging::Log(Logging::Debug, L"Unable to locate the X-Quenzal-Client-Id and X-Quenzal-Addin-Validation-Token "
                                     L"headers; complete headers to follow");
        Logging::LogRawA(Logging::Debug, block.c_str());
    }
    return props;
}

} // namespace Quenzal::Mapi

#include "MessageHeaders.h"

#include "ErrorReport.h"
#include "InternetHeader.h"
#include "Logging.h"
#include "MapiProps.h"
#include "NxoMapi.h"
#include "PropValue.h"
#include "StreamUtil.h"
#include "TransportHeaderScan.h"

#include <vector>

namespace Quenzal::Mapi {
namespace {

// The header values the store keeps as named properties, read as narrow
// text in the order of the names; empty where a header is missing.
template <size_t N>
std::array<std::string, N> QueryNamedHeaders(IMessage* message, const std::array<const char*, N>& names,
                                             const MapiCallSite& site)
{
    std::vector<StringW> wideNames(names.begin(), names.end());
    CMapiBuffer<SPropTagArray> tags = GetInternetHeaderTags(message, wideNames, site);
    for (ULONG i = 0; i < tags.Get()->cValues; ++i)
        tags.Get()->aulPropTag[i] = CHANGE_PROP_TYPE(tags.Get()->aulPropTag[i], PT_STRING8);
    CPropValues values = GetPropsAt(message, tags.Get(), 0, site);
    std::array<std::string, N> texts;
    for (ULONG i = 0; i < N; ++i) {
        const SPropValue* value = values.At(i);
        if (value != nullptr && PROP_TYPE(value->ulPropTag) == PT_STRING8 && value->Value.lpszA != nullptr)
            texts[i] = value->Value.lpszA;
    }
    return texts;
}

std::string ReadTransportHeaders(IMessage* message, const wchar_t* function)
{
    IUnknown* stream = nullptr;
    HRESULT hr = message->OpenProperty(PR_TRANSPORT_MESSAGE_HEADERS_A, &IID_IStream, 0, 0, &stream);
    CInterfacePtr<IStream> held(SUCCEEDED(hr) ? static_cast<IStream*>(stream) : nullptr, false);
    CheckMapiResult(hr, message, MapiCallKind::Ordinary, MapiCallSite{__FILE__, function, __LINE__});
    return GetStreamContents(held.GetInterfacePtr());
}

} // namespace

QuenzalHeaders QueryNamedQuenzalHeaders(IMessage* message)
{
    auto texts = QueryNamedHeaders(message, QuenzalHeaderNames,
                                   MapiCallSite{__FILE__, L"Quenzal::Mapi::QueryNamedQuenzalHeaders", __LINE__});
    return QuenzalHeaders{StringW(texts[0]), StringW(texts[1])};
}

AuthenticationProbeProps QueryAuthenticationProbeProps(IMessage* message)
{
    auto texts = QueryNamedHeaders(message, AuthenticationProbeHeaderNames,
                                   MapiCallSite{__FILE__, L"Quenzal::Mapi::QueryAuthenticationProbeProps", __LINE__});
    // Untrimmed: a stored "Yes " is not "Yes".
    return AuthenticationProbeProps{StringW(texts[0]), StringW(texts[1]), texts[2] == "Yes"};
}

QuenzalHeaders ParseQuenzalHeadersFromTransportHeaders(IMessage* message)
{
    return ScanQuenzalHeaders(
        ReadTransportHeaders(message, L"Quenzal::Mapi::ParseQuenzalHeadersFromTransportHeaders"));
}

AuthenticationProbeProps ParseAuthenticationProbePropsFromTransportHeaders(IMessage* message)
{
    return ScanAuthenticationProbeProps(
        ReadTransportHeaders(message, L"Quenzal::Mapi::ParseAuthenticationProbePropsFromTransportHeaders"));
}

QuenzalHeaders GetQuenzalHeaders(IMessage* message, bool required)
{
    try {
        QuenzalHeaders named = QueryNamedQuenzalHeaders(message);
        if (AreQuenzalHeadersValid(named))
            return named;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::Mapi::GetQuenzalHeaders", e);
    }
    QuenzalHeaders scanned = ParseQuenzalHeadersFromTransportHeaders(message);
    if (required && !AreQuenzalHeadersValid(scanned))
        QZL_THROW(L"Quenzal::Mapi::GetQuenzalHeaders", CException(L"Message is missing required Quenzal headers"));
    return scanned;
}

QuenzalMessageProps GetQuenzalMessageProps(IMessage* message, bool required)
{
    QuenzalHeaders headers = GetQuenzalHeaders(message, required);
    QuenzalMessageProps props{headers.Url, headers.DebugId, {}};
    try {
        props.ReceivedBySmtpAddress = GetMessageReceivedBySmtpAddress(message);
    } catch (const CException& e) {
        Logging::Log(Logging::Warning,
                     (L"Unable to determine envelope recipient; using profile's default SMTP address: " +
                      e.GetDescription()).c_str());
        props.ReceivedBySmtpAddress = GetUserSmtpAddress();
    }
    if (required && !IsCompleteQuenzalMessageProps(props))
        QZL_THROW(L"Quenzal::Mapi::GetQuenzalMessageProps",
                  CException(L"Message is missing required Quenzal headers"));
    return props;
}

AuthenticationProbeProps GetAuthenticationProbeProps(IMessage* message)
{
    try {
        AuthenticationProbeProps named = QueryAuthenticationProbeProps(message);
        if (AreAuthenticationProbePropsValid(named))
            return named;
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::Mapi::GetAuthenticationProbeProps", e);
    }
    AuthenticationProbeProps scanned = ParseAuthenticationProbePropsFromTransportHeaders(message);
    if (!AreAuthenticationProbePropsValid(scanned))
        QZL_THROW(L"Quenzal::Mapi::GetAuthenticationProbeProps", CException(L"Message is missing required headers"));
    return scanned;
}

StringW GetMessageSubject(IMessage* message)
{
    try {
        LPSPropValue value = nullptr;
        HRESULT hr = Mapi::HrGetOneProp(message, PR_SUBJECT_W, &value);
        CMapiBuffer<SPropValue> held = TakeMapiBuffer(hr, value);
        if (hr == MAPI_E_NOT_FOUND)
            return {};
        QZL_CHECK_MAPI_RESULT(L"Quenzal::Mapi::GetMessageSubject", message, hr);
        Value subject = PropValueToValue(held.Get());
        return ValueToStringW(subject);
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(L"Quenzal::Mapi::GetMessageSubject", e);
        return {};
    }
}

} // namespace Quenzal::Mapi

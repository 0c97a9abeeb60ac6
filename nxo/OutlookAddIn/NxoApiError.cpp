#include "NxoApiError.h"

#include "AsyncHttpRequestContext.h"
#include "HttpResponse.h"
#include "Localization.h"
#include "Logging.h"
#include "NxoErrorBox.h"

using namespace Quenzal;

namespace {

constexpr int LidFeatureDisabled = 5;
constexpr int LidContactAdministrator = 245;
constexpr int LidUnexpectedResponse = 318;
constexpr int LidCommunicationError = 319;
constexpr int LidFirmwareTooOld = 376;

} // namespace

CNxoApiError::CNxoApiError(const std::shared_ptr<Net::CAsyncHttpRequestContext>& context) : m_context(context) {}

bool CNxoApiError::IsSocketFailure() const
{
    return m_context->HasException() && Net::CAsyncHttpRequestContext::IsSocketError(m_context->GetException());
}

StringW CNxoApiError::GetDescription() const
{
    if (m_context->IsCanceled())
        return L"Request canceled";
    if (IsSocketFailure())
        return L"Network error";
    StringW status = m_context->GetStatusText();
    if (status.empty() && m_context->HasException()) {
        // No answer for another reason (TLS, a malformed answer): say which.
        try {
            m_context->RethrowException();
        } catch (const CException& e) {
            return e.GetDescription();
        } catch (const std::exception& e) {
            return StringW(std::string(e.what()));
        } catch (...) {
        }
    }
    return status;
}

DWORD CNxoApiError::GetErrorCode() const
{
    return m_context->GetStatusCode();
}

StringW CNxoApiError::GetUserMessage() const
{
    if (m_context->IsCanceled())
        return StringW();
    if (IsSocketFailure())
        return GetLocalizedMessage(LidCommunicationError);
    const DWORD status = m_context->GetStatusCode();
    if (status == 403)
        return GetLocalizedMessage(LidFeatureDisabled);
    if (status == 404 || status == 502)
        return GetLocalizedMessage(LidFirmwareTooOld) + L"\r\n\r\n" + GetLocalizedMessage(LidContactAdministrator) +
               L"\r\n";
    if (status == 560) {
        // The appliance's own words come in the status line, never the body.
        auto response = m_context->GetResponse();
        if (response && !response->GetReason().empty())
            return GetLocalizedMessage(LidUnexpectedResponse) + L":\r\n\r\n" +
                   StringW::FromAnsi(response->GetReason(), CP_ACP);
    }
    return GetLocalizedMessage(LidUnexpectedResponse);
}

void CNxoApiError::ShowUserMessage(HWND owner) const
{
    StringW text = GetUserMessage();
    if (text.empty())
        return;
    Logging::Log(Logging::Error, text.c_str());
    ShowNxoErrorBox(owner, text);
}

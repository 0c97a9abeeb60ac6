#include "HttpRequest.h"
#include "KvdRequest.h"

#include <windows.h>

#include <algorithm>

namespace {

// Each move waits for the dialog's own thread to draw it; four a second keep
// the bar moving without holding up the upload.
constexpr uint64_t ProgressIntervalMilliseconds = 250;

} // namespace

void CKvdUploadNotifier::OnSendingRequest(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request)
{
    m_total = request->GetBodyLength(CP_UTF8);
    m_sent = 0;
    m_lastShown = ::GetTickCount64();
    if (m_progressDialog)
        m_progressDialog->SetProgress64(0, m_total);
}

void CKvdUploadNotifier::OnDataSent(const void* /*data*/, uint64_t length)
{
    m_sent += length;
    const uint64_t now = ::GetTickCount64();
    if (!m_progressDialog || (now - m_lastShown < ProgressIntervalMilliseconds && m_sent < m_total))
        return;
    m_lastShown = now;
    m_progressDialog->SetProgress64(std::min(m_sent, m_total), m_total);
}

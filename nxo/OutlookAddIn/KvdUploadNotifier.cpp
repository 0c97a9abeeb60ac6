#include "HttpRequest.h"
#include "KvdRequest.h"

#include <algorithm>

void CKvdUploadNotifier::OnSendingRequest(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request)
{
    m_total = request->GetBodyLength(CP_UTF8);
    m_sent = 0;
    if (m_progressDialog)
        m_progressDialog->SetProgress64(0, m_total);
}

void CKvdUploadNotifier::OnDataSent(const void* /*data*/, uint64_t length)
{
    m_sent += length;
    if (m_progressDialog)
        m_progressDialog->SetProgress64(std::min(m_sent, m_total), m_total);
}

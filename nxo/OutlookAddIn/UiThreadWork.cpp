#include "UiThreadWork.h"

#include "AddInBusy.h"
#include "CaughtException.h"
#include "ErrorReport.h"
#include "OutlookAddIn.h"

#include <utility>

using namespace Quenzal;

void CUiThreadWork::Initialize(OutlookAddIn::COutlookAddIn& addIn)
{
    Uninitialize();
    UINT message = OutlookAddIn::CAsyncMarshaler::RegisterCallback([this](int64_t) { RunPosted(); });
    Os::CCriticalSectionLock lock(m_lock);
    m_addIn = &addIn;
    m_marshaler = &addIn.GetMarshaler();
    m_message = message;
}

void CUiThreadWork::Uninitialize()
{
    OutlookAddIn::CAsyncMarshaler* marshaler = nullptr;
    UINT message = 0;
    {
        Os::CCriticalSectionLock lock(m_lock);
        marshaler = std::exchange(m_marshaler, nullptr);
        message = std::exchange(m_message, 0);
        m_work.clear();
    }
    if (marshaler != nullptr)
        marshaler->UnregisterCallback(message);
}

void CUiThreadWork::Post(std::function<void()> work)
{
    Os::CCriticalSectionLock lock(m_lock);
    if (m_marshaler == nullptr)
        QZL_THROW(QZL_FUNCTION, CException(L"No user-interface thread to run the work"));
    m_work.push_back(std::move(work));
    m_marshaler->InvokeCallback(m_message);
}

// Posted work runs only between Initialize and Uninitialize, while the add-in lives.
void CUiThreadWork::RunPosted()
{
    OutlookAddIn::CAddInBusy busy(*m_addIn);
    for (;;) {
        std::function<void()> work;
        {
            Os::CCriticalSectionLock lock(m_lock);
            if (m_work.empty())
                return;
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        try {
            work();
        }
        QZL_CATCH_REPORT(QZL_FUNCTION)
    }
}

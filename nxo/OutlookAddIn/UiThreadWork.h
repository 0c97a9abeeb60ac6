#pragma once
// Work that another thread hands to Outlook's user-interface thread: the
// Outlook object model, the add-in's timer and message boxes belong to that
// thread. One marshaler message serves every piece of work; the pieces run in
// the order they were posted, with the add-in held: a piece may show a window
// whose loop lets Outlook disconnect and release the add-in.

#include "AsyncMarshaler.h"
#include "CriticalSection.h"

#include <deque>
#include <functional>

namespace Quenzal::OutlookAddIn {
class COutlookAddIn;
}

class CUiThreadWork {
public:
    CUiThreadWork() = default;
    CUiThreadWork(const CUiThreadWork&) = delete;
    CUiThreadWork& operator=(const CUiThreadWork&) = delete;

    // On the user-interface thread, once the add-in's marshaler has its window.
    void Initialize(Quenzal::OutlookAddIn::COutlookAddIn& addIn);
    // On the user-interface thread. Work not yet run, and work posted
    // afterwards, is dropped: its owner is going away.
    void Uninitialize();
    // Any thread; returns at once. Raises when nothing would run the work.
    void Post(std::function<void()> work);

private:
    void RunPosted();

    Quenzal::Os::CCriticalSection m_lock;
    Quenzal::OutlookAddIn::COutlookAddIn* m_addIn = nullptr;
    Quenzal::OutlookAddIn::CAsyncMarshaler* m_marshaler = nullptr;
    UINT m_message = 0;
    std::deque<std::function<void()>> m_work;
};

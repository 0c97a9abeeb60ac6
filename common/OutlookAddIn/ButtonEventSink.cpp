#include "ButtonEventSink.h"

#include "CaughtException.h"
#include "OutlookIds.h"

namespace Quenzal::OutlookAddIn {

CButtonEventSink::CButtonEventSink(Action action)
    : CEventSink(DIID_CommandBarButtonEvents,
                 {{DISPID_CommandBarButtonClick,
                   [this](const CEventArguments& arguments) {
                       OnButtonClicked(arguments.GetDispatch(0), arguments.GetBoolReference(1));
                   }}}),
      m_action(std::move(action))
{
}

CButtonEventSink::~CButtonEventSink()
{
    try {
        Uninitialize();
    }
    QZL_CATCH_REPORT(L"Quenzal::OutlookAddIn::CButtonEventSink::~CButtonEventSink")
}

void CButtonEventSink::Initialize(const CDispatchObject& button)
{
    Advise(button.GetInterface());
    m_button = button;
}

void CButtonEventSink::Uninitialize()
{
    if (!m_button)
        return;
    CDispatchObject button = std::move(m_button);
    m_button = CDispatchObject();
    Unadvise();
}

void CButtonEventSink::OnButtonClicked(IUnknown* control, VARIANT_BOOL* cancelDefault)
{
    m_action(control, cancelDefault);
}

} // namespace Quenzal::OutlookAddIn

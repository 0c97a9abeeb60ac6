#include "EncryptButtonEventSink.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Localization.h"
#include "NxoOlaUtil.h"
#include "NxoOutlookAddIn.h"
#include "OutlookIds.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr long ButtonUp = 0;    // msoButtonUp
constexpr long ButtonDown = -1; // msoButtonDown

} // namespace

CEncryptButtonEventSink::CEncryptButtonEventSink(CNxoOutlookAddIn& addIn, CInspectorToolbar& toolbar)
    : CButtonEventSink(Action()), m_addIn(addIn), m_toolbar(toolbar)
{
}

void CEncryptButtonEventSink::Initialize(const CDispatchObject& button)
{
    CButtonEventSink::Initialize(button);
    try {
        if (CDispatchObject message = AsMailItem(m_toolbar.GetInspector().GetDispatch(L"CurrentItem").GetInterface()))
            UpdateButtonState(button, m_addIn.GetMessageEncryptionFlag(message));
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
}

// The button shows the flag the message has afterwards, so a declined
// confirmation leaves it showing "encrypt" as offered, not as done.
void CEncryptButtonEventSink::OnButtonClicked(IUnknown*, VARIANT_BOOL*)
{
    try {
        CDispatchObject message = AsMailItem(m_toolbar.GetInspector().GetDispatch(L"CurrentItem").GetInterface());
        if (!message)
            return;
        m_addIn.RunUserCommand(QZL_FUNCTION, nullptr, [&] { m_addIn.SetMessageEncryptionFlag(message, !m_pressed); });
        UpdateButtonState(GetButton(), m_addIn.GetMessageEncryptionFlag(message));
    }
    QZL_CATCH_REPORT(QZL_FUNCTION)
}

void CEncryptButtonEventSink::UpdateButtonState(const CDispatchObject& button, bool pressed)
{
    m_pressed = pressed;
    CDispatchObject commandBarButton = CDispatchObject::Query(button.GetInterface(), IID_OfficeCommandBarButton);
    if (!commandBarButton)
        QZL_THROW(QZL_FUNCTION, CComError(E_NOINTERFACE, L"not a command-bar button"));
    commandBarButton.Put(L"Caption", _variant_t(GetLocalizedMessage(pressed ? 248 : 246).c_str()));
    commandBarButton.Put(L"TooltipText", _variant_t(GetLocalizedMessage(pressed ? 249 : 247).c_str()));
    commandBarButton.Put(L"State", _variant_t(pressed ? ButtonDown : ButtonUp));
}

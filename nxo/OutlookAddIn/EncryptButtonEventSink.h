#pragma once
// The "Encrypt Message" button on a compose inspector's command bar (Outlook
// 2003 and older): command bars have no toggle, so the sink keeps the state
// and shows it through the button's caption, tooltip and State.

#include "ButtonEventSink.h"
#include "InspectorToolbar.h"

class CNxoOutlookAddIn;

class CEncryptButtonEventSink : public Quenzal::OutlookAddIn::CButtonEventSink {
public:
    // Both outlive the sink: the toolbar holds it, the add-in the toolbar.
    CEncryptButtonEventSink(CNxoOutlookAddIn& addIn, Quenzal::OutlookAddIn::CInspectorToolbar& toolbar);

    // Connects to the button, which then shows the message's flag.
    void Initialize(const Quenzal::OutlookAddIn::CDispatchObject& button) override;
    void OnButtonClicked(IUnknown* control, VARIANT_BOOL* cancelDefault) override;
    void UpdateButtonState(const Quenzal::OutlookAddIn::CDispatchObject& button, bool pressed);

private:
    CNxoOutlookAddIn& m_addIn;
    Quenzal::OutlookAddIn::CInspectorToolbar& m_toolbar;
    bool m_pressed = false;
};

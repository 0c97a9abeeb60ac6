#pragma once
// The add-in's command-bar buttons on one Inspector window (Outlook 2003 and
// older): added when the window activates; the toolbar ends with the window.

#include "AddInToolbar.h"

namespace Quenzal::OutlookAddIn {

class CInspectorToolbar : public CAddInToolbar {
public:
    explicit CInspectorToolbar(COutlookAddIn& owner);

    // Advises the two sinks on the inspector, keeps it and adds the buttons.
    void Initialize(IDispatch* inspector) override;
    const CDispatchObject& GetInspector() const { return GetWindow(); }

    // The inspector's events (InspectorEvents_10); neither raises.
    void OnActivate() override;
    virtual void OnClose();
};

} // namespace Quenzal::OutlookAddIn

#pragma once
// The click of one command-bar button (Office's _CommandBarButtonEvents),
// connected to an action. A toolbar makes one per button it adds; a
// button with behaviour of its own (a toggle) replaces OnButtonClicked.
//
// A click that fails, also one without an action, is reported and Office
// hears nothing of it (the event sink's guard).

#include "DispatchObject.h"
#include "EventSink.h"

#include <functional>

namespace Quenzal::OutlookAddIn {

class CButtonEventSink : public CEventSink {
public:
    // The clicked control and Office's CancelDefault flag.
    using Action = std::function<void(IUnknown* control, VARIANT_BOOL* cancelDefault)>;

    explicit CButtonEventSink(Action action);
    ~CButtonEventSink() override;

    // Advises the sink on the button and keeps it; refused (CComError E_FAIL)
    // while advised, a failing advise raises CComError.
    virtual void Initialize(const CDispatchObject& button);
    // Unadvises and lets go of the button, when one is held.
    void Uninitialize();
    // The button, or the empty object before Initialize and after Uninitialize.
    const CDispatchObject& GetButton() const { return m_button; }

    // Runs the action with both arguments; an empty action raises std::bad_function_call.
    virtual void OnButtonClicked(IUnknown* control, VARIANT_BOOL* cancelDefault);

private:
    Action m_action;
    CDispatchObject m_button;
};

using CButtonEventSinkRef = CObjectRef<CButtonEventSink>;

} // namespace Quenzal::OutlookAddIn

#include "FakeCommandBars.h"

#include <algorithm>

namespace QzlFake {

std::shared_ptr<CFakeCommandBar> CFakeCommandBar::AddTo(CFakeObject& window)
{
    // The window holds the command bars, they the bar, it its controls
    // object, and that the state with the controls; a control reaches the
    // state only weakly, so nothing holds itself.
    auto state = std::make_shared<CFakeCommandBar>();
    CFakeRef controlsObject = MakeCollection(state->controls);
    controlsObject->Method(L"Add", [state](const Values& arguments) -> _variant_t {
        if (arguments.size() != 5)
            throw DISP_E_BADPARAMCOUNT;
        CFakeRef control = state->MakeControl(static_cast<long>(arguments[0]));
        control->Value(L"Temporary") = arguments[4];
        state->controls.push_back(control);
        return _variant_t(static_cast<IDispatch*>(control.Get()));
    });
    CFakeRef bar = CFakeObject::Create();
    bar->Property(L"Name", L"Standard").Property(L"Controls", static_cast<IDispatch*>(controlsObject.Get()));
    CFakeRef commandBars = CFakeObject::Create();
    commandBars->Method(L"Item", [bar](const Values& arguments) -> _variant_t {
        if (arguments.size() != 1)
            throw DISP_E_BADPARAMCOUNT;
        if (arguments[0].vt != VT_BSTR || _wcsicmp(arguments[0].bstrVal, L"Standard") != 0)
            throw E_INVALIDARG;
        return _variant_t(static_cast<IDispatch*>(bar.Get()));
    });
    window.Property(L"CommandBars", static_cast<IDispatch*>(commandBars.Get()));
    return state;
}

CFakeRef CFakeCommandBar::MakeControl(long type)
{
    CFakeRef control;
    if (type == Office::ControlButton) {
        control = CFakeObject::Create({Office::CommandBarButton, Office::CommandBarControl});
        control->AddEventSource(Office::CommandBarButtonEvents);
        for (const wchar_t* name : {L"Style", L"FaceId", L"Picture", L"State"})
            control->Property(name, _variant_t());
    } else if (type == Office::ControlPopup) {
        control = CFakeObject::Create({Office::CommandBarPopup, Office::CommandBarControl});
    } else {
        throw E_INVALIDARG;
    }
    control->Property(L"Type", type);
    for (const wchar_t* name : {L"Tag", L"Caption", L"TooltipText", L"BeginGroup", L"Temporary"})
        control->Property(name, _variant_t());
    CFakeObject* self = control.Get();
    control->Method(L"Delete", [bar = weak_from_this(), self](const Values&) -> _variant_t {
        std::shared_ptr<CFakeCommandBar> state = bar.lock();
        if (!state)
            throw E_FAIL;
        auto& controls = state->controls;
        auto found = std::find_if(controls.begin(), controls.end(), [self](const CFakeRef& c) { return c.Get() == self; });
        if (found == controls.end())
            throw E_FAIL;
        state->deleted.push_back(*found);
        controls.erase(found);
        return _variant_t();
    });
    return control;
}

CFakeRef CFakeCommandBar::AddControl(long type, const wchar_t* tag)
{
    CFakeRef control = MakeControl(type);
    control->Value(L"Tag") = tag;
    controls.push_back(control);
    return control;
}

bool CFakeCommandBar::Click(const CFakeRef& button)
{
    VARIANT_BOOL cancelDefault = VARIANT_FALSE;
    button->Events(Office::CommandBarButtonEvents)
        .Fire(Office::Click, {DispatchArgument(button.Get()), BoolReference(&cancelDefault)});
    return cancelDefault != VARIANT_FALSE;
}

} // namespace QzlFake

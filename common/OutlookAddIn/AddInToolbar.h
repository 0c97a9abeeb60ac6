#pragma once
// A toolbar of the add-in's command-bar buttons on one Outlook window, for
// Outlook versions without the ribbon. The add-in keeps one per window that
// gets buttons and takes it down when it disconnects.

#include "ComObject.h"

#include <oaidl.h>

namespace Quenzal::OutlookAddIn {

class CAddInToolbar : public IUnknown {
public:
    virtual ~CAddInToolbar() = default;

    // Hooks the window's events and adds the buttons; errors pass on.
    virtual void Initialize(IDispatch* window) = 0;
    // Unhooks the window's events; the buttons stay on the bar.
    virtual void Uninitialize() = 0;
};

using CAddInToolbarRef = CObjectRef<CAddInToolbar>;

} // namespace Quenzal::OutlookAddIn

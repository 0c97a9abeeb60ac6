#pragma once
// The add-in's buttons on the "Standard" command bar of one Outlook window,
// for Outlook versions without the ribbon (below 14). The add-in creates a
// toolbar per window (CExplorerToolbar, CInspectorToolbar), which hooks the
// window's events, asks the add-in for its buttons (CreateToolbarButtons)
// and turns their clicks into the add-in's command dispatch. Buttons are
// tagged with the command name and the toolbar's own GUID, so that buttons
// an earlier toolbar left on the bar are found and removed.
//
// Everything runs on Outlook's user-interface thread.

#include "ButtonEventSink.h"
#include "ComObject.h"
#include "DispatchObject.h"
#include "EventSink.h"

#include <oaidl.h>

#include <functional>
#include <vector>

namespace Quenzal::OutlookAddIn {

class COutlookAddIn;

class CAddInToolbar : public IUnknown {
public:
    // The owner outlives its toolbars: it takes them down when it disconnects.
    explicit CAddInToolbar(COutlookAddIn& owner);
    CAddInToolbar(const CAddInToolbar&) = delete;
    CAddInToolbar& operator=(const CAddInToolbar&) = delete;
    // Unhooks the window; the buttons stay on the bar.
    virtual ~CAddInToolbar();

    // Adds a button for the command; without a sink of its own the button's
    // click reaches OnButtonClicked(commandId). The icon is a bitmap resource
    // of the module, or Office's face id when useFaceId is set. Raises
    // CException "Controls not initialized" before the bar is known; a button
    // that cannot be set up is deleted again and the failure raised.
    virtual CDispatchObject AddButton(int commandId, const StringW& name, int captionLid, int tooltipLid, UINT iconId,
                                      bool useFaceId, CButtonEventSinkRef sink = CButtonEventSinkRef());
    // A pop-up control; it has no click sink.
    virtual CDispatchObject AddPopup(const StringW& name, int captionLid, int tooltipLid);
    // Disconnects every button's sink and, when asked, deletes the buttons.
    virtual void RemoveControls(bool deleteButtons);
    // The window's command dispatch on the add-in (its OnToolbarButtonClicked).
    virtual void OnButtonClicked(int commandId);
    virtual void ConfigureButton(const CDispatchObject& button, const StringW& name, int captionLid, int tooltipLid,
                                 UINT iconId, bool useFaceId);
    virtual void ConfigurePopup(const CDispatchObject& popup, const StringW& name, int captionLid, int tooltipLid);
    // msoButtonIcon: buttons show their icon and no caption.
    virtual long GetButtonStyle();
    // Hooks the window's events and adds the buttons; errors of the hooking pass on.
    virtual void Initialize(IDispatch* window) = 0;
    // Unhooks the window's events and lets go of it; the buttons stay on the
    // bar. A failure to unhook is raised once all of it is done.
    virtual void Uninitialize();

    // Picture := the module's bitmap; raises CWinError when it cannot be loaded.
    void SetButtonIcon(const CDispatchObject& button, UINT bitmapId);
    // "<name>.<32 hexadecimal digits of the toolbar's GUID>"
    StringW MakeButtonTag(const StringW& name) const;
    // True once the toolbar has added its buttons.
    bool HasButtons() const { return !m_sinks.empty(); }
    COutlookAddIn& GetOwner() const { return m_owner; }
    void* GetInterface(REFIID iid);
    // The window this toolbar serves; empty when not initialised.
    const CDispatchObject& GetWindow() const { return m_window; }

protected:
    using EventRoute = std::pair<DISPID, std::function<void()>>;
    // Advises one sink per event on the window's event interface, keeps the
    // window and adds the buttons (OnActivate).
    void AdviseWindow(IDispatch* window, const IID& events, const std::vector<EventRoute>& routes);
    // Finds the window's "Standard" bar (once) and has the owner add its
    // buttons; a missing bar is logged and leaves the window without buttons.
    void AddButtons();
    // Ends the toolbar when its window closes: the owner lets go of it and the
    // window's events are unhooked; the buttons stay.
    void CloseWindow(void (COutlookAddIn::*remove)(CAddInToolbar*), const wchar_t* function);
    virtual void OnActivate() = 0;

private:
    bool FindControls();
    CDispatchObject AddControl(long type, const StringW& name, const wchar_t* function);
    void DeleteOrphanedButtons(const StringW& name);
    // Deletes a control that was just added and could not be set up.
    static void DeleteControl(const CDispatchObject& control, const wchar_t* function);

    COutlookAddIn& m_owner;
    CDispatchObject m_controls;
    std::vector<CButtonEventSinkRef> m_sinks;
    GUID m_instance;
    CDispatchObject m_window;
    std::vector<CEventSinkRef> m_windowSinks;
};

using CAddInToolbarRef = CObjectRef<CAddInToolbar>;

} // namespace Quenzal::OutlookAddIn

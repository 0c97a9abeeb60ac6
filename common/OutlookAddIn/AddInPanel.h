#pragma once
// One member of the add-in family on the family's options page: its title
// with a separator line, its icon, its state or version, and the buttons
// that open its options and its log. The page creates the buttons once and
// draws every panel on each paint, 86 pixels below the one before.

#include "OlePicture.h"
#include "OutlookAddInInterfaces.h"

#include <comdef.h>

namespace Quenzal::OutlookAddIn {

using IOutlookAddInPtr = _com_ptr_t<_com_IIID<IOutlookAddIn, &__uuidof(IOutlookAddIn)>>;

class CAddInPanel {
public:
    static constexpr int Pitch = 86;
    static constexpr int ButtonWidth = 116; // at least; a longer translation widens both buttons
    static constexpr int ButtonHeight = 23;

    // addIn is the member's own interface, null when the member is not
    // connected (notConnected: Outlook lists it, switched off) or not installed.
    CAddInPanel(int index, IOutlookAddIn* addIn, bool notConnected);
    CAddInPanel(const CAddInPanel&) = delete;
    CAddInPanel& operator=(const CAddInPanel&) = delete;

    // Creates the Options button, and the View Log button when the member is
    // present; raises CWinError when a button cannot be made.
    void Create(HWND parent, POINT position, const RECT& area);
    // Moves the buttons sideways by dx, keeping their top and size.
    void MoveButtons(int dx);
    // Raises CWinError when the icon cannot be drawn.
    void Draw(HDC dc, POINT position, const RECT& area, HPEN pen);

    // The member's log path and version; empty without a member or when it fails.
    StringW GetLogPath() const;
    StringW GetVersion() const;

    int GetIndex() const { return m_index; }
    IOutlookAddIn* GetAddIn() const { return m_addIn.GetInterfacePtr(); }
    HWND GetOptionsButton() const { return m_optionsButton; }
    HWND GetViewLogButton() const { return m_viewLogButton; }

private:
    HWND CreateButton(HWND parent, int lid, POINT at, int width);
    // The title's extent in the stock GUI font.
    SIZE MeasureTitle(HDC dc) const;
    int MeasureButtons(HDC dc) const;
    HICON GetIcon();

    int m_index;
    IOutlookAddInPtr m_addIn;
    bool m_notConnected;
    Os::CIcon m_icon;
    bool m_iconLoaded = false;
    HWND m_optionsButton = nullptr;
    POINT m_optionsPosition = {};
    HWND m_viewLogButton = nullptr;
    POINT m_viewLogPosition = {};
};

} // namespace Quenzal::OutlookAddIn

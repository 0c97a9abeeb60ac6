#pragma once
// Office's command bars on a stand-in Outlook window, for Outlook versions
// without the ribbon: CommandBars.Item("Standard").Controls with Add, Count
// and Item. Buttons and pop-ups record every property the add-in sets (a
// property never set stays VT_EMPTY); buttons raise Click to the sinks on
// their _CommandBarButtonEvents; Delete takes a control off the bar.

#include "FakeOutlook.h"

#include <memory>

namespace QzlFake {

namespace Office {

using Outlook::Iid; // Office's ids have the same form

inline constexpr IID CommandBarControl = Iid(0x000C0308);
inline constexpr IID CommandBarButton = Iid(0x000C030E);
inline constexpr IID CommandBarPopup = Iid(0x000C030A);
inline constexpr IID CommandBarButtonEvents = Iid(0x000C0351);
inline constexpr DISPID Click = 1;
inline constexpr long ControlButton = 1; // msoControlButton
inline constexpr long ControlPopup = 10; // msoControlPopup

} // namespace Office

// The "Standard" bar of one window.
class CFakeCommandBar : public std::enable_shared_from_this<CFakeCommandBar> {
public:
    // Gives the window a CommandBars property whose "Standard" item is this bar.
    static std::shared_ptr<CFakeCommandBar> AddTo(CFakeObject& window);

    // The controls in bar order, and those deleted, in the order of deletion.
    std::vector<CFakeRef> controls;
    std::vector<CFakeRef> deleted;

    // A control as another add-in or an earlier session left it on the bar.
    CFakeRef AddControl(long type, const wchar_t* tag);
    // Office's Click on a button; answers the CancelDefault the sinks left.
    static bool Click(const CFakeRef& button);

private:
    CFakeRef MakeControl(long type);
};

} // namespace QzlFake

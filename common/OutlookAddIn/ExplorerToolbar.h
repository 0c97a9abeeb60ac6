#pragma once
// The add-in's command-bar buttons on one Explorer window. They are added
// when the window activates and rebuilt on every folder switch (a folder of
// another item type may not want them); the toolbar ends with the window.

#include "AddInToolbar.h"

namespace Quenzal::OutlookAddIn {

class CExplorerToolbar : public CAddInToolbar {
public:
    explicit CExplorerToolbar(COutlookAddIn& owner);

    // Advises the four sinks on the explorer, keeps it and adds the buttons.
    void Initialize(IDispatch* explorer) override;
    const CDispatchObject& GetExplorer() const { return GetWindow(); }

    // The explorer's events (ExplorerEvents_10); none raises.
    void OnActivate() override;
    virtual void OnFolderSwitched();
    virtual void OnSelectionChange();
    virtual void OnClose();
};

} // namespace Quenzal::OutlookAddIn

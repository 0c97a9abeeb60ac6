#pragma once
// The log manager (dialog 907): view a family member's log, mail it, or
// switch its debug logging. The dialog only records the user's choice; the
// caller acts on the action it ended with and takes the debug switch's state
// whatever button closed it.

#include "ModalDialog.h"

namespace Quenzal::OutlookAddIn {

class CLogManagerDlg : public CModalDialog {
public:
    enum Action : int { NoAction = -1, ViewLog = 0, SendLog = 1 };

    // debugAvailable false shows the debug switch disabled.
    CLogManagerDlg(bool debugEnabled, bool debugAvailable);

    // Shows the dialog over the parent; the action to take: View Log or Send
    // Log when the dialog ended with one of them, else none.
    int ShowModal(HWND parent);

    int GetResult() const { return m_result; }
    bool IsDebugEnabled() const { return m_debugEnabled; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD controlId, WORD notification, HWND control) override;

private:
    void ShowDebugSwitch();

    int m_result = NoAction;
    bool m_debugEnabled;
    bool m_debugAvailable;
};

} // namespace Quenzal::OutlookAddIn

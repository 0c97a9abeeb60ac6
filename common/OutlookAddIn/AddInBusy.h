#pragma once
// Held by every piece of an add-in's own work that pumps messages or shows a
// modal window. Outlook may disconnect the add-in and release it from inside
// a message that such a loop dispatches (Outlook closing, the user disabling
// the add-in): the holder keeps the add-in, and with it the module, alive
// until the work has returned, and tells the work whether the connection it
// began under has ended, so that it stops at its next step and writes
// nothing more.

namespace Quenzal::OutlookAddIn {

class COutlookAddIn;

class CAddInBusy {
public:
    explicit CAddInBusy(COutlookAddIn& addIn);
    ~CAddInBusy();
    CAddInBusy(const CAddInBusy&) = delete;
    CAddInBusy& operator=(const CAddInBusy&) = delete;

    // Also true for work begun while the add-in was not connected.
    bool IsDisconnected() const;

private:
    COutlookAddIn& m_addIn;
    unsigned m_connection;
};

} // namespace Quenzal::OutlookAddIn

#include "AddInBusy.h"

#include "ComObject.h"
#include "OutlookAddIn.h"

namespace Quenzal::OutlookAddIn {

CAddInBusy::CAddInBusy(COutlookAddIn& addIn) : m_addIn(addIn), m_connection(addIn.GetConnectionNumber())
{
    m_addIn.AddRef();
    LockModule();
}

// The release may destroy the add-in: nothing of it is touched afterwards.
CAddInBusy::~CAddInBusy()
{
    UnlockModule();
    m_addIn.Release();
}

bool CAddInBusy::IsDisconnected() const
{
    return m_connection == 0 || m_addIn.GetConnectionNumber() != m_connection;
}

} // namespace Quenzal::OutlookAddIn

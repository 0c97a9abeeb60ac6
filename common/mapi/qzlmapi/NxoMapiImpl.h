#pragma once
// The steps that turn MAPI's address forms (plain SMTP, Exchange "EX"
// addresses, address-book entries with proxy lists) into SMTP addresses.

#include "MapiErrorPolicy.h"
#include "MapiPointers.h"

#include <string>

namespace Quenzal::Mapi {

// A non-null PT_STRING8 value with a non-null text.
bool HasString8Value(const SPropValue* value);
// "SMTP" in any case.
bool IsSmtpAddressType(const char* type);
// Begins with "SMTP:" in any case.
bool IsSmtpProxyAddress(const char* text);
// The text after "SMTP:".
const char* SkipSmtpProxyPrefix(const char* text);
// The address, read in the ANSI code page, has a first '@' that is neither
// its first nor its last character.
bool IsEmailAddressA(const char* address);

// The address of an SMTP entry as it stands; of an "EX" entry through the
// EX address cache and the address book; of any other type with an entry id
// through the address book. Empty when it cannot be resolved.
std::string ToSmtpAddress(const char* type, const char* address, const SBinary* entryId);
// The tags of the contact's three e-mail address types and addresses (the
// names are created when missing), in the order Email1, Email2, Email3.
CMapiBuffer<SPropTagArray> ResolveContactNamedProps(IMAPIProp* contact);
// The first entry of a PT_MV_STRING8 proxy list that is "SMTP:" followed by
// an e-mail address, without its prefix; empty when none is.
std::string FindSmtpProxyAddress(const SPropValue* proxies);
// The address-book entry of an entry id, opened through the session.
IMailUserPtr OpenMailUser(IMAPISession* session, ULONG size, const ENTRYID* entryId, const MapiCallSite& site);

} // namespace Quenzal::Mapi

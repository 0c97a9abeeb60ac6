#pragma once
// SMTP addresses of the people around a message: its senders, recipients and
// received-by party, a contact's e-mail addresses, an address-book entry's
// address and the user's own. The appliance knows people only by these.

#include "MapiSession.h"
#include "SmtpAddressSet.h"

#include <string>

namespace Quenzal::Mapi {

// Email1 to Email3 of a contact that are SMTP addresses.
SmtpAddressSet GetContactSmtpAddresses(IMAPIProp* contact);
// The recipients of type SMTP.
SmtpAddressSet GetMessageSmtpRecipients(IMessage* message);
// The sender and the party the message was sent for, when they are SMTP.
SmtpAddressSet GetMessageSmtpSenders(IMAPIProp* message);
// The address the user received the message at; raises when there is none.
StringW GetMessageReceivedBySmtpAddress(IMAPIProp* message);
// The user's default address, from the session's identity; kept for the life
// of the process once found. Raises when there is none.
StringW GetUserSmtpAddress();
// The SMTP address of an address-book entry; empty when it has none.
std::string GetSmtpAddressFromUserEntryId(ULONG size, const ENTRYID* entryId);
// The same for an entry id held as a byte string, widened.
StringW GetSmtpAddressFromUserEntryIdW(const std::string& entryId);

} // namespace Quenzal::Mapi

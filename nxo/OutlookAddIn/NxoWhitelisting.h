#pragma once
// Collecting the people the user corresponds with for the appliance's
// whitelist: the SMTP recipients of a sent message and the SMTP addresses of
// a contact. The sets compare addresses exactly; the API client drops those
// the cached whitelist already holds (without regard to case).

#include "DispatchObject.h"

#include <set>
#include <string>

namespace Quenzal::OutlookAddIn {

// Position (in characters) of the first match, letters compared without
// case; -1 when either text is empty or nothing matches.
int ContainsNoCase(const std::wstring& text, const std::wstring& pattern);
// Mail to a list's "remove" or "unsubscribe" address says nothing about
// whom the user trusts.
bool IsUnsubscribeMessage(const CDispatchObject& message);
// Both answer how many addresses were new to the set. A null item raises;
// failures to read the item are logged and raised.
size_t AddMessageSmtpRecipientsToWhitelist(const CDispatchObject& message, std::set<std::string>& addresses);
size_t AddContactSmtpAddressesToWhitelist(const CDispatchObject& contact, std::set<std::string>& addresses);

} // namespace Quenzal::OutlookAddIn

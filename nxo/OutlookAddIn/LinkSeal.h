#pragma once
// The seal of a link file. A link file is data that any mail can carry: one
// that came in a mail and was forwarded would have the send upload whatever
// file it names. The seal tells the links the user made here with "Attach
// Large File" from all others: a keyed hash (HMAC-SHA256) of the path under
// a random secret kept in the user's settings, which no mail can forge and
// which outlasts a restart of Outlook, so a draft saved with its links is
// sent as it would have been.

#include "StringW.h"

#include <string>

namespace Quenzal::Stubbing {

// The seal of a link to the path, as hexadecimal text; makes the secret on
// first use.
StringW SealLinkPath(const std::wstring& path);
// True only when the seal is the one this user's secret gives the path.
bool IsLinkSealValid(const std::wstring& path, const std::wstring& seal);

} // namespace Quenzal::Stubbing

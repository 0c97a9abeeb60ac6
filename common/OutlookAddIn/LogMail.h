#pragma once
// Mailing logs to the maker's support: a new Outlook message with the logs
// attached, left open for the user to address and send. A log over a
// mebibyte is cut to its last mebibyte first, into a temporary copy that is
// deleted as soon as the message holds it: Outlook copies an attached file
// into the item, and a copy left for deletion at the next restart would stay
// behind for every user who may not schedule that.

#include "DispatchObject.h"

#include <vector>

namespace Quenzal::OutlookAddIn {

inline constexpr const wchar_t* LogMessageSubject = L"Quenzal Outlook Add-In log";

// Raises what Outlook raises; a message already made is then discarded.
void AttachLogTailToNewMessage(const std::vector<StringW>& logPaths, const CDispatchObject& application);

} // namespace Quenzal::OutlookAddIn

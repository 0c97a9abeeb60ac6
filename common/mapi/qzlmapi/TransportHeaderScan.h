#pragma once
// Reading the appliance's headers out of a message's transport header block
// (the headers as they came over the wire, one per line). Folded lines are
// not joined: a value is the rest of its first line.
//
// A scan ends as soon as every field of its record is filled, or at the end
// of the block. A line whose value is blank, or a second line of a field
// already filled, never counts as filling a field, so such lines cannot end
// a scan before a later header is read.

#include "HeaderRecords.h"

#include <functional>
#include <span>
#include <string_view>

namespace Quenzal::Mapi {

// Calls visit with the index of the name and the raw value (everything
// after the colon up to the LF, a CR included) for each line that begins
// with one of the names, in any case, followed directly by a colon. The walk
// ends when visit answers false.
void ScanHeaderLines(std::string_view block, std::span<const char* const> names,
                     const std::function<bool(size_t, std::string_view)>& visit);

// The first non-blank value of each appliance header, trimmed. When either
// is missing the block is logged at Trace.
QuenzalHeaders ScanQuenzalHeaders(const std::string& block);

// The first non-blank value of each probe header, trimmed. A record that is
// not valid logs the block at Debug; a probe for another installation raises
// (AreAuthenticationProbePropsValid).
AuthenticationProbeProps ScanAuthenticationProbeProps(const std::string& block);

} // namespace Quenzal::Mapi

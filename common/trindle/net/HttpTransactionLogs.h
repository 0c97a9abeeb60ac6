#pragma once
// The transaction logs that HTTP connections write while tracing:
// "HTTP_<32 hexadecimal digits>.txt" in the temporary folder. Only the newest
// few are kept, so that tracing left on for weeks cannot fill the disk.

#include "StringW.h"

namespace Quenzal::Net {

// Deletes the oldest transaction logs in the folder until at most keep are
// left; one that another connection still writes stays.
void DeleteOldTransactionLogs(const StringW& folder, size_t keep);

} // namespace Quenzal::Net

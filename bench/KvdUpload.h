#pragma once
// The network library's own upload of a file to the appliance, as the add-in
// builds the request: the reference the add-in's uploads are measured against.

#include "KvdRequest.h"

#include <string>

class CNxoApiClient;

namespace QzlBench {

// Exits the benchmark when the appliance does not take the file; with
// notify, a progress notifier counts every piece sent.
void LibraryUpload(CNxoApiClient& client, const KvdRequestInfo& info, const std::wstring& path, bool notify);

} // namespace QzlBench

#include "KvdUpload.h"

#include "Http.h"
#include "HttpConnection.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "NxoApiClient.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Quenzal;

namespace QzlBench {

namespace {

class CCountingNotifier : public Net::IHttpRequestNotifier {
public:
    void OnDataSent(const void*, uint64_t length) override { m_sent += length; }
    uint64_t m_sent = 0;
};

} // namespace

void LibraryUpload(CNxoApiClient& client, const KvdRequestInfo& info, const std::wstring& path, bool notify)
{
    auto request = client.CreateKvdUploadRequest(info, path, L"bench.bin");
    client.PrepareRequest(*request);
    auto notifier = notify ? std::make_shared<CCountingNotifier>() : nullptr;
    auto response = Net::MakeHttpRequest(client.GetSession(), std::make_shared<Net::CHttpConnection>(notifier),
                                          request);
    if (response->GetStatus() != 200) {
        std::fprintf(stderr, "library upload failed: %d\n", response->GetStatus());
        std::exit(1);
    }
}

} // namespace QzlBench

// Throughput of one HTTP download or upload against a loopback server, with
// the ratio to a native curl that scripts/bench measured on the same server
// just before, and the peak working set of this process.
//
//   http_bench.exe download <uri> <bytes> <curl MB/s>
//   http_bench.exe upload <uri> <file> <curl MB/s>
//
// A download streams into a sink that only counts; an upload streams from the
// file, so neither needs the body in memory.

#include "BenchSupport.h"
#include "Http.h"
#include "HttpConnection.h"
#include "HttpHeaders.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "HttpSession.h"
#include "File.h"
#include "Logging.h"
#include "NameTables.h"
#include "Net.h"
#include "Os.h"
#include "OutStream.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Quenzal;
using namespace Quenzal::Net;
using QzlBench::Now;
using QzlBench::PeakWorkingSetMiB;

namespace {

constexpr int Rounds = 3;

class CCountingSink : public IHttpResponseSink {
public:
    uint32_t GetContentType() override { return AnyContentType; }
    void BeginBody() override {}
    void WriteBody(const void*, size_t length) override { m_bytes += length; }
    void EndBody() override {}
    uint64_t Bytes() const { return m_bytes; }

private:
    uint64_t m_bytes = 0;
};

std::shared_ptr<CHttpRequest> NewRequest(const std::string& uri)
{
    CUri parsed;
    if (!parsed.Parse(uri)) {
        std::fprintf(stderr, "bad URI %s\n", uri.c_str());
        std::exit(2);
    }
    auto request = std::make_shared<CHttpRequest>(parsed);
    std::dynamic_pointer_cast<CConnectionHeader>(request->CreateHeader("Connection"))->SetId(ConnectionOptionClose);
    return request;
}

// One transfer; the bytes moved, or 0 when it failed.
uint64_t Download(const std::string& uri)
{
    auto sink = std::make_shared<CCountingSink>();
    auto response = MakeHttpRequest(nullptr, std::make_shared<CHttpConnection>(nullptr), NewRequest(uri), sink);
    return response->GetStatus() == 200 ? sink->Bytes() : 0;
}

uint64_t Upload(const std::string& uri, const std::wstring& path)
{
    auto file = std::make_shared<Os::CFile>(path, Os::CFile::OpenRead);
    uint64_t size = file->GetLength();
    auto request = NewRequest(uri);
    request->SetMethod(HttpMethodPut);
    request->SetBody(file);
    auto response = MakeHttpRequest(nullptr, std::make_shared<CHttpConnection>(nullptr), request);
    std::string answer = StreamToString(response->GetContentBody());
    return response->GetStatus() == 200 && answer == std::to_string(size) ? size : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: http_bench download|upload <uri> <bytes|file> <curl MB/s>\n");
        return 2;
    }
    std::string direction = argv[1];
    std::string uri = argv[2];
    double curl = std::atof(argv[4]);
    // The log lines of the transfers would otherwise stand between the figures.
    Logging::SetLogPath(Os::GetTemporaryDirectory() + L"http_bench.log");
    InitializeSockets();
    double baseline = PeakWorkingSetMiB();

    double best = 1e30;
    uint64_t bytes = 0;
    for (int round = 0; round < Rounds; ++round) {
        double start = Now();
        bytes = direction == "upload" ? Upload(uri, StringW(std::string(argv[3]))) : Download(uri);
        double seconds = Now() - start;
        if (bytes == 0) {
            std::fprintf(stderr, "%s failed\n", direction.c_str());
            return 1;
        }
        best = std::min(best, seconds);
    }
    double rate = static_cast<double>(bytes) / 1e6 / best;
    std::printf("%-8s %-5s %4.0f MiB: %8.1f MB/s  curl %8.1f MB/s  ratio %5.2f  peak working set %6.1f MiB "
                "(%5.1f MiB before the first transfer)\n",
                direction.c_str(), uri.rfind("https", 0) == 0 ? "TLS" : "plain",
                static_cast<double>(bytes) / (1024.0 * 1024.0), rate, curl, curl > 0 ? rate / curl : 0.0,
                PeakWorkingSetMiB(), baseline);
    std::fflush(stdout);
    return 0;
}

// Throughput of one HTTP download or upload against a loopback server, with
// the ratio to a native curl that scripts/bench measured on the same server
// just before, and the peak working set of this process.
//
//   http_bench.exe download <uri> <bytes> <curl MB/s>
//   http_bench.exe upload <uri> <file> <curl MB/s>
//   http_bench.exe heads <https://host:port>
//
// A download streams into a sink that only counts; an upload streams from the
// file, so neither needs the body in memory. The heads figure reads a head of
// 120 KiB sent with each byte in a TLS record of its own, against the same head
// in one write plus the transfer of as many bytes in one-byte records as a body;
// the reader's work must grow with what arrives, not with what it holds.

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
#include <cstring>
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

// Seconds this thread has run.
double ThreadSeconds()
{
    FILETIME times[4] = {};
    ::GetThreadTimes(::GetCurrentThread(), &times[0], &times[1], &times[2], &times[3]);
    const auto seconds = [](const FILETIME& time) {
        return static_cast<double>(static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 1e7;
    };
    return seconds(times[2]) + seconds(times[3]);
}

struct Timing {
    double seconds = 1e30;
    double cpu = 1e30;
};

// The best of rounds of one GET whose body must be of the expected size.
Timing TimeGet(const std::string& uri, size_t bodySize, int rounds)
{
    Timing best;
    for (int round = 0; round < rounds; ++round) {
        const double start = Now();
        const double cpu = ThreadSeconds();
        auto response = MakeHttpRequest(nullptr, std::make_shared<CHttpConnection>(nullptr), NewRequest(uri));
        if (response->GetStatus() != 200 || StreamToString(response->GetContentBody()).size() != bodySize) {
            std::fprintf(stderr, "%s failed\n", uri.c_str());
            std::exit(1);
        }
        best.seconds = std::min(best.seconds, Now() - start);
        best.cpu = std::min(best.cpu, ThreadSeconds() - cpu);
    }
    return best;
}

int Heads(const std::string& base)
{
    // 120 fields of 1,000 bytes: the server's whole answer, head and "ok".
    const std::string head = "/head?fields=120&size=1000";
    size_t answer = std::strlen("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    for (int field = 0; field < 120; ++field)
        answer += std::strlen("X-F: \r\n") + std::to_string(field).size() + 1000;
    const Timing whole = TimeGet(base + head, 2, Rounds);
    const Timing transfer = TimeGet(base + "/download?bytewise=1&size=" + std::to_string(answer), answer, 2);
    const Timing records = TimeGet(base + head + "&bytewise=1", 2, 2);
    const double reference = whole.seconds + transfer.seconds;
    std::printf("head of %.0f KiB in one-byte TLS records %8.3f s (%.3f s of CPU); in one write %8.3f s (%.3f s); "
                "as a body in one-byte records %8.3f s (%.3f s); ratio %5.2f\n",
                static_cast<double>(answer) / 1024.0, records.seconds, records.cpu, whole.seconds, whole.cpu,
                transfer.seconds, transfer.cpu, records.seconds / reference);
    QzlBench::PrintGoal("120 KiB head in one-byte records / (one write + transfer)", records.seconds / reference, "",
                        true, 2.0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The log lines of the transfers would otherwise stand between the figures.
    Logging::SetLogPath(Os::GetTemporaryDirectory() + L"http_bench.log");
    InitializeSockets();
    if (argc == 3 && std::string(argv[1]) == "heads")
        return Heads(argv[2]);
    if (argc != 5) {
        std::fprintf(stderr, "usage: http_bench download|upload <uri> <bytes|file> <curl MB/s>\n"
                             "       http_bench heads <https://host:port>\n");
        return 2;
    }
    std::string direction = argv[1];
    std::string uri = argv[2];
    double curl = std::atof(argv[4]);
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

#pragma once
// One HTTP request from start to finish on the calling thread: the exchange
// over a fresh connection, the decoded response, at most one redirection and
// the answers to authentication challenges.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Quenzal::Net {

class CHttpConnection;
class CHttpRequest;
class CHttpResponse;
class CHttpSession;
class CUri;

// Receives the body of a successful response instead of the response itself.
class IHttpResponseSink {
public:
    virtual ~IHttpResponseSink() = default;
    // The content-type id the caller wants, or AnyContentType.
    virtual uint32_t GetContentType() = 0;
    virtual void BeginBody() = 0;
    virtual void WriteBody(const void* data, size_t length) = 0;
    virtual void EndBody() = 0;

    static constexpr uint32_t AnyContentType = 0xFFFFFFFF;
};

// What a server may make us hold in memory: a hostile or broken server must
// not be able to fill the host's address space. The body limit applies to a
// body kept in memory (before and after decoding) and to each chunk, which is
// passed on only once it has arrived whole. A request may set a lower limit
// for its own body.
//
// The heads of one response (interim heads included) share one byte limit;
// each head has a field limit, because every parsed field costs far more than
// its bytes. A field counts with its folded lines. The appliance's heads stay
// under 2 KiB; these limits leave servers ample room and keep an exchange's
// memory for heads within a few hundred KiB.
inline constexpr size_t MaximumResponseHeaderLength = 128 * 1024;
inline constexpr size_t MaximumResponseHeaderFields = 256;
inline constexpr size_t MaximumResponseHeaderFieldLength = 32 * 1024;
// A reason phrase is a few words; the status line ends up in log records.
inline constexpr size_t MaximumResponseStatusLineLength = 1024;
inline constexpr uint64_t MaximumResponseBodyLength = 64ull * 1024 * 1024;

// Told the target of a redirection that will be followed, before the request
// goes there; what it raises ends the request. False sets the redirection
// aside: the redirecting response is returned as it came, and
// FollowRedirectionTo takes the request to the target later.
using RedirectionGate = std::function<bool(const CUri& target)>;

// Performs the request; the session (may be null) adds credentials, answers
// challenges and decides on redirections. Throws what the connection, the
// parsers and the decoder throw. A canceler sets canceled, then cancels the
// connection from another thread (CHttpConnection::Cancel), which ends the
// exchange under way and refuses every later connect; the flag is read again
// once each socket is connected, for a caller that only closes.
std::shared_ptr<CHttpResponse> MakeHttpRequest(const std::shared_ptr<CHttpSession>& session,
                                               const std::shared_ptr<CHttpConnection>& connection,
                                               const std::shared_ptr<CHttpRequest>& request,
                                               const std::shared_ptr<IHttpResponseSink>& sink = nullptr,
                                               const std::atomic<bool>* canceled = nullptr,
                                               const RedirectionGate& redirecting = nullptr);

// The request to the target of a redirection that a gate set aside, as the
// redirection would have taken it there: its one exchange with the target.
std::shared_ptr<CHttpResponse> FollowRedirectionTo(const std::shared_ptr<CHttpSession>& session,
                                                   const std::shared_ptr<CHttpConnection>& connection,
                                                   const std::shared_ptr<CHttpRequest>& request,
                                                   const std::shared_ptr<IHttpResponseSink>& sink,
                                                   const std::atomic<bool>* canceled, const CUri& target);

// Removes the response's content coding from the body (gzip, deflate with or
// without the zlib wrapper) and then the Content-Encoding header; a body that
// would decode to more than limit bytes raises instead.
void DecodeHttpResponseBody(CHttpResponse& response, std::string& body,
                            uint64_t limit = MaximumResponseBodyLength);

} // namespace Quenzal::Net

#pragma once
// The add-in's client of the appliance's web API. Every request goes to a
// script under "/cgi-mod/" of the configured appliance (marking goes to the
// appliance named in the message), carries the add-in's identity headers and,
// for every script but the two of the authentication probe, the Digest
// credentials of the stored account. Requests run on the thread pool, one at
// a time per appliance; the asynchronous ones record their outcome as the
// appliance's status, the synchronous ones raise CNxoApiError. Every request
// but the upload and the preamble ends within the request time limit; their
// answers end within the time-out.
//
// The client's own lock (the HTTP client's) also guards the counters and the
// credential change after a verified probe; the cached whitelist keeps
// itself, outside that lock.

#include "AsyncHttpRequestContext.h"
#include "CachedWhitelist.h"
#include "HttpClient.h"
#include "KvdRequest.h"
#include "MimeContainer.h"
#include "NxoApiRequestQueue.h"
#include "VersionInfo.h"
#include "Wait.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CNxoClientConfig;

// The scripts of the appliance, in the order of their request kinds.
enum NxoApiRequestKind : uint32_t {
    NxoApiRequestAuthenticationProbe = 0,  // addin_auth_request.cgi
    NxoApiRequestAuthenticationConfirm = 1, // addin_auth_confirm.cgi
    NxoApiRequestMark = 2,                  // mark.cgi
    NxoApiRequestWhitelist = 3,             // whitelist.cgi
    NxoApiRequestClientConfiguration = 4,   // get_info.cgi
    NxoApiRequestStoreFile = 5,             // stub_attachment.cgi
    NxoApiRequestStubPreamble = 6,          // stub_preamble.cgi
};

// A request to the appliance; its exchange holds its server's turn, so that
// only one request to an appliance is on the wire at a time. A redirection to
// another server ends the request's run on its pool thread; it runs again,
// following the redirection, in the target's turn.
class CNxoApiRequestContext : public Quenzal::Net::CAsyncHttpRequestContext,
                              public std::enable_shared_from_this<CNxoApiRequestContext> {
public:
    using CAsyncHttpRequestContext::CAsyncHttpRequestContext;
    // Without its turn, or with its time limit spent waiting for it, the
    // request fails as a server that does not answer makes it fail.
    void Execute() override;
    // The turn ends here, before the handlers run; a redirected request waits
    // for the target's turn instead, and completes later.
    void OnExecutionCompleted() override;
    // A request waiting for its turn is also handed to the pool at once.
    void Cancel() override;

    const Quenzal::Os::CDeadline& GetDeadline() const;

protected:
    // Another server's requests are on the wire one at a time too.
    bool OnRedirecting(const Quenzal::Net::CUri& target) override;

private:
    friend class CNxoApiRequestQueue;

    CNxoApiRequestQueue::CPlace m_place;
};

class CNxoApiClient : public Quenzal::Net::CHttpClient {
public:
    using ContextPtr = std::shared_ptr<Quenzal::Net::CAsyncHttpRequestContext>;
    using ProbeHandler = std::function<void(const ContextPtr&)>;

    // Takes the stored account as Digest credentials when there is one.
    CNxoApiClient();
    // Waits for the requests whose completion would still use the client.
    ~CNxoApiClient() override;

    // Refuses new requests from now on, cancels this client's requests and
    // returns once each has completed, its completion handlers included (a
    // completion handler's own request excepted). Other clients' requests
    // go on.
    void EndRequests();

    // For the requests made from now on; the default suits every user.
    void SetRequestTimeLimit(const Quenzal::DateTimeSpan& limit) { m_requestTimeLimit = limit; }

    static Quenzal::StringW GetCgiName(uint32_t kind);
    // The request of the kind for the URI text, or for the configured
    // appliance when the text is empty. Raises before anything is sent.
    std::shared_ptr<Quenzal::Net::CHttpRequest> CreateApiRequest(uint32_t kind, const std::wstring& uri);
    // A hidden value shows as "********" wherever the URI is logged.
    static void AddRequestParameter(Quenzal::Net::CHttpRequest& request, const std::wstring& name,
                                    const std::wstring& value, bool hidden);
    ContextPtr CreateAsyncRequest(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request,
                                  const std::shared_ptr<Quenzal::Net::IHttpResponseSink>& sink,
                                  const std::shared_ptr<Quenzal::Net::IHttpRequestNotifier>& notifier,
                                  CompletionHandler handler) override;
    // Into the queue of the request's server.
    void SubmitAsyncRequest(const ContextPtr& context) override;
    // The outcome as "NxoUriStatus", for the configured appliance only.
    void UpdateNxoUriStatus(const Quenzal::Net::CAsyncHttpRequestContext& context);

    // Asynchronous: they return at once with the queued request (null when
    // nothing had to be sent); the outcome is judged on the pool thread.
    ContextPtr InitiateAuthenticationProbe(const std::wstring& identity, ProbeHandler handler);
    ContextPtr MarkMessage(const std::wstring& uri, const std::wstring& debugId, bool spam);
    // Drops the addresses the appliance already has from the list.
    ContextPtr WhitelistAddresses(std::set<std::string>& addresses);

    // Synchronous: they return the answer or raise.
    void VerifyAuthenticationProbe(const std::wstring& identity, const std::wstring& token);
    void GetClientConfiguration(CNxoClientConfig& config);
    // The multipart upload of the file with the stubbing's metadata.
    std::shared_ptr<Quenzal::Net::CHttpRequest> CreateKvdUploadRequest(const KvdRequestInfo& info,
                                                                       const std::wstring& path,
                                                                       const std::wstring& fileName);
    // Under the request's progress dialog, whose Cancel cancels the request.
    Quenzal::StringW StoreKvdFile(const KvdRequestInfo& info, const std::wstring& path, const std::wstring& fileName);
    Quenzal::StringW GetKvdPreamble(const KvdRequestInfo& info, const std::vector<StoredAttachment>& attachments);

private:
    explicit CNxoApiClient(const Quenzal::Os::HostApplicationInfo& host);
    // Starts the request and waits for it without pumping messages.
    ContextPtr PerformApiRequest(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request);
    // Queues the request with the handler after the status bookkeeping.
    ContextPtr SubmitWithStatus(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request,
                                std::function<void(const ContextPtr&)> handler);
    static void FormatKvdMetadata(const KvdRequestInfo& info, Quenzal::Net::CMimeContainer::Parts& parts);
    static void AddKvdMetadataField(Quenzal::Net::CMimeContainer::Parts& parts, const wchar_t* name,
                                    const std::wstring& value);
    std::vector<ContextPtr> GetLiveRequests();
    static void WaitForRequests(const std::vector<ContextPtr>& requests);

    CCachedWhitelist m_cachedWhitelist;
    // Small requests only: long enough for two rounds (the Digest challenge
    // and its answer) to a slow appliance, short enough for a user waiting.
    Quenzal::DateTimeSpan m_requestTimeLimit{0, 0, 0, 30, 0};
    // Requests handed to the pool, so that the destructor can wait for them.
    std::vector<std::weak_ptr<Quenzal::Net::CAsyncHttpRequestContext>> m_requests;
    bool m_ended = false;
};

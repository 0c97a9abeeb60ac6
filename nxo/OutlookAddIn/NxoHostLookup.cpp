#include "NxoHostLookup.h"

#include "CaughtException.h"
#include "CriticalSection.h"
#include "ErrorReport.h"
#include "Net.h"
#include "StringW.h"
#include "ThreadPoolWork.h"

#include <algorithm>
#include <map>
#include <vector>

using namespace Quenzal;

namespace {

// Enough for a few slow name servers at once, few enough that a flood of
// mail naming hosts that never answer costs little.
constexpr size_t LookupThreads = 4;

struct Asking {
    std::weak_ptr<void> owner;
    NxoHostLookup::Answer answer;
};

struct Lookup {
    std::vector<Asking> askings;
    bool running = false;
};

// Keyed by the host in lower case: names compare without regard to case.
struct Lookups {
    Os::CCriticalSection lock;
    std::map<std::string, Lookup> hosts;
    // Hosts waiting for a thread, the newest last.
    std::vector<std::string> waiting;
    size_t running = 0;
};

Lookups g_lookups;

bool IsWanted(const Lookup& lookup)
{
    return std::any_of(lookup.askings.begin(), lookup.askings.end(),
                       [](const Asking& asking) { return !asking.owner.expired(); });
}

// Under the lock: the newest waiting host that someone still wants, now
// counted as running; empty when none is left or no thread is free.
std::string TakeNext()
{
    while (g_lookups.running < LookupThreads && !g_lookups.waiting.empty()) {
        std::string host = std::move(g_lookups.waiting.back());
        g_lookups.waiting.pop_back();
        auto entry = g_lookups.hosts.find(host);
        if (entry == g_lookups.hosts.end() || entry->second.running)
            continue;
        if (!IsWanted(entry->second)) {
            g_lookups.hosts.erase(entry);
            continue;
        }
        entry->second.running = true;
        ++g_lookups.running;
        return host;
    }
    return std::string();
}

void Start(const std::string& host);

void Run(const std::string& host)
{
    bool resolved = false;
    try {
        Net::ResolveHostname(StringW(host), 443);
        resolved = true;
    } catch (...) {
        // A host that does not resolve is the answer, not a failure.
    }
    std::vector<Asking> askings;
    std::string next;
    {
        Os::CCriticalSectionLock lock(g_lookups.lock);
        auto entry = g_lookups.hosts.find(host);
        if (entry != g_lookups.hosts.end()) {
            askings = std::move(entry->second.askings);
            g_lookups.hosts.erase(entry);
        }
        --g_lookups.running;
        next = TakeNext();
    }
    if (!next.empty())
        Start(next);
    for (const Asking& asking : askings) {
        if (asking.owner.expired())
            continue;
        try {
            asking.answer(resolved);
        }
        QZL_CATCH_REPORT(L"NxoHostLookup::Resolve")
    }
}

// A lookup that cannot start is forgotten with its askings, its thread free.
void Start(const std::string& host)
{
    try {
        auto work = std::make_shared<Os::CThreadPoolWork>();
        work->SetName(L"Host lookup");
        work->SetWorkFunction([host] { Run(host); });
        Os::QueueThreadPoolWork(work);
        return;
    }
    QZL_CATCH_REPORT(L"NxoHostLookup::Resolve")
    Os::CCriticalSectionLock lock(g_lookups.lock);
    g_lookups.hosts.erase(host);
    --g_lookups.running;
}

} // namespace

namespace NxoHostLookup {

void Resolve(const std::string& host, std::weak_ptr<void> owner, Answer answer)
{
    std::string key = host;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; });
    std::string next;
    {
        Os::CCriticalSectionLock lock(g_lookups.lock);
        Lookup& lookup = g_lookups.hosts[key];
        lookup.askings.push_back(Asking{std::move(owner), std::move(answer)});
        if (!lookup.running) {
            // Asked again, a waiting host moves to the front.
            std::erase(g_lookups.waiting, key);
            g_lookups.waiting.push_back(key);
        }
        next = TakeNext();
    }
    if (!next.empty())
        Start(next);
}

} // namespace NxoHostLookup

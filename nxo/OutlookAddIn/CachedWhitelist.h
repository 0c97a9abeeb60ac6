#pragma once
// The addresses that the appliance has already accepted into the user's
// whitelist, remembered from one run of Outlook to the next so that none is
// sent twice: "whitelist.txt" in the add-in's data folder (one address a
// line, CR LF, only ever appended) and the same addresses in memory, compared
// without regard to ASCII case.
//
// A whitelist belongs to one appliance: the server it was filled for is kept
// beside the file ("whitelist.appliance"), and binding the cache to another
// server empties it, so that a new appliance is sent every address again.
// A cache from before that file existed is taken to belong to the first
// appliance it is bound to.
//
// Any thread may use it. Its own locks keep it: one for the addresses in
// memory, never held across file I/O, and one that puts the writes of the
// files in order. An answer of many addresses is appended in one write, and
// no request of its owner (the API client) waits for it.

#include "CriticalSection.h"
#include "SmtpAddressSet.h"
#include "StringW.h"

#include <set>
#include <string>
#include <vector>

namespace Quenzal::Net {
class CUri;
}

class CCachedWhitelist {
public:
    using AddressSet = Quenzal::Mapi::SmtpAddressSet;

    // Imports the file of the product's older name and loads the cache; file
    // problems are logged, never raised, and a file that cannot be read now
    // is left as it is for the next start.
    CCachedWhitelist();
    CCachedWhitelist(const CCachedWhitelist&) = delete;
    CCachedWhitelist& operator=(const CCachedWhitelist&) = delete;

    // True when the address (trimmed) was new and is now in the file and in
    // memory; one without an at sign, holding a control character or longer
    // than any mail address (254) is refused.
    bool AddAddressToWhitelist(const std::string& address) { return AddAddresses({address}) == 1; }
    // The same for each address, appended to the file in one write; answers
    // how many were new and are now stored.
    size_t AddAddresses(const std::set<std::string>& addresses);
    // An appliance's answer: its addresses, in the same step, go in only
    // while the cache belongs to that appliance, or to none yet (it then
    // belongs to this one). A bind to another appliance meanwhile never
    // receives them: they would never be sent to it.
    size_t AddAddresses(const Quenzal::Net::CUri& appliance, const std::set<std::string>& addresses);
    bool Contains(const std::string& address) const;
    AddressSet GetAddresses() const;

    // Empties the cache when it was filled for another server than this
    // URI's (scheme, host without case, port), then belongs to this one.
    void BindToAppliance(const Quenzal::Net::CUri& appliance);

    const Quenzal::StringW& GetPath() const { return m_path; }

private:
    void ImportLegacyWhitelist();
    void Load();
    void LoadAppliance();
    // Under the file lock: the cache belongs to the server from now on.
    void Bind(const std::string& server);
    // Under the file lock: the new addresses into the file and memory.
    size_t Append(const std::set<std::string>& addresses);
    // Under the file lock; the new addresses as they go into the file.
    std::vector<std::string> TakeNewAddresses(const std::set<std::string>& addresses);

    mutable Quenzal::Os::CCriticalSection m_lock;
    Quenzal::Os::CCriticalSection m_fileLock;
    Quenzal::StringW m_path;
    Quenzal::StringW m_appliancePath;
    // "https://host:port"; empty while no appliance is known.
    std::string m_appliance;
    AddressSet m_addresses;
};

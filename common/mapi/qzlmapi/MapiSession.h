#pragma once
// The MAPI layer's process-wide state: the add-in's session and the two
// address caches. The user-interface thread fills and empties the session
// while MAPI notification threads resolve addresses, so all of it sits
// behind one lock: no insert races another, and a caller works on a
// reference of its own, so a session is never released while in use.

#include "MapiPointers.h"
#include "StringW.h"

#include <string>

namespace Quenzal::Mapi {

class CMapiSessionHolder {
public:
    // Holds a reference of its own; the one it held before is released.
    void Set(IMAPISession* session);
    void Clear() { Set(nullptr); }
    // A reference of the caller's own, null when none is held.
    IMAPISessionPtr Get() const;
};

// The one holder of the process; it releases what it holds at process exit.
CMapiSessionHolder& GetMapiSession();

// The EX address cache: only successful resolutions are stored, the first
// one stored for an address (in any case) stays; it never shrinks.
bool FindCachedSmtpAddress(const std::string& exAddress, std::string& smtpAddress);
void CacheSmtpAddress(const std::string& exAddress, const std::string& smtpAddress);

// The user's own address: empty until the first non-empty one is stored,
// which then stays for the life of the process.
StringW GetCachedUserSmtpAddress();
StringW CacheUserSmtpAddress(const StringW& address);

} // namespace Quenzal::Mapi

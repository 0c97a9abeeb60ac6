#pragma once
// Name lookups of the hosts that mail names as its appliance. A lookup
// blocks its thread, cannot be canceled and may take seconds to fail, and
// anyone can send mail: no thread that Outlook or the store waits on makes
// one. Each runs on a pool thread; between them they take only a few, and
// the others wait for one without a thread, the newest first (the newest
// mail is the likeliest to name the appliance, as the inbox scan has it). A
// host is looked up once at a time: a second asking joins the lookup under
// way. An asking whose owner is gone is not answered, and a lookup that no
// owner wants any more is not started.

#include <functional>
#include <memory>
#include <string>

namespace NxoHostLookup {

// Called on the pool thread that looked the host up; true when it resolved.
using Answer = std::function<void(bool resolved)>;

// Any thread; returns at once. The pool work holds the module until it has
// returned, also after its owner has gone.
void Resolve(const std::string& host, std::weak_ptr<void> owner, Answer answer);

} // namespace NxoHostLookup

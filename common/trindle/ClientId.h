#pragma once
// The installation's client ID: 32 lower-case hexadecimal digits made once per
// Windows user and kept in the registry (HKEY_CURRENT_USER, the core
// library's key, value "ClientId"). Nothing holds it in memory.

#include "StringW.h"

namespace Quenzal::App {

// The stored ID, created and stored on first use. Safe on any thread: only one
// ID is ever created per user.
StringW GetClientId();
// The stored ID, or empty when there is none yet or the stored one could not
// be sent in a header (a new one then takes its place).
StringW TryGetClientId();
// Creates and stores a new ID unless another thread has just done so.
StringW CreateClientId();

} // namespace Quenzal::App

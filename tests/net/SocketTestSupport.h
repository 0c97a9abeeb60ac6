#pragma once
// Helpers for tests that move bytes over sockets: a recognisable byte
// pattern (the one the test servers send) and a receive loop.

#include "Socket.h"

#include <cstddef>
#include <string>

namespace QzlTest {

// size bytes counting 0, 1, ... 250 and round again.
std::string Pattern(size_t size);
// Receives until the text holds at least count bytes.
std::string ReceiveAtLeast(Quenzal::Net::CSocket& socket, size_t count);

} // namespace QzlTest

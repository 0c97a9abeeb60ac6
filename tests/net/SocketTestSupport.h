#pragma once
// Helpers for tests that move bytes over sockets: a recognisable byte
// pattern (the one the test servers send), a receive loop and a fixture
// base that starts Winsock.

#include "Socket.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace QzlTest {

// The base of fixtures whose tests use sockets: Winsock is started once per suite.
class CSocketFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite();
};

// size bytes counting 0, 1, ... 250 and round again.
std::string Pattern(size_t size);
// Receives until the text holds at least count bytes.
std::string ReceiveAtLeast(Quenzal::Net::CSocket& socket, size_t count);

} // namespace QzlTest

#include "SocketTestSupport.h"

#include "Net.h"

namespace QzlTest {

void CSocketFixture::SetUpTestSuite()
{
    Quenzal::Net::InitializeSockets();
}

std::string Pattern(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(i % 251);
    return data;
}

std::string ReceiveAtLeast(Quenzal::Net::CSocket& socket, size_t count)
{
    std::string data;
    while (data.size() < count)
        socket.Receive(data);
    return data;
}

} // namespace QzlTest

#include "LocalCloud/Http/LoopbackPorts.hpp"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace LocalCloud {

namespace {

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

int unusedLoopbackPort()
{
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return 0;
    auto address = loopbackAddress(0);
    socklen_t length = sizeof(address);
    int port = 0;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
        && ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(descriptor);
    return port;
}

bool acceptsOnLoopback(int port)
{
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return false;
    auto address = loopbackAddress(port);
    bool connected = ::connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(descriptor);
    return connected;
}

} // namespace LocalCloud

#include "platform/net/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "core/UniqueFd.h"

namespace nudgerly {

bool isLoopbackPortFree(int port) {
    if (port <= 0 || port > 65535) {
        return false;
    }
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        return false;
    }
    // With address reuse on, a bind fails only where a socket is bound for listening or in use by a
    // live connection, which is exactly what must not receive our requests.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool bound = ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    return bound;
}

}  // namespace nudgerly

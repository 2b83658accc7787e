#include "support/RawConnection.h"

#include <cerrno>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nudgerly::test {

RawConnection::RawConnection(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (!fd_ || ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("Could not connect to port " + std::to_string(port));
    }
}

bool RawConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

void RawConnection::finishSending() {
    ::shutdown(fd_.get(), SHUT_WR);
}

bool RawConnection::readUntilClosed(std::chrono::milliseconds timeout, std::string& received) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd polled{.fd = fd_.get(), .events = POLLIN, .revents = 0};
        if (::poll(&polled, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = ::recv(fd_.get(), buffer, sizeof buffer, 0);
        if (count <= 0) {
            return true;
        }
        received.append(buffer, static_cast<std::size_t>(count));
    }
}

std::string RawConnection::receiveAll(std::chrono::milliseconds timeout) {
    std::string received;
    readUntilClosed(timeout, received);
    return received;
}

bool RawConnection::closedWithin(std::chrono::milliseconds timeout) {
    std::string ignored;
    return readUntilClosed(timeout, ignored);
}

std::string rawExchange(uint16_t port, std::string_view request) {
    RawConnection connection(port);
    connection.send(request);
    return connection.receiveAll();
}

}  // namespace nudgerly::test

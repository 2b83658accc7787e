#include "support/ConnectProxy.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback/LoopbackSockets.h"

namespace nudgerly::test {
namespace {

// The port of "CONNECT host:port HTTP/1.1"; 0 when the line is not of that form.
uint16_t connectPort(std::string_view head) {
    const auto lineEnd = head.find("\r\n");
    const std::string_view line = head.substr(0, lineEnd);
    if (!line.starts_with("CONNECT ")) {
        return 0;
    }
    const auto target = line.substr(8, line.find(' ', 8) - 8);
    const auto colon = target.rfind(':');
    uint16_t port = 0;
    if (colon == std::string_view::npos ||
        std::from_chars(target.data() + colon + 1, target.data() + target.size(), port).ec != std::errc()) {
        return 0;
    }
    return port;
}

}  // namespace

ConnectProxy::ConnectProxy() : listener_([this](int client) { tunnel(client); }) {}

std::string ConnectProxy::url() const {
    return "http://127.0.0.1:" + std::to_string(listener_.port());
}

void ConnectProxy::tunnel(int client) {
    std::string head;
    char buffer[16384];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
        if (count <= 0) {
            ::close(client);
            return;
        }
        head.append(buffer, static_cast<std::size_t>(count));
    }
    const uint16_t port = connectPort(head);
    const int upstream = port == 0 ? -1 : connectToLoopback(port);
    if (upstream < 0) {
        sendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
        ::close(client);
        return;
    }
    ++tunnels_;
    // What the client sent after the request head belongs to the tunnel.
    const std::string early = head.substr(head.find("\r\n\r\n") + 4);
    bool open = sendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n") && sendAll(upstream, early);
    while (open) {
        pollfd fds[3] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}, {listener_.stopFd(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 || fds[2].revents != 0) {
            break;
        }
        for (const auto& [from, to] : {std::pair{0, 1}, std::pair{1, 0}}) {
            if (open && fds[from].revents != 0) {
                const ssize_t count = ::recv(fds[from].fd, buffer, sizeof buffer, 0);
                open = count > 0 && sendAll(fds[to].fd, std::string_view(buffer, static_cast<std::size_t>(count)));
            }
        }
    }
    ::close(upstream);
    ::close(client);
}

ProxyEnvironment::ProxyEnvironment(const std::string& proxyUrl) {
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        const char* value = std::getenv(name);
        saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        ::unsetenv(name);
    }
    ::setenv("https_proxy", proxyUrl.c_str(), 1);
}

ProxyEnvironment::~ProxyEnvironment() {
    for (const auto& [name, value] : saved_) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
}

}  // namespace nudgerly::test

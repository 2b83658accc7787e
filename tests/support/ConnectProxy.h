#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace nudgerly::test {

// An HTTP proxy on 127.0.0.1 that only tunnels: it answers every CONNECT with 200 and then relays
// bytes both ways to the asked port on 127.0.0.1, whatever host name the request gave. Stops (and
// joins its threads) when destroyed.
class ConnectProxy {
public:
    ConnectProxy();
    ~ConnectProxy();
    ConnectProxy(const ConnectProxy&) = delete;
    ConnectProxy& operator=(const ConnectProxy&) = delete;

    std::string url() const;  // "http://127.0.0.1:<port>"
    std::size_t tunnelCount() const { return tunnels_; }

private:
    void acceptLoop();
    void tunnel(int client);

    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<std::size_t> tunnels_{0};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
};

// Points libcurl's proxy variables at `proxyUrl` (and clears the exclusions) for the life of the
// object, restoring what was there before.
class ProxyEnvironment {
public:
    explicit ProxyEnvironment(const std::string& proxyUrl);
    ~ProxyEnvironment();
    ProxyEnvironment(const ProxyEnvironment&) = delete;
    ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace nudgerly::test

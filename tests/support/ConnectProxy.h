#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "loopback/LoopbackListener.h"

namespace nudgerly::test {

// An HTTP proxy on 127.0.0.1 that only tunnels: it answers every CONNECT with 200 and then relays
// bytes both ways to the asked port on 127.0.0.1, whatever host name the request gave. Stops (and
// joins its threads) when destroyed.
class ConnectProxy {
public:
    ConnectProxy();

    std::string url() const;  // "http://127.0.0.1:<port>"
    std::size_t tunnelCount() const { return tunnels_; }

private:
    void tunnel(int client);

    std::atomic<std::size_t> tunnels_{0};
    LoopbackListener listener_;  // last: its threads stop before the rest goes
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

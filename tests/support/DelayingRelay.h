#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace nudgerly::test {

// A TCP relay from a port of its own on 127.0.0.1 to `targetPort` on 127.0.0.1 that holds every byte
// for `delay` in each direction before passing it on: the round trip of a real network, on loopback,
// without a proxy the client would have to be told about. Stops (and joins its threads) when destroyed.
class DelayingRelay {
public:
    DelayingRelay(uint16_t targetPort, std::chrono::milliseconds delay);
    ~DelayingRelay();
    DelayingRelay(const DelayingRelay&) = delete;
    DelayingRelay& operator=(const DelayingRelay&) = delete;

    uint16_t port() const { return port_; }

private:
    void relay(int client);

    const uint16_t targetPort_;
    const std::chrono::milliseconds delay_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
};

}  // namespace nudgerly::test

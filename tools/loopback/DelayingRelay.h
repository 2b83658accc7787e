#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "loopback/LoopbackListener.h"

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

    uint16_t port() const { return listener_.port(); }

private:
    void relay(int client);

    const uint16_t targetPort_;
    const std::chrono::milliseconds delay_;
    std::atomic<bool> stopping_{false};  // what is still held is not sent on
    LoopbackListener listener_;          // last: its threads stop before the rest goes
};

}  // namespace nudgerly::test

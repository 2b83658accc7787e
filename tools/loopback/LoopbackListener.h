#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace nudgerly::test {

// Listens on 127.0.0.1 at a port the system picks and runs `serve` with each accepted connection on a
// thread of its own. stop() (also called when it is destroyed) ends the accepting, makes stopFd()
// readable so that connections waiting in poll() give up, and joins their threads. Throws
// std::runtime_error when it cannot listen.
class LoopbackListener {
public:
    explicit LoopbackListener(std::function<void(int connection)> serve);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    uint16_t port() const { return port_; }
    int stopFd() const { return stopPipe_[0]; }
    bool isStopping() const { return stopping_; }
    void stop();

private:
    std::function<void(int)> serve_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::thread acceptThread_;
};

}  // namespace nudgerly::test

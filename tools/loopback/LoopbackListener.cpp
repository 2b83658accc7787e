#include "loopback/LoopbackListener.h"

#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback/AcceptLoop.h"

namespace nudgerly::test {

LoopbackListener::LoopbackListener(std::function<void(int)> serve) : serve_(std::move(serve)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        if (listenFd_ >= 0) {
            ::close(listenFd_);
        }
        throw std::runtime_error("the test listener cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] {
        acceptUntilStopped(listenFd_, stopPipe_[0], [this](int connection) {
            std::lock_guard lock(mutex_);
            connections_.emplace_back([this, connection] { serve_(connection); });
        });
    });
}

LoopbackListener::~LoopbackListener() {
    stop();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void LoopbackListener::stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(stopPipe_[1], &byte, 1);
    acceptThread_.join();
    for (auto& connection : connections_) {
        connection.join();
    }
}

}  // namespace nudgerly::test

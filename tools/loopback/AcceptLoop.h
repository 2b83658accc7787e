#pragma once

#include <functional>

#include <poll.h>
#include <sys/socket.h>

namespace nudgerly::test {

// Accepts connections on `listenFd` and hands each new descriptor to `accepted` until `stopFd`
// becomes readable (a byte written to the other end of a pipe). In the header so that programs
// built from single support files (the stand-in server) need nothing more.
inline void acceptUntilStopped(int listenFd, int stopFd, const std::function<void(int)>& accepted) {
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            accepted(fd);
        }
    }
}

}  // namespace nudgerly::test

#include "support/NamedPipe.h"

#include <cerrno>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nudgerly::test {

NamedPipe::NamedPipe(std::filesystem::path path) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) {
        throw std::runtime_error("mkfifo " + path_.string() + " failed");
    }
    // Opened without waiting for a writer; until one has come and gone, poll reports nothing.
    reader_.reset(::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!reader_) {
        throw std::runtime_error("opening " + path_.string() + " failed");
    }
}

NamedPipe::~NamedPipe() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

bool NamedPipe::waitForLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        char byte = 0;
        const ssize_t count = ::read(reader_.get(), &byte, 1);
        if (count > 0) {
            if (byte == '\n') {
                return true;
            }
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd polled{.fd = reader_.get(), .events = POLLIN, .revents = 0};
        const int ready = left.count() > 0 ? ::poll(&polled, 1, static_cast<int>(left.count())) : 0;
        if (ready == 0 || (ready < 0 && errno != EINTR)) {
            return false;
        }
        if ((polled.revents & POLLIN) == 0 && (polled.revents & POLLHUP) != 0) {
            return false;  // a writer came and went without a whole line
        }
    }
}

}  // namespace nudgerly::test

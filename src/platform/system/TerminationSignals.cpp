#include "platform/system/TerminationSignals.h"

#include <atomic>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace nudgerly {
namespace {

constexpr std::array watchedSignals{SIGINT, SIGTERM};

// The write end of the pipe; the handler may do no more than write to it.
std::atomic<int> signalPipe{-1};

void onSignal(int) {
    const int savedErrno = errno;
    const int fd = signalPipe.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);  // a full pipe already holds a request
    }
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "The signal pipe could not be made");
    }
    readEnd_.reset(fds[0]);
    writeEnd_.reset(fds[1]);
    signalPipe.store(writeEnd_.get());

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < watchedSignals.size(); ++i) {
        ::sigaction(watchedSignals[i], &action, &previousHandlers_[i]);
    }
}

TerminationSignals::~TerminationSignals() {
    for (std::size_t i = 0; i < watchedSignals.size(); ++i) {
        ::sigaction(watchedSignals[i], &previousHandlers_[i], nullptr);
    }
    signalPipe.store(-1);
}

bool TerminationSignals::takeArrivals() {
    bool arrived = false;
    char buffer[64];
    while (::read(readEnd_.get(), buffer, sizeof buffer) > 0) {
        arrived = true;
    }
    return arrived;
}

}  // namespace nudgerly

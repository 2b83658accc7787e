#include "ui/shell/TerminationController.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "state/AppStateView.h"

namespace nudgerly {
namespace {

constexpr std::array watchedSignals{SIGINT, SIGTERM};

// The write end of the pipe of the controller that watches signals; the handler may only do this much.
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

TerminationController::TerminationController(AppStateView& state, std::function<void()> finish, QObject* parent)
    : QObject(parent), state_(state), finish_(std::move(finish)) {
    if (!finish_) {
        // Not quit(): that first asks every window to close, and the main window answers a close by
        // asking to quit.
        finish_ = [] { QCoreApplication::exit(0); };
    }
}

TerminationController::~TerminationController() {
    if (watching_) {
        for (std::size_t i = 0; i < watchedSignals.size(); ++i) {
            ::sigaction(watchedSignals[i], &previousHandlers_[i], nullptr);
        }
        signalPipe.store(-1);
    }
    delete notifier_;  // before its descriptor closes with the members
}

void TerminationController::requestQuit() {
    if (terminating_) {
        return;  // the shutdown under way ends the program
    }
    terminating_ = true;
    state_.shutdownForTermination([this] { finish_(); });
}

void TerminationController::watchSignals() {
    if (watching_) {
        return;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "The signal pipe could not be made");
    }
    readEnd_.reset(fds[0]);
    writeEnd_.reset(fds[1]);
    signalPipe.store(writeEnd_.get());
    notifier_ = new QSocketNotifier(readEnd_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { signalArrived(); });

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < watchedSignals.size(); ++i) {
        ::sigaction(watchedSignals[i], &action, &previousHandlers_[i]);
    }
    watching_ = true;
}

void TerminationController::signalArrived() {
    char buffer[64];
    while (::read(readEnd_.get(), buffer, sizeof buffer) > 0) {
    }
    requestQuit();
}

}  // namespace nudgerly

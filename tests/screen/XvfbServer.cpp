#include "XvfbServer.h"

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace nudgerly::test {
namespace {

constexpr int startUpTimeoutMs = 30'000;

// The display number Xvfb writes to `fd` once it accepts clients; empty when it ended first or took
// too long.
std::string readDisplayNumber(int fd) {
    std::string number;
    for (;;) {
        pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
        if (::poll(&ready, 1, startUpTimeoutMs) <= 0) {
            return {};
        }
        char byte = 0;
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return {};
        }
        if (byte == '\n') {
            return number;
        }
        number += byte;
    }
}

}  // namespace

XvfbServer::XvfbServer(const std::string& screenSize) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("No pipe for the X server's display number.");
    }
    // The child gets the write end as descriptor 3, the one descriptor it keeps open.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 3);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // -terminate: the server ends once its last client disconnects, so a crashed test leaves none.
    std::vector<std::string> arguments{"Xvfb",     "-displayfd", "3",   "-screen",   "0",
                                       screenSize, "-nolisten",  "tcp", "-terminate"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (spawned != 0) {
        ::close(pipe[0]);
        throw std::runtime_error("Xvfb could not be started; scripts/install-deps.sh installs it.");
    }
    const std::string number = readDisplayNumber(pipe[0]);
    ::close(pipe[0]);
    if (number.empty()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("Xvfb did not start accepting clients.");
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

}  // namespace nudgerly::test

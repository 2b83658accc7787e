#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "core/FileSystemError.h"

extern char** environ;

namespace nudgerly {

std::shared_ptr<ChildProcess> ChildProcess::launch(const std::string& executable,
                                                   const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // A child inherits ignored signals and the blocked mask across exec; give it a clean slate.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = 0;
    const int result = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        throw ChildProcessLaunchError("Couldn't start \u201C" + executable + "\u201D: " + describeSystemError(result));
    }
    return std::shared_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() {
    std::lock_guard lock(mutex_);
    if (!reapLocked(false)) {
        // Still running (or dying after a kill): reap it whenever it ends, so that it never lingers
        // as a zombie. This does not stop it.
        std::thread([pid = pid_] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
}

bool ChildProcess::reapLocked(bool block) {
    if (status_) {
        return true;
    }
    int status = 0;
    pid_t result = 0;
    do {
        result = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_) {
        status_ = status;
        return true;
    }
    if (result < 0 && errno == ECHILD) {
        // Someone else reaped it (or it never was our child): treat it as gone, never signal it again.
        status_ = 0;
        return true;
    }
    return false;
}

bool ChildProcess::isRunning() {
    std::lock_guard lock(mutex_);
    return !reapLocked(false);
}

bool ChildProcess::signal(int signalNumber) {
    std::lock_guard lock(mutex_);
    if (reapLocked(false)) {
        return false;
    }
    return ::kill(pid_, signalNumber) == 0;
}

bool ChildProcess::terminate() {
    return signal(SIGTERM);
}

bool ChildProcess::interrupt() {
    return signal(SIGINT);
}

bool ChildProcess::kill() {
    return signal(SIGKILL);
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (!isRunning()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::optional<int> ChildProcess::waitStatus() {
    std::lock_guard lock(mutex_);
    reapLocked(false);
    return status_;
}

}  // namespace nudgerly

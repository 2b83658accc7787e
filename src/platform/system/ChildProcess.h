#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "core/UserFacingError.h"

namespace nudgerly {

class ChildProcessLaunchError : public UserFacingError {
public:
    using UserFacingError::UserFacingError;
};

struct ChildProcessOptions {
    // The child is killed (SIGKILL) when this program ends in any way, a crash included. The kernel ties
    // this to the launching thread: the child is also killed when that thread ends, so launch such
    // children from a thread that lives as long as they should.
    bool dieWithParent = false;
    // Variables set for the child, over the inherited environment.
    std::vector<std::pair<std::string, std::string>> environment;
};

// A child program: standard input and the environment inherited (with the options' variables set),
// standard output and error sent to /dev/null, every other descriptor closed, signal dispositions and
// the signal mask reset to the defaults. The object is the process's identity (compare pointers). It
// reaps the child itself and sends signals only while the child is unreaped, so a recycled process id
// is never signalled.
// Destroying the object does not stop the child; a child still running then is reaped at a later
// launch or destruction of any child process after it has ended. Safe to use from any thread.
class ChildProcess {
public:
    // Throws ChildProcessLaunchError when the program cannot be started.
    static std::shared_ptr<ChildProcess> launch(const std::string& executable,
                                                const std::vector<std::string>& arguments,
                                                ChildProcessOptions options = {});

    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool isRunning();
    // False when the child had already exited and been reaped.
    bool signal(int signalNumber);
    bool terminate();  // SIGTERM
    bool interrupt();  // SIGINT
    bool kill();       // SIGKILL
    // Waits up to `timeout` for the child to exit; true once it has.
    bool waitForExit(std::chrono::milliseconds timeout);
    // The raw wait status once the child has been reaped.
    std::optional<int> waitStatus();

private:
    ChildProcess() = default;
    bool reapLocked(bool block);

    pid_t pid_ = 0;
    std::mutex mutex_;
    std::optional<int> status_;
};

}  // namespace nudgerly

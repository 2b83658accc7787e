#include "platform/system/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/FileSystemError.h"
#include "core/UniqueFd.h"

extern char** environ;

namespace nudgerly {
namespace {

// Children whose objects went while they still ran, waiting to be reaped once they end. Room for every
// live child is reserved at launch, so a destructor hands its pid over without allocating. Never
// destroyed: a child object may still go while the program exits.
struct Orphans {
    std::mutex mutex;
    std::vector<pid_t> pids;
    std::size_t liveChildren = 0;
};

Orphans& orphans() {
    static auto* shared = new Orphans;
    return *shared;
}

void reapEndedOrphansLocked(Orphans& shared) {
    std::erase_if(shared.pids, [](pid_t pid) {
        pid_t result = 0;
        do {
            result = ::waitpid(pid, nullptr, WNOHANG);
        } while (result < 0 && errno == EINTR);
        return result == pid || (result < 0 && errno == ECHILD);
    });
}

// Marks every descriptor from 3 up close-on-exec, so that only the error pipe stays usable until exec.
// Only async-signal-safe calls: this runs between fork and exec.
void closeInheritedDescriptorsOnExec(int keep) {
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    // Kernels before 5.11: close them outright, except the error pipe.
    rlimit limit{};
    const int highest = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                            ? static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20))
                            : 1 << 16;
    for (int fd = 3; fd < highest; ++fd) {
        if (fd != keep) {
            ::close(fd);
        }
    }
}

// Hands errno to the parent and ends the child.
[[noreturn]] void failInChild(int errorPipe) {
    const int error = errno;
    while (::write(errorPipe, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

// The child's side, between fork and exec. Any failure is written to `errorPipe` as an errno value.
[[noreturn]] void becomeChild(const char* executable, char* const* argv, char* const* envp, int errorPipe, pid_t parent,
                              bool dieWithParent) {
    const auto fail = [errorPipe] { failInChild(errorPipe); };
    if (dieWithParent) {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
            fail();
        }
        // The parent may have died before the request took effect; then nobody would kill us.
        if (::getppid() != parent) {
            ::_exit(127);
        }
    }
    // A child inherits ignored signals and the blocked mask across exec; give it a clean slate.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) {
        ::sigaction(number, &defaults, nullptr);  // fails harmlessly for KILL, STOP and reserved ones
    }
    sigset_t none;
    sigemptyset(&none);
    if (::sigprocmask(SIG_SETMASK, &none, nullptr) != 0) {
        fail();
    }
    int devNull = -1;
    do {
        devNull = ::open("/dev/null", O_WRONLY);
    } while (devNull < 0 && errno == EINTR);
    if (devNull < 0 || ::dup2(devNull, STDOUT_FILENO) < 0 || ::dup2(devNull, STDERR_FILENO) < 0) {
        fail();
    }
    if (devNull > STDERR_FILENO) {
        ::close(devNull);
    }
    closeInheritedDescriptorsOnExec(errorPipe);
    ::execve(executable, argv, envp);
    failInChild(errorPipe);
}

}  // namespace

std::shared_ptr<ChildProcess> ChildProcess::launch(const std::string& executable,
                                                   const std::vector<std::string>& arguments,
                                                   ChildProcessOptions options) {
    const std::string context = "Couldn't start \u201C" + executable + "\u201D: ";
    // Everything the child needs is made before the fork: after it, the child may not allocate.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<std::string> settings;
    for (const auto& [name, value] : options.environment) {
        settings.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view entry(*variable);
        const bool replaced = std::ranges::any_of(options.environment, [entry](const auto& setting) {
            return entry.size() > setting.first.size() && entry.starts_with(setting.first) &&
                   entry[setting.first.size()] == '=';
        });
        if (!replaced) {
            envp.push_back(*variable);
        }
    }
    for (auto& setting : settings) {
        envp.push_back(setting.data());
    }
    envp.push_back(nullptr);
    std::shared_ptr<ChildProcess> child(new ChildProcess());
    auto& shared = orphans();
    {
        std::lock_guard lock(shared.mutex);
        reapEndedOrphansLocked(shared);
        shared.pids.reserve(shared.pids.size() + shared.liveChildren + 1);
    }

    // Tells the parent why exec failed; closed by a successful exec.
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        throw ChildProcessLaunchError(context + describeSystemError(errno));
    }
    UniqueFd errorReader(pipeEnds[0]);
    UniqueFd errorWriter(pipeEnds[1]);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw ChildProcessLaunchError(context + describeSystemError(errno));
    }
    if (pid == 0) {
        becomeChild(executable.c_str(), argv.data(), envp.data(), errorWriter.get(), parent, options.dieWithParent);
    }
    errorWriter.reset();
    child->pid_ = pid;
    {
        std::lock_guard lock(shared.mutex);
        ++shared.liveChildren;
    }

    int childError = 0;
    ssize_t count = 0;
    do {
        count = ::read(errorReader.get(), &childError, sizeof childError);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        child->waitForExit(std::chrono::seconds(5));  // it ends at once with status 127
        throw ChildProcessLaunchError(context + describeSystemError(childError));
    }
    return child;
}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0) {
        return;  // never launched
    }
    std::lock_guard lock(mutex_);
    const bool reaped = reapLocked(false);
    auto& shared = orphans();
    std::lock_guard orphansLock(shared.mutex);
    --shared.liveChildren;
    if (!reaped) {
        shared.pids.push_back(pid_);  // within the room reserved at launch: cannot throw
    }
    reapEndedOrphansLocked(shared);
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

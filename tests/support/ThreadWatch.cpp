#include "support/ThreadWatch.h"

#include <fstream>
#include <string>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace nudgerly::test {
namespace {

bool sleepsInFutexWait(pid_t thread) {
    const std::string task = "/proc/self/task/" + std::to_string(thread);
    // The state follows the command name, which may itself hold ") ".
    std::string stat;
    std::getline(std::ifstream(task + "/stat"), stat);
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size() || stat[nameEnd + 2] != 'S') {
        return false;
    }
    long call = -1;  // "running" reads as no number
    std::ifstream(task + "/syscall") >> call;
    return call == SYS_futex;
}

}  // namespace

pid_t ThreadWatch::currentThreadId() {
    return ::gettid();
}

bool ThreadWatch::waitUntilBlocked(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const pid_t thread = thread_;
        if (thread != 0 && sleepsInFutexWait(thread)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace nudgerly::test

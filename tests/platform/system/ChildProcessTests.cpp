#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/UniqueFd.h"
#include "files/TempDir.h"
#include "platform/system/ChildProcess.h"
#include "support/NamedPipe.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ChildProcessTests, RunsAProgramAndReapsIt) {
    auto child = ChildProcess::launch("/bin/sh", {"-c", "exit 3"});
    ASSERT_TRUE(child->waitForExit(5s));
    EXPECT_FALSE(child->isRunning());
    ASSERT_TRUE(child->waitStatus());
    EXPECT_EQ(WEXITSTATUS(*child->waitStatus()), 3);
    // Once reaped, no signal goes out: the pid may already belong to someone else.
    EXPECT_FALSE(child->terminate());
}

TEST(ChildProcessTests, TheChildGetsTheGivenVariablesOverTheInheritedOnes) {
    setenv("NUDGERLY_CHILD_TEST_KEPT", "kept", 1);
    setenv("NUDGERLY_CHILD_TEST_SET", "inherited", 1);
    setenv("NUDGERLY_CHILD_TEST_SET_LONGER", "longer", 1);
    const std::string script =
        R"(test "$NUDGERLY_CHILD_TEST_KEPT" = kept && test "$NUDGERLY_CHILD_TEST_SET" = given && )"
        R"(test "$NUDGERLY_CHILD_TEST_SET_LONGER" = longer && test "$NUDGERLY_CHILD_TEST_NEW" = new && )"
        R"sh(test "$(env | grep -c '^NUDGERLY_CHILD_TEST_SET=')" = 1)sh";
    auto child = ChildProcess::launch(
        "/bin/sh", {"-c", script},
        {.environment = {{"NUDGERLY_CHILD_TEST_SET", "given"}, {"NUDGERLY_CHILD_TEST_NEW", "new"}}});
    ASSERT_TRUE(child->waitForExit(5s));
    EXPECT_EQ(WEXITSTATUS(*child->waitStatus()), 0);
    unsetenv("NUDGERLY_CHILD_TEST_KEPT");
    unsetenv("NUDGERLY_CHILD_TEST_SET");
    unsetenv("NUDGERLY_CHILD_TEST_SET_LONGER");
}

TEST(ChildProcessTests, ClosesInheritedDescriptorsAndSilencesOutput) {
    test::TempDir dir;
    const auto report = dir / "fds";
    // Descriptors without close-on-exec, as a library might leave them.
    std::vector<int> leaked;
    for (int i = 0; i < 4; ++i) {
        leaked.push_back(::open("/dev/null", O_RDONLY));
    }
    // Lists the child's open descriptors (0, 1, 2 and the one ls itself opens are expected), and where
    // the shell's own output goes.
    const auto output = dir / "output";
    const std::string script =
        "ls /proc/self/fd > " + report.string() + "; echo \"$(readlink /proc/$$/fd/1)\" > " + output.string();
    auto child = ChildProcess::launch("/bin/sh", {"-c", script});
    ASSERT_TRUE(child->waitForExit(5s));
    for (const int fd : leaked) {
        ::close(fd);
    }
    std::ifstream in(report);
    std::set<std::string> listed;
    for (std::string line; std::getline(in, line);) {
        listed.insert(line);
    }
    EXPECT_TRUE(listed.contains("0") && listed.contains("1") && listed.contains("2")) << "no listing was made";
    EXPECT_LE(listed.size(), 4u);
    std::ifstream shellOutput(output);
    std::string target;
    std::getline(shellOutput, target);
    EXPECT_EQ(target, "/dev/null");
}

TEST(ChildProcessTests, SignalsEscalateUntilTheChildIsGone) {
    // The child ignores TERM and INT once it says so; only KILL ends it.
    test::TempDir dir;
    test::NamedPipe trapsSet(dir / "traps-set");
    auto child = ChildProcess::launch(
        "/bin/sh", {"-c", "trap '' TERM INT; echo > " + trapsSet.path().string() + "; while :; do sleep 0.05; done"});
    ASSERT_TRUE(trapsSet.waitForLine());
    EXPECT_TRUE(child->terminate());
    EXPECT_FALSE(child->waitForExit(200ms));
    EXPECT_TRUE(child->interrupt());
    EXPECT_FALSE(child->waitForExit(200ms));
    EXPECT_TRUE(child->kill());
    EXPECT_TRUE(child->waitForExit(5s));
    EXPECT_TRUE(WIFSIGNALED(*child->waitStatus()));
}

std::size_t threadCount() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/task"), {}));
}

// 'Z' for a zombie, 0 when the process is gone.
char processState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const auto close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

// Waits for the process to end (a zombie has ended); true once it has.
bool endsWithin(pid_t pid, std::chrono::milliseconds limit) {
    const UniqueFd process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!process) {
        return errno == ESRCH;  // gone already
    }
    pollfd polled{.fd = process.get(), .events = POLLIN, .revents = 0};
    return ::poll(&polled, 1, static_cast<int>(limit.count())) == 1;
}

TEST(ChildProcessTests, AChildOutlivingItsObjectIsReapedLaterWithoutAThread) {
    pid_t pid = 0;
    {
        auto child = ChildProcess::launch("/bin/sh", {"-c", "sleep 0.2"});
        pid = child->pid();
        const std::size_t threads = threadCount();
        child.reset();
        EXPECT_EQ(threadCount(), threads);
    }
    ASSERT_TRUE(endsWithin(pid, 10s));
    // A later launch reaps it: nothing of it is left, not even a zombie.
    EXPECT_TRUE(ChildProcess::launch("/bin/true", {})->waitForExit(5s));
    EXPECT_EQ(processState(pid), 0);
}

TEST(ChildProcessTests, AChildMeantToDieWithTheProgramDiesWhenItCrashes) {
    test::TempDir dir;
    const fs::path pidFile = dir / "pid";
    const auto launcher = ChildProcess::launch(NUDGERLY_CRASHING_LAUNCHER, {pidFile.string(), "/bin/sleep", "30"});
    ASSERT_TRUE(launcher->waitForExit(10s));
    ASSERT_TRUE(WIFSIGNALED(*launcher->waitStatus()));
    pid_t orphan = 0;
    std::ifstream(pidFile) >> orphan;
    ASSERT_GT(orphan, 0);
    const bool gone = endsWithin(orphan, 10s);
    if (!gone) {
        ::kill(orphan, SIGKILL);
    }
    EXPECT_TRUE(gone) << "the child outlived the crashed program";
}

TEST(ChildProcessTests, AMissingProgramIsALaunchError) {
    EXPECT_THROW(ChildProcess::launch("/nonexistent/llama-server", {}), ChildProcessLaunchError);
}

}  // namespace
}  // namespace nudgerly

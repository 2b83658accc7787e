#include <csignal>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ChildProcess.h"
#include "support/TempDir.h"

namespace nudgerly {
namespace {

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

TEST(ChildProcessTests, ClosesInheritedDescriptorsAndSilencesOutput) {
    test::TempDir dir;
    const auto report = dir / "fds";
    // Descriptors without close-on-exec, as a library might leave them.
    std::vector<int> leaked;
    for (int i = 0; i < 4; ++i) {
        leaked.push_back(::open("/dev/null", O_RDONLY));
    }
    // Lists the child's open descriptors; 0, 1, 2 and the one ls itself opens are expected.
    auto child = ChildProcess::launch("/bin/sh", {"-c", "ls /proc/self/fd > " + report.string() + "; echo noise"});
    ASSERT_TRUE(child->waitForExit(5s));
    std::ifstream in(report);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        ++count;
    }
    for (const int fd : leaked) {
        ::close(fd);
    }
    EXPECT_LE(count, 4);
}

TEST(ChildProcessTests, SignalsEscalateUntilTheChildIsGone) {
    // The child ignores TERM and INT; only KILL ends it.
    auto child = ChildProcess::launch("/bin/sh", {"-c", "trap '' TERM INT; while :; do sleep 0.05; done"});
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(child->terminate());
    EXPECT_FALSE(child->waitForExit(200ms));
    EXPECT_TRUE(child->interrupt());
    EXPECT_FALSE(child->waitForExit(200ms));
    EXPECT_TRUE(child->kill());
    EXPECT_TRUE(child->waitForExit(5s));
    EXPECT_TRUE(WIFSIGNALED(*child->waitStatus()));
}

TEST(ChildProcessTests, AChildOutlivingItsObjectIsStillReaped) {
    pid_t pid = 0;
    {
        auto child = ChildProcess::launch("/bin/sh", {"-c", "sleep 0.2"});
        pid = child->pid();
    }
    // Once it ends nothing of it is left, not even a zombie (which would still take signal 0).
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (::kill(pid, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST(ChildProcessTests, AMissingProgramIsALaunchError) {
    EXPECT_THROW(ChildProcess::launch("/nonexistent/llama-server", {}), ChildProcessLaunchError);
}

}  // namespace
}  // namespace nudgerly

#include <filesystem>
#include <future>
#include <string>

#include <gtest/gtest.h>
#include <poll.h>

#include "files/TempDir.h"
#include "platform/system/SingleInstance.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

// Asks from another thread, as a second program would, while this one answers like the running one.
bool askWhileAnswering(SingleInstance& running, const fs::path& folder) {
    auto asked = std::async(std::launch::async, [folder] { return SingleInstance::showRunningInstance(folder); });
    pollfd request{.fd = running.requestDescriptor(), .events = POLLIN, .revents = 0};
    EXPECT_EQ(::poll(&request, 1, 10'000), 1);
    EXPECT_TRUE(running.takeShowRequests());
    return asked.get();
}

TEST(SingleInstanceTests, OneInstancePerFolderAndALaterStartReachesIt) {
    test::TempDir dir;
    // Longer than a socket address holds, as a deep home folder may be.
    const fs::path folder = dir / std::string(120, 'n') / "Nudgerly";
    std::optional<SingleInstance> first = SingleInstance::claim(folder);
    ASSERT_TRUE(first);
    ASSERT_GE(first->requestDescriptor(), 0);
    EXPECT_FALSE(SingleInstance::claim(folder));
    EXPECT_TRUE(SingleInstance::claim(dir / "other"));  // another home is another instance
    EXPECT_TRUE(askWhileAnswering(*first, folder));
    EXPECT_FALSE(first->takeShowRequests());  // nothing else waits

    // Gone, it leaves its socket file, which the next instance takes over.
    first.reset();
    EXPECT_FALSE(SingleInstance::showRunningInstance(folder));
    std::optional<SingleInstance> next = SingleInstance::claim(folder);
    ASSERT_TRUE(next);
    EXPECT_TRUE(askWhileAnswering(*next, folder));

    // One that cannot be reached is told apart from one that answered.
    fs::remove(folder / "instance.socket");
    EXPECT_FALSE(SingleInstance::showRunningInstance(folder));
}

TEST(SingleInstanceTests, ARunningInstanceThatDoesNotAnswerIsNotWaitedForBeyondThePatience) {
    test::TempDir dir;
    const std::optional<SingleInstance> stuck = SingleInstance::claim(dir.path());
    ASSERT_TRUE(stuck);
    EXPECT_FALSE(SingleInstance::showRunningInstance(dir.path(), std::chrono::milliseconds(50)));
}

}  // namespace
}  // namespace nudgerly

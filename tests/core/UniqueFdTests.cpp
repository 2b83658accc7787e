#include <cerrno>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/UniqueFd.h"

namespace nudgerly {
namespace {

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFdTests, ClosesOnceWhateverPathTheDescriptorTakes) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    {
        UniqueFd reader(ends[0]);
        UniqueFd writer(ends[1]);
        UniqueFd moved(std::move(reader));
        EXPECT_FALSE(reader.valid());
        EXPECT_EQ(moved.get(), ends[0]);
        moved = std::move(writer);  // the reading end closes here
        EXPECT_FALSE(isOpen(ends[0]));
        EXPECT_TRUE(isOpen(ends[1]));
        EXPECT_EQ(moved.close(), 0);
        EXPECT_FALSE(isOpen(ends[1]));
        EXPECT_EQ(moved.close(), 0);  // nothing left to close
    }

    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const int kept = UniqueFd(ends[0]).release();
    { const UniqueFd writer(ends[1]); }
    EXPECT_TRUE(isOpen(kept));
    EXPECT_FALSE(isOpen(ends[1]));
    ::close(kept);

    EXPECT_EQ(UniqueFd(1'000'000).close(), EBADF);  // a failed close is reported, not thrown
}

}  // namespace
}  // namespace nudgerly

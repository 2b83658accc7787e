#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/UniqueFd.h"
#include "core/WriteBehindFile.h"
#include "files/TempDir.h"
#include "support/PatternBytes.h"

namespace nudgerly {
namespace {

using test::patternBytes;

std::string contents(int fd) {
    std::string text(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    EXPECT_EQ(::pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    return text;
}

TEST(WriteBehindFileTests, WritesEveryByteInOrderAfterWhatTheFileHeld) {
    constexpr std::size_t kibibyte = 1024;
    // Around the block size, and more blocks than there are to fill.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, 256 * kibibyte, 9 * 256 * kibibyte + 7}) {
        for (const std::size_t piece : {16 * kibibyte, 300 * kibibyte}) {
            const test::TempDir dir;
            const UniqueFd fd(::open((dir / "file").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
            ASSERT_EQ(::write(fd.get(), "kept", 4), 4);
            const std::string stream = patternBytes(size);
            int64_t told = 0;
            WriteBehindFile writer(fd.get(), [&](int64_t written) { told = written; });
            for (std::size_t at = 0; at < stream.size(); at += piece) {
                ASSERT_TRUE(writer.append(stream.data() + at, std::min(piece, stream.size() - at)));
            }
            ASSERT_TRUE(writer.drain());
            EXPECT_EQ(told, static_cast<int64_t>(size));
            EXPECT_TRUE(contents(fd.get()) == "kept" + stream) << size << " in pieces of " << piece;
        }
    }
}

TEST(WriteBehindFileTests, AFlushWritesWhatCameWithoutWaitingForMore) {
    const test::TempDir dir;
    const UniqueFd fd(::open((dir / "file").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    std::promise<int64_t> written;
    WriteBehindFile writer(fd.get(), [&](int64_t total) { written.set_value(total); });
    ASSERT_TRUE(writer.append("abc", 3));
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(written.get_future().get(), 3);
    EXPECT_EQ(contents(fd.get()), "abc");
}

TEST(WriteBehindFileTests, AFailedWriteStopsTheWritingAndTellsWhy) {
    const test::TempDir dir;
    const UniqueFd fd(::open((dir / "file").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600));
    WriteBehindFile writer(fd.get(), [](int64_t) { ADD_FAILURE() << "nothing was written"; });
    const std::string block = patternBytes(std::size_t{1} << 20);
    bool appended = true;
    // Appends go on while blocks are spare; at the latest the drain tells of the failure.
    for (int i = 0; i < 16 && appended; ++i) {
        appended = writer.append(block.data(), block.size());
    }
    EXPECT_FALSE(appended && writer.drain());
    EXPECT_EQ(writer.error(), EBADF);
}

TEST(WriteBehindFileTests, OthersWaitForBytesWrittenUntilTheWriterGoes) {
    const test::TempDir dir;
    const UniqueFd fd(::open((dir / "file").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    std::shared_ptr<const WrittenBytes> written;
    {
        WriteBehindFile writer(fd.get(), [](int64_t) {});
        written = writer.written();
        ASSERT_TRUE(writer.append("abc", 3));
        ASSERT_TRUE(writer.flush());
        EXPECT_TRUE(written->waitFor(3));
        const std::string stream = patternBytes(std::size_t{3} << 20);
        ASSERT_TRUE(writer.append(stream.data(), stream.size()));
        // Goes away without draining.
    }
    EXPECT_FALSE(written->waitFor(int64_t{4} << 20));
}

}  // namespace
}  // namespace nudgerly

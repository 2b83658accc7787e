#include <algorithm>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "core/GrowingFileSha256.h"
#include "core/Sha256.h"
#include "core/UniqueFd.h"
#include "files/TempDir.h"
#include "support/PatternBytes.h"

namespace nudgerly {
namespace {

using test::patternBytes;

UniqueFd createFile(const test::TempDir& dir) {
    return UniqueFd(::open((dir / "growing").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
}

void append(const UniqueFd& fd, std::string_view piece) {
    ASSERT_EQ(::write(fd.get(), piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
}

TEST(GrowingFileSha256Tests, HashesTheFileAsItGrowsFromWhatItAlreadyHeld) {
    constexpr std::size_t kibibyte = 1024;
    // Around the read-back piece, written in pieces smaller and larger than it, and with bytes kept
    // from before the hashing began.
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, 256 * kibibyte, 256 * kibibyte + 1, 3 * 1024 * kibibyte + 5}) {
        for (const std::size_t piece : {16 * kibibyte, 300 * kibibyte}) {
            for (const std::size_t kept : {std::size_t{0}, std::min(size, 100 * kibibyte + 3)}) {
                const test::TempDir dir;
                const UniqueFd fd = createFile(dir);
                const std::string stream = patternBytes(size);
                append(fd, std::string_view(stream).substr(0, kept));
                GrowingFileSha256 hasher(fd.get());
                hasher.grewTo(static_cast<int64_t>(kept));
                for (std::size_t at = kept; at < stream.size(); at += piece) {
                    append(fd, std::string_view(stream).substr(at, piece));
                    hasher.grewTo(static_cast<int64_t>(std::min(at + piece, stream.size())));
                }
                EXPECT_EQ(hasher.finishHex(), Sha256::hexDigest(stream))
                    << size << " in pieces of " << piece << " after " << kept;
            }
        }
    }
}

TEST(GrowingFileSha256Tests, AFileShorterThanItWasSaidToBeHasNoDigest) {
    const test::TempDir dir;
    const UniqueFd fd = createFile(dir);
    append(fd, patternBytes(1000));
    GrowingFileSha256 hasher(fd.get());
    hasher.grewTo(2000);
    EXPECT_EQ(hasher.finishHex(), std::nullopt);
}

TEST(GrowingFileSha256Tests, GoesAwayWithoutFinishing) {
    const test::TempDir dir;
    const UniqueFd fd = createFile(dir);
    append(fd, patternBytes(std::size_t{6} << 20));
    GrowingFileSha256 hasher(fd.get());
    hasher.grewTo(int64_t{6} << 20);
}

}  // namespace
}  // namespace nudgerly

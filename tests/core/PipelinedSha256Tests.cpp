#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "core/PipelinedSha256.h"
#include "core/Sha256.h"
#include "support/PatternBytes.h"

namespace nudgerly {
namespace {

using test::patternBytes;

TEST(PipelinedSha256Tests, GivesTheDigestOfTheWholeStreamWhateverItsPieces) {
    constexpr std::size_t mebibyte = std::size_t{1} << 20;
    // Around the hashing thread's block size, and more blocks than may wait at once.
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, mebibyte - 1, mebibyte, mebibyte + 1, 9 * mebibyte + 7}) {
        for (const std::size_t piece : {std::size_t{1} << 14, mebibyte + 3}) {
            const std::string stream = patternBytes(size);
            PipelinedSha256 hasher;
            for (std::size_t at = 0; at < stream.size(); at += piece) {
                hasher.update(stream.data() + at, std::min(piece, stream.size() - at));
            }
            EXPECT_EQ(hasher.finishHex(), Sha256::hexDigest(stream)) << size << " in pieces of " << piece;
        }
    }
}

TEST(PipelinedSha256Tests, GoesAwayWithoutFinishing) {
    const std::string stream = patternBytes(std::size_t{6} << 20);
    PipelinedSha256 hasher;
    hasher.update(stream.data(), stream.size());
}

}  // namespace
}  // namespace nudgerly

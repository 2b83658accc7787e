#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Sha256.h"

namespace nudgerly {

// SHA-256 of a stream, hashed on a thread of its own: the producer copies its bytes into blocks and
// goes on while earlier blocks are hashed, so a transfer and the hashing of its bytes take as long as
// the slower of the two rather than both. At most a few blocks wait; beyond that update() waits.
// Used from one thread at a time.
class PipelinedSha256 {
public:
    PipelinedSha256();
    // Stops the hashing thread, dropping what it had not hashed yet.
    ~PipelinedSha256();
    PipelinedSha256(const PipelinedSha256&) = delete;
    PipelinedSha256& operator=(const PipelinedSha256&) = delete;

    void update(const void* data, std::size_t size);
    // Waits for every byte handed over and returns the digest in lowercase hex; call once.
    std::string finishHex();

private:
    static constexpr std::size_t blockSize = std::size_t{1} << 20;
    static constexpr std::size_t maximumWaiting = 4;

    void handOver();
    void hashBlocks();

    std::vector<char> block_;  // being filled by the producer
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> waiting_;
    std::vector<std::vector<char>> spare_;
    bool ending_ = false;
    bool dropping_ = false;
    Sha256 hasher_;       // the hashing thread's alone until it has ended
    std::thread thread_;  // last: it starts once the rest is in place
};

}  // namespace nudgerly

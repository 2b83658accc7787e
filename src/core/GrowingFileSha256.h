#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/Sha256.h"
#include "core/UniqueFd.h"

namespace nudgerly {

// SHA-256 of a file while it is being written, read back on a thread of its own as it grows. The
// writer only says how far the file has grown: its bytes are neither copied nor hashed on its thread,
// and the hashing reads them from the page cache just after they were written.
// Used from one thread at a time.
class GrowingFileSha256 {
public:
    // Reads through a descriptor of its own, duplicated from `fd`, which must be open for reading.
    // Throws std::system_error when it gets no descriptor or no thread.
    explicit GrowingFileSha256(int fd);
    // Stops the hashing thread, dropping what it had not hashed yet.
    ~GrowingFileSha256();
    GrowingFileSha256(const GrowingFileSha256&) = delete;
    GrowingFileSha256& operator=(const GrowingFileSha256&) = delete;

    // The first `size` bytes of the file are written and stay as they are.
    void grewTo(int64_t size);
    // Waits until every byte the file grew to is hashed and returns the digest in lowercase hex, or
    // nothing when the file could not be read back; call once.
    std::optional<std::string> finishHex();

private:
    // Small enough that a piece read back is still in the processor's cache when it is hashed.
    static constexpr int64_t pieceSize = int64_t{256} << 10;

    void hashAlong();
    bool hashUpTo(int64_t end, std::vector<char>& piece);

    UniqueFd fd_;
    std::mutex mutex_;
    std::condition_variable grown_;
    int64_t size_ = 0;
    int64_t wakeAt_ = -1;  // while the hashing thread sleeps: the size that is worth waking it for
    bool ending_ = false;
    bool failed_ = false;
    std::atomic<bool> dropping_ = false;
    int64_t hashed_ = 0;  // the hashing thread's alone, like the hasher and the piece
    Sha256 hasher_;
    std::thread thread_;  // last: it starts once the rest is in place
};

}  // namespace nudgerly

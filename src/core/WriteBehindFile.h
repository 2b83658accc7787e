#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace nudgerly {

// How many bytes a WriteBehindFile has written, for other threads to wait on; outlives the writer.
class WrittenBytes {
public:
    // Waits until `count` bytes are written; false when the writing ended first.
    bool waitFor(int64_t count) const;

private:
    friend class WriteBehindFile;
    void set(int64_t count);
    void end();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int64_t count_ = 0;
    bool ended_ = false;
};

// Appends to a file from a thread of its own: the producer copies its bytes into a few small blocks
// and goes on while earlier ones are written, so putting the bytes into the page cache is off the
// producer's thread. The blocks are small enough to be written while still in the processor's cache.
// Used from one thread at a time.
class WriteBehindFile {
public:
    // Writes at the current offset of `fd`, which stays the caller's. `wrote` is told on the writing
    // thread the count of bytes written in all after each block. Throws std::system_error when it gets
    // no thread.
    WriteBehindFile(int fd, std::function<void(int64_t)> wrote);
    // Stops the writing thread, dropping what it had not written yet.
    ~WriteBehindFile();
    WriteBehindFile(const WriteBehindFile&) = delete;
    WriteBehindFile& operator=(const WriteBehindFile&) = delete;

    // False once a write has failed; `error()` then tells why and nothing more is written.
    bool append(const char* data, std::size_t size);
    // Hands the bytes appended so far to the writing thread without waiting for them to be written:
    // while the producer has nothing new, what it has must not wait for a block to fill.
    bool flush();
    // Waits until every byte appended is written; false when a write failed.
    bool drain();
    int error();
    // Counts from zero, the bytes the file held before not included.
    std::shared_ptr<const WrittenBytes> written() const { return shared_; }

private:
    static constexpr std::size_t blockSize = std::size_t{256} << 10;
    static constexpr std::size_t blockCount = 8;

    bool handOver();
    void writeBlocks();
    bool writeAll(const std::vector<char>& block);

    const int fd_;
    const std::function<void(int64_t)> wrote_;
    std::vector<char> block_;  // being filled by the producer
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> waiting_;
    std::vector<std::vector<char>> spare_;
    std::size_t writing_ = 0;  // blocks taken by the writing thread and not yet given back
    bool ending_ = false;
    int error_ = 0;
    const std::shared_ptr<WrittenBytes> shared_ = std::make_shared<WrittenBytes>();
    int64_t written_ = 0;  // the writing thread's alone
    std::thread thread_;   // last: it starts once the rest is in place
};

}  // namespace nudgerly

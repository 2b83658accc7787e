#include "core/WriteBehindFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <unistd.h>

namespace nudgerly {

bool WrittenBytes::waitFor(int64_t count) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return count_ >= count || ended_; });
    return count_ >= count;
}

void WrittenBytes::set(int64_t count) {
    {
        std::lock_guard lock(mutex_);
        count_ = count;
    }
    changed_.notify_all();
}

void WrittenBytes::end() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

WriteBehindFile::WriteBehindFile(int fd, std::function<void(int64_t)> wrote) : fd_(fd), wrote_(std::move(wrote)) {
    block_.reserve(blockSize);
    for (std::size_t i = 1; i < blockCount; ++i) {
        spare_.emplace_back().reserve(blockSize);
    }
    thread_ = std::thread([this] { writeBlocks(); });
}

WriteBehindFile::~WriteBehindFile() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        waiting_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    shared_->end();
}

bool WriteBehindFile::append(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t taken = std::min(size, blockSize - block_.size());
        block_.insert(block_.end(), data, data + taken);
        data += taken;
        size -= taken;
        if (block_.size() == blockSize && !handOver()) {
            return false;
        }
    }
    return true;
}

bool WriteBehindFile::handOver() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !spare_.empty() || error_ != 0; });
    if (error_ != 0) {
        return false;
    }
    const bool wasIdle = waiting_.empty() && writing_ == 0;
    waiting_.push_back(std::move(block_));
    block_ = std::move(spare_.back());
    spare_.pop_back();
    lock.unlock();
    // The writing thread is woken only when it has run out of blocks, not for each one.
    if (wasIdle) {
        changed_.notify_all();
    }
    return true;
}

bool WriteBehindFile::flush() {
    return block_.empty() || handOver();
}

bool WriteBehindFile::drain() {
    if (!flush()) {
        return false;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return (waiting_.empty() && writing_ == 0) || error_ != 0; });
    return error_ == 0;
}

int WriteBehindFile::error() {
    std::lock_guard lock(mutex_);
    return error_;
}

void WriteBehindFile::writeBlocks() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !waiting_.empty() || ending_; });
        if (waiting_.empty()) {
            return;  // ending, with everything written or dropped
        }
        std::vector<char> block = std::move(waiting_.front());
        waiting_.pop_front();
        ++writing_;
        lock.unlock();
        const bool written = writeAll(block);
        const int failure = written ? 0 : errno;
        if (written) {
            wrote_(written_);
            shared_->set(written_);
        } else {
            shared_->end();
        }
        block.clear();
        lock.lock();
        --writing_;
        spare_.push_back(std::move(block));
        if (!written) {
            error_ = failure != 0 ? failure : EIO;
            waiting_.clear();
        }
        // The producer waits only for a spare block or for the end of its writes.
        changed_.notify_all();
        if (!written) {
            return;
        }
    }
}

bool WriteBehindFile::writeAll(const std::vector<char>& block) {
    std::size_t done = 0;
    while (done < block.size()) {
        const ssize_t count = ::write(fd_, block.data() + done, block.size() - done);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(count);
        written_ += count;
    }
    return true;
}

}  // namespace nudgerly

#include "core/PipelinedSha256.h"

#include <algorithm>
#include <utility>

namespace nudgerly {

PipelinedSha256::PipelinedSha256() : thread_([this] { hashBlocks(); }) {
    block_.reserve(blockSize);
}

PipelinedSha256::~PipelinedSha256() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        dropping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PipelinedSha256::update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const std::size_t taken = std::min(size, blockSize - block_.size());
        block_.insert(block_.end(), bytes, bytes + taken);
        bytes += taken;
        size -= taken;
        if (block_.size() == blockSize) {
            handOver();
        }
    }
}

void PipelinedSha256::handOver() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return waiting_.size() < maximumWaiting; });
    waiting_.push_back(std::move(block_));
    if (spare_.empty()) {
        block_ = {};
        block_.reserve(blockSize);
    } else {
        block_ = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
}

std::string PipelinedSha256::finishHex() {
    if (!block_.empty()) {
        handOver();
    }
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
    return Sha256::hex(hasher_.finish());
}

void PipelinedSha256::hashBlocks() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !waiting_.empty() || ending_; });
        if (dropping_ || waiting_.empty()) {
            return;
        }
        std::vector<char> next = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        changed_.notify_all();
        hasher_.update(next.data(), next.size());
        next.clear();
        lock.lock();
        spare_.push_back(std::move(next));
    }
}

}  // namespace nudgerly

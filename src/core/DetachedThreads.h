#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <stop_token>

namespace nudgerly {

// Work on a thread of its own that nobody joins: for owners on the main thread, which must never wait
// for a worker. The returned stop source asks the work to end; the work checks its token. A count of
// the threads still running lets tests (and an orderly quit) wait until every one has ended.
namespace DetachedThreads {

// Starts `work` at once. Exceptions that escape it are dropped: the work reports its own outcome.
std::stop_source start(std::function<void(std::stop_token)> work);

std::size_t running();

// Waits until no thread started here is running; false when `timeout` passed first.
bool waitUntilAllEnded(std::chrono::milliseconds timeout);

}  // namespace DetachedThreads
}  // namespace nudgerly

#pragma once

#include <chrono>
#include <filesystem>

#include "core/UniqueFd.h"

namespace nudgerly::test {

// A FIFO in a folder of the test's, for a child process to say that it reached a point ("echo > path"):
// the test waits for the line instead of guessing how long the child takes. Removed on destruction.
class NamedPipe {
public:
    explicit NamedPipe(std::filesystem::path path);
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Waits up to `limit` for a line; true once one came.
    bool waitForLine(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    std::filesystem::path path_;
    UniqueFd reader_;
};

}  // namespace nudgerly::test

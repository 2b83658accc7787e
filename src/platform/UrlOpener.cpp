#include "platform/UrlOpener.h"

#include <cstdlib>
#include <string_view>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "platform/ChildProcess.h"
#include "platform/Url.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

XdgUrlOpener::XdgUrlOpener(std::optional<fs::path> program, std::chrono::milliseconds settleTime)
    : program_(std::move(program)), settleTime_(settleTime) {}

std::optional<fs::path> XdgUrlOpener::findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "";
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        // An empty entry means the working folder; never look for a program there.
        if (folder.empty() || folder.front() != '/') {
            continue;
        }
        const fs::path candidate = fs::path(folder) / name;
        if (isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool XdgUrlOpener::open(const std::string& address, std::stop_token stop) {
    if (!isWebAddress(address)) {
        return false;
    }
    const auto program = program_ ? program_ : findOnPath("xdg-open");
    if (!program) {
        return false;
    }
    std::shared_ptr<ChildProcess> child;
    try {
        child = ChildProcess::launch(program->string(), {address});
    } catch (const ChildProcessLaunchError&) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + settleTime_;
    while (std::chrono::steady_clock::now() < deadline) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        if (child->waitForExit(std::chrono::milliseconds(50))) {
            const auto status = child->waitStatus();
            return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
        }
    }
    // Still running: it is the browser itself, or waiting on one. Either way the address was taken;
    // the child is reaped once it ends.
    return true;
}

}  // namespace nudgerly

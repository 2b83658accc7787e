#include "platform/system/UrlOpener.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "core/Text.h"
#include "platform/formats/Url.h"
#include "platform/system/ChildProcess.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

bool hasControlCharacter(std::string_view text) {
    return std::ranges::any_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

bool isOpenableLink(std::string_view link) {
    if (hasControlCharacter(link)) {
        return false;
    }
    const auto colon = link.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    // Schemes ignore case, in ASCII only.
    const std::string scheme = text::asciiLowercased(link.substr(0, colon));
    if (scheme == "sms" || scheme == "mailto") {
        return true;
    }
    return isWebAddress(link);
}

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
    return isWebAddress(address) && launch(address, stop);
}

bool XdgUrlOpener::openLink(const std::string& link, std::stop_token stop) {
    if (!isOpenableLink(link)) {
        return false;
    }
    if (!isWebAddress(link)) {
        const auto program = program_ ? program_ : findOnPath("xdg-open");
        if (!program || !hasSchemeHandler(*program, text::asciiLowercased(link.substr(0, link.find(':'))), stop)) {
            return false;
        }
    }
    return launch(link, stop);
}

bool XdgUrlOpener::hasSchemeHandler(const fs::path& xdgOpen, const std::string& scheme, std::stop_token stop) {
    const fs::path xdgMime = xdgOpen.parent_path() / "xdg-mime";
    if (!isExecutableFile(xdgMime)) {
        return true;
    }
    // xdg-mime exits 0 with nothing printed when no program is chosen; the shell tells the two apart.
    // The scheme is one isOpenableLink allows, passed as an argument, never as script text.
    return settlesWell("/bin/sh",
                       {"-c", "[ -n \"$(\"$0\" query default \"x-scheme-handler/$1\")\" ]", xdgMime.string(), scheme},
                       stop, /*stillRunning=*/false);  // a query with no answer yet has named no program
}

bool XdgUrlOpener::openFolder(const fs::path& folder, std::stop_token stop) {
    std::error_code error;
    // Absolute, so that the argument can never read as an option of xdg-open.
    if (!folder.is_absolute() || !fs::is_directory(folder, error)) {
        return false;
    }
    return launch(folder.lexically_normal().string(), stop);
}

bool XdgUrlOpener::launch(const std::string& argument, std::stop_token stop) {
    const auto program = program_ ? program_ : findOnPath("xdg-open");
    return program && settlesWell(*program, {argument}, stop);
}

bool XdgUrlOpener::settlesWell(const fs::path& program, const std::vector<std::string>& arguments, std::stop_token stop,
                               bool stillRunning) {
    std::shared_ptr<ChildProcess> child;
    try {
        child = ChildProcess::launch(program.string(), arguments);
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
    // Still running: for xdg-open, the browser itself or a wait on one, so the address was taken. The
    // child is reaped once it ends.
    return stillRunning;
}

}  // namespace nudgerly

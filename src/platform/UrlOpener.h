#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>

namespace nudgerly {

// Hands a web address to the program the desktop opens such addresses with (the default browser).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;

    // True once the desktop took the address. Only http and https addresses are opened; any other
    // address is refused (false) without starting anything. Blocks for a few seconds at most, so call
    // it off the main thread; throws CancelledError when `stop` is requested meanwhile.
    virtual bool open(const std::string& address, std::stop_token stop) = 0;
};

// Opens addresses with "xdg-open", found on PATH and started with the address as its one argument
// (never through a shell). xdg-open either hands the address on and exits, or runs the browser itself:
// an exit with status 0, or still running after `settleTime`, counts as opened; a failed start or
// another exit status as not opened.
class XdgUrlOpener final : public UrlOpener {
public:
    static constexpr std::chrono::milliseconds defaultSettleTime{3000};

    // `program` replaces the search for xdg-open (tests use a script of their own).
    explicit XdgUrlOpener(std::optional<std::filesystem::path> program = std::nullopt,
                          std::chrono::milliseconds settleTime = defaultSettleTime);

    bool open(const std::string& address, std::stop_token stop) override;

    // The first executable file named `name` in the folders of $PATH; absent when there is none.
    static std::optional<std::filesystem::path> findOnPath(const std::string& name);

private:
    std::optional<std::filesystem::path> program_;
    std::chrono::milliseconds settleTime_;
};

}  // namespace nudgerly

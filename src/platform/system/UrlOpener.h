#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

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

// Whether a conversation's link may be handed to the desktop: an "sms:" or "mailto:" link, or an http
// or https address with a host, free of control characters. Links come from saved data, and the
// desktop would start whatever program claims any other scheme.
bool isOpenableLink(std::string_view link);

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

    // A conversation's link, in the application that handles its scheme. Links that isOpenableLink
    // refuses are not opened (false) and start nothing. An "sms:" or "mailto:" link is opened only when
    // the desktop names a program for its scheme, as the xdg-mime beside xdg-open answers (without
    // one, xdg-open alone decides): xdg-open would hand a scheme nobody claims to the web browser.
    // Blocks and throws as `open` does.
    bool openLink(const std::string& link, std::stop_token stop);

    // A folder the program names itself, in the file manager. Only an absolute path to an existing
    // folder is opened; anything else is refused (false). Blocks and throws as `open` does.
    bool openFolder(const std::filesystem::path& folder, std::stop_token stop);

    // The first executable file named `name` in the folders of $PATH; absent when there is none.
    static std::optional<std::filesystem::path> findOnPath(const std::string& name);

private:
    // Starts xdg-open with `argument` and waits for it to settle.
    bool launch(const std::string& argument, std::stop_token stop);
    // Whether a program is the desktop's choice for links of `scheme`.
    bool hasSchemeHandler(const std::filesystem::path& xdgOpen, const std::string& scheme, std::stop_token stop);
    // Starts `program` and waits up to the settle time: true when it exits with status 0, false when it
    // exits otherwise or cannot be started; still running then counts as `stillRunning`.
    bool settlesWell(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                     std::stop_token stop, bool stillRunning = true);

    std::optional<std::filesystem::path> program_;
    std::chrono::milliseconds settleTime_;
};

}  // namespace nudgerly

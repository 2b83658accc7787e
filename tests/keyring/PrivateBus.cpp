#include "keyring/PrivateBus.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <thread>

#include <unistd.h>

#include "support/TempDir.h"

namespace nudgerly::test {

namespace fs = std::filesystem;

fs::path executableOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t end = std::min(folders.find(':'), folders.size());
        const fs::path candidate = fs::path(folders.substr(0, end)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        folders.remove_prefix(std::min(end + 1, folders.size()));
    }
    throw std::runtime_error(name + " is not on PATH; scripts/install-deps.sh installs it");
}

PrivateBus::PrivateBus(const fs::path& folder, std::optional<std::string> secretServiceCommand) {
    const fs::path socket = folder / "bus";
    const fs::path services = folder / "services";
    fs::create_directories(services);
    if (secretServiceCommand) {
        writeTestFile(services / "org.freedesktop.secrets.service",
                      "[D-BUS Service]\nName=org.freedesktop.secrets\nExec=" + *secretServiceCommand + "\n");
    }
    writeTestFile(folder / "bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig>\n"
                  "  <type>session</type>\n"
                  "  <listen>unix:path=" + socket.string() + "</listen>\n"
                  "  <auth>EXTERNAL</auth>\n"
                  "  <servicedir>" + services.string() + "</servicedir>\n"
                  "  <policy context=\"default\">\n"
                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                  "    <allow eavesdrop=\"true\"/>\n"
                  "    <allow own=\"*\"/>\n"
                  "  </policy>\n"
                  "</busconfig>\n");
    address_ = "unix:path=" + socket.string();
    daemon_ = ChildProcess::launch(executableOnPath("dbus-daemon"), {"--nofork", "--config-file=" + (folder / "bus.conf").string()},
                                   {.dieWithParent = true});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(socket)) {
        if (!daemon_->isRunning() || std::chrono::steady_clock::now() > deadline) {
            daemon_->kill();
            daemon_->waitForExit(std::chrono::seconds(5));
            throw std::runtime_error("the private dbus-daemon did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

PrivateBus::~PrivateBus() {
    daemon_->terminate();
    if (!daemon_->waitForExit(std::chrono::seconds(5))) {
        daemon_->kill();
        daemon_->waitForExit(std::chrono::seconds(5));
    }
}

}  // namespace nudgerly::test

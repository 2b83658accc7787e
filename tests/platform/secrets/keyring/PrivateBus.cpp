#include "platform/secrets/keyring/PrivateBus.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include <sys/prctl.h>
#include <unistd.h>

#include "files/TempDir.h"

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
                  "  <listen>unix:path=" +
                      socket.string() +
                      "</listen>\n"
                      "  <auth>EXTERNAL</auth>\n"
                      "  <servicedir>" +
                      services.string() +
                      "</servicedir>\n"
                      "  <policy context=\"default\">\n"
                      "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                      "    <allow eavesdrop=\"true\"/>\n"
                      "    <allow own=\"*\"/>\n"
                      "  </policy>\n"
                      "</busconfig>\n");
    GSubprocessLauncher* launcher = g_subprocess_launcher_new(
        static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_SILENCE));
    g_subprocess_launcher_set_child_setup(
        launcher, [](gpointer) { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }, nullptr, nullptr);
    const std::string daemon = executableOnPath("dbus-daemon").string();
    const std::string config = "--config-file=" + (folder / "bus.conf").string();
    GError* error = nullptr;
    daemon_.reset(g_subprocess_launcher_spawn(launcher, &error, daemon.c_str(), "--nofork", "--print-address",
                                              config.c_str(), nullptr));
    g_object_unref(launcher);
    if (!daemon_) {
        const std::string reason = error->message;
        g_error_free(error);
        throw std::runtime_error("the private dbus-daemon did not start: " + reason);
    }
    // The daemon prints its address once it listens; the pipe ends without one when it fails.
    GDataInputStream* output = g_data_input_stream_new(g_subprocess_get_stdout_pipe(daemon_.get()));
    g_filter_input_stream_set_close_base_stream(G_FILTER_INPUT_STREAM(output), FALSE);
    gchar* line = g_data_input_stream_read_line(output, nullptr, nullptr, nullptr);
    g_object_unref(output);
    if (line == nullptr) {
        g_subprocess_force_exit(daemon_.get());
        g_subprocess_wait(daemon_.get(), nullptr, nullptr);
        throw std::runtime_error("the private dbus-daemon did not start");
    }
    address_ = line;
    g_free(line);
}

PrivateBus::~PrivateBus() {
    g_subprocess_send_signal(daemon_.get(), SIGTERM);
    g_subprocess_wait(daemon_.get(), nullptr, nullptr);
}

}  // namespace nudgerly::test

#include "support/TestEnvironment.h"

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include <sys/stat.h>

#include "support/TempDir.h"

namespace nudgerly::test {

const std::filesystem::path& isolateUserFolders() {
    static const TempDir home;
    static const bool redirected = [] {
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home.path() / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
        // No session bus either, so no test reaches the user's desktop keyring.
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::setenv("XDG_RUNTIME_DIR", (home.path() / "runtime").c_str(), 1);
        return true;
    }();
    (void)redirected;
    return home.path();
}

mode_t fileMode(const std::filesystem::path& path) {
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &previous_) != 0) {
        throw std::runtime_error("getrlimit failed");
    }
    // Without this the kernel ends the process with SIGXFSZ instead of failing the write.
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = previous_;
    lowered.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &lowered) != 0) {
        throw std::runtime_error("setrlimit failed");
    }
}

FileSizeLimit::~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace nudgerly::test
